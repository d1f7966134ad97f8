// Layout renderer: number reading and writing, repeated calls, deep input. The box rules are
// golden cases in data/ (panelcast_caserunner).
#include "balanced.h"
#include "panelcast.h"

#include <tinyxml2.h>

#include <QRegularExpression>
#include <QTest>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <random>

// The library's accumulated fragment; linked in from the source for the in-memory tree test.
extern std::string html_string;

namespace {

const char* const kDefaults = "width=\"40\" height=\"20\" centerXToGlobal=\"100\" centerYToGlobal=\"50\" z=\"2\" "
                              "rotation=\"0\" scale=\"1\" clip=\"0\" opacity=\"1\" visible=\"1\" hasContents=\"0\"";

// A dump whose starting element holds the given items.
QByteArray dump(const QByteArray& items)
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\" ?><root createTime=\"1\" sopId=\"s\" uiAppId=\"u\">"
           "<QQuickWindowQmlImpl><QQuickRootItem>" + items + "</QQuickRootItem></QQuickWindowQmlImpl></root>";
}

// An item with the worked example's attributes, some replaced or added.
QByteArray item(const char* name, const QByteArray& attributes = {})
{
    QByteArray all = attributes;
    for (const QByteArray& pair : QByteArray(kDefaults).split(' ')) {
        if (!(' ' + attributes).contains(' ' + pair.left(pair.indexOf('=') + 1)))
            all += ' ' + pair;
    }
    return '<' + QByteArray(name) + ' ' + all + "/>";
}

const char* const kBlue = "background:#00F;";
const char* const kRed = "background:#F00;";

QByteArray render(const QByteArray& xml, const char* id = "", int w = 720, int h = 1280)
{
    return QByteArray(go(xml.constData(), id, w, h));
}

// The pieces of every opening tag, in output order.
QList<QStringList> pieces(const QByteArray& html)
{
    static const QRegularExpression tag(QStringLiteral(
        "z-index:(-?\\d+);left:([^p]*)px;top:([^p]*)px;width:([^p]*)px;height:([^p]*)px;"
        "-webkit-transform:scale\\(([^)]*)\\) rotate\\((-?\\d+)deg\\);"));
    QList<QStringList> result;
    for (auto match = tag.globalMatch(QString::fromUtf8(html)); match.hasNext();)
        result.append(match.next().capturedTexts().mid(1));
    return result;
}

QByteArray printed(const char* format, double value)
{
    char text[512];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

// What the renderer should read as an integer: atoi's digits, saturated at the int range.
int saturatedInt(const char* text)
{
    const long long value = std::strtoll(text, nullptr, 10);
    return int(value < INT_MIN ? INT_MIN : value > INT_MAX ? INT_MAX : value);
}

} // namespace

class TestPanelcast : public QObject {
    Q_OBJECT

private slots:
    void numbers_data()
    {
        QTest::addColumn<QByteArray>("text");
        for (const char* text :
             {"0", "80", "-3.25", "  7.5e1", "+3", " -7", "1e2", "1E+2", "0.25e1", ".5", "5.", ".", "1e", "1e+", "12abc",
              "0x1.8p3", "0X10", "0x", "0xg", "0x.8", "-0x1p-2", "inf", "-Infinity", "INF", "nan", "-nan", "nan(123)",
              "1e39", "-1e400", "1e-400", "-1e-50", "3.4028234e38", "3.4028236e38", "16777217", "1e-45", "1.5e-38",
              "--1", "+-1", "-+1", "", "true", "0.0078125", "0.0234375", "0.0000005", "0.0000015", "0.9999995",
              "999999.9999995", "1e-7", "-1e-7", "-0", "2147483647", "2147483648", "-2147483648", "-2147483649",
              "99999999999", "-99999999999", "123456789.123", "0.1", "1234567.875", "2.5e-7", "7.5e-7", "1.4999995",
              "0.0", "0x0", "abc", "4e-320", "0x1p-1074", " 0.5"})
            QTest::newRow(*text ? text : "empty") << QByteArray(text);
    }

    // Widths read and written as atof and "%f" do; z as atoi, saturated outside the int range. An
    // item is hidden exactly when atof reads its opacity as 0.
    void numbers()
    {
        QFETCH(QByteArray, text);
        const auto found = pieces(render(dump(item("QQuickItem", "width=\"" + text + "\" z=\"" + text + "\""))));
        QCOMPARE(found.size(), 1);
        QCOMPARE(found[0][3].toUtf8(), printed("%f", float(std::atof(text.constData()))));
        QCOMPARE(found[0][0].toInt(), saturatedInt(text.constData()));
        const bool shown = !render(dump(item("QQuickItem", "opacity=\"" + text + "\""))).isEmpty();
        QCOMPARE(shown, std::atof(text.constData()) != 0);
    }

    // Every kind of float (normal, subnormal, huge) written exactly as printf "%f"; ties are rows of numbers().
    void floatFormatting()
    {
        std::mt19937 random(20240601);
        QByteArray items;
        QList<QByteArray> expected;
        for (int i = 0; i < 3000; ++i) {
            std::uint32_t bits = random();
            if (i % 3 == 0)  // small exponents, where the six decimals round
                bits = (bits & 0x807fffff) | ((100 + random() % 40) << 23);
            float value;
            std::memcpy(&value, &bits, sizeof value);
            if (std::isnan(value) || std::isinf(value))
                continue;
            items += "<QQuickItem visible=\"1\" opacity=\"1\" width=\"" + printed("%.9g", value) + "\"/>";
            expected.append(printed("%f", value));
        }
        const auto found = pieces(render(dump(items)));
        QCOMPARE(found.size(), expected.size());
        for (int i = 0; i < found.size(); ++i)
            QCOMPARE(found[i][3].toUtf8(), expected[i]);
    }

    void repeatedCalls()
    {
        const QByteArray first = dump(item("QQuickText", "hasContents=\"1\" tempID=\"temp1\""));
        const QByteArray second = dump(item("QQuickItem", "z=\"9\""));
        const QByteArray once = render(first, "temp1");
        QVERIFY(once.contains(kRed));
        QCOMPARE(QByteArray(temp_id.c_str()), QByteArray("temp1"));
        QCOMPARE(render(second, "temp2"), QByteArray("<div style=\"position:absolute;z-index:9;left:80.000000px;top:40.000000px;width:40.000000px;"
                                                     "height:20.000000px;-webkit-transform:scale(1) rotate(0deg);\"></div>"));
        QCOMPARE(QByteArray(temp_id.c_str()), QByteArray("temp2"));
        QCOMPARE(render(first, "temp1"), once);  // nothing left over from earlier calls
        QCOMPARE(render(first, "temp9"), QByteArray(once).replace(kRed, kBlue));
        QCOMPARE(QByteArray(go(nullptr, "temp1", 720, 1280)), QByteArray());
        QCOMPARE(QByteArray(go(first.constData(), nullptr, 720, 1280)), QByteArray(once).replace(kRed, kBlue));
        QVERIFY(temp_id.empty());
    }

    // Text nested deeper than tinyxml2 parses gives nothing; what it parses renders fully nested.
    void deepDocument()
    {
        const auto nested = [](int depth) {
            return render(dump(item("QQuickItem", "z=\"1\"").replace("/>", ">").repeated(depth) + QByteArray("</QQuickItem>").repeated(depth)));
        };
        QCOMPARE(nested(10000), QByteArray());
        const QByteArray html = nested(90);
        QCOMPARE(html.count("<div "), 90);
        QVERIFY(html.endsWith(QByteArray("\"></div>").append(QByteArray("</div>").repeated(89))));
        QVERIFY(html.contains("z-index:90;") && balanced(html.constData()));
    }

    // Element trees built in memory have no depth limit: the traversal must not recurse.
    void deepTreeInMemory()
    {
        const int depth = 10000;
        tinyxml2::XMLDocument document;
        tinyxml2::XMLElement* start = document.NewElement("QQuickRootItem");
        document.InsertEndChild(start);
        tinyxml2::XMLElement* parent = start;
        for (int i = 0; i < depth; ++i) {
            tinyxml2::XMLElement* child = document.NewElement("QQuickItem");
            child->SetAttribute("visible", 1);
            child->SetAttribute("opacity", 1);
            child->SetAttribute("z", 1);
            child->SetAttribute("rotation", i);
            parent = parent->InsertEndChild(child)->ToElement();
        }
        go("", "", 0, 0);
        xmlToHtmlTraversed(start, 0, 0, 720.0f, 1280.0f, true);
        const QByteArray html(html_string.c_str());
        QCOMPARE(html.count("<div "), depth);
        QCOMPARE(html.count("rotate(1deg)"), depth - 1);
        QVERIFY(html.contains("z-index:10000;"));
        QVERIFY(balanced(html.constData()));
        // tinyxml2 deletes children recursively: take the chain apart from the bottom.
        for (tinyxml2::XMLNode* node = parent->Parent(); node; node = node->Parent())
            node->DeleteChildren();
    }
};
QTEST_GUILESS_MAIN(TestPanelcast)
#include "panelcast_test.moc"
