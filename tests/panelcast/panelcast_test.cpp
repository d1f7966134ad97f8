// Layout renderer: the box rules, number reading and writing, golden dumps, bad and deep input.
#include "panelcast.h"

#include <tinyxml2.h>

#include <QDBusConnection>
#include <QDBusInterface>
#include <QDBusReply>
#include <QFile>
#include <QRegularExpression>
#include <QStack>
#include <QTest>
#include <QThread>
#include <QXmlStreamReader>

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
QByteArray item(const QByteArray& name, const QByteArray& attributes = {}, const QByteArray& children = {})
{
    QByteArray all = kDefaults;
    const QRegularExpression pair(QStringLiteral("(\\w+)=\"([^\"]*)\""));
    for (auto match = pair.globalMatch(QString::fromUtf8(attributes)); match.hasNext();) {
        const auto m = match.next();
        const QRegularExpression existing(QStringLiteral("\\b%1=\"[^\"]*\"").arg(m.captured(1)));
        if (QString::fromUtf8(all).contains(existing))
            all = QString::fromUtf8(all).replace(existing, m.captured(0)).toUtf8();
        else
            all += ' ' + m.captured(0).toUtf8();
    }
    return '<' + name + ' ' + all + (children.isEmpty() ? QByteArray("/>") : '>' + children + "</" + name + '>');
}

QByteArray box(const char* z, const char* left, const char* top, const char* width, const char* height,
               const char* scale, const char* rotation, const char* extra = "", const char* inner = "")
{
    return QByteArray("<div style=\"position:absolute;z-index:") + z + ";left:" + left + "px;top:" + top
        + "px;width:" + width + "px;height:" + height + "px;-webkit-transform:scale(" + scale + ") rotate("
        + rotation + "deg);" + extra + "\">" + inner + "</div>";
}

const char* const kBlue = "background:#00F;";
const char* const kRed = "background:#F00;";
const char* const kClip = "clip:rect(auto, auto, auto, auto);";

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

bool shownByRules(const QXmlStreamAttributes& a, const QStringRef& name)
{
    return std::atof(a.value(QLatin1String("opacity")).toUtf8().constData()) != 0
        && name != QLatin1String("QQuickShaderEffectSource")
        && std::atoi(a.value(QLatin1String("visible")).toUtf8().constData()) == 1;
}

// Independent count of the items a dump shows: level 3 and deeper, shown with all ancestors.
int visibleItems(const QByteArray& xml)
{
    QXmlStreamReader reader(xml);
    QStack<bool> shown;  // per open element: shown (levels below 3 count as shown)
    int count = 0;
    while (!reader.atEnd()) {
        reader.readNext();
        if (reader.isStartElement()) {
            const bool parentShown = shown.isEmpty() || shown.top();
            const bool self = shown.size() < 3 || shownByRules(reader.attributes(), reader.name());
            shown.push(parentShown && self);
            count += shown.size() > 3 && shown.top();
        } else if (reader.isEndElement()) {
            shown.pop();
        }
    }
    return reader.hasError() ? -1 : count;
}

bool balanced(const QByteArray& html)
{
    int open = 0;
    for (int i = 0; i < html.size(); ++i) {
        if (html.mid(i, 5) == "<div ")
            ++open;
        else if (html.mid(i, 6) == "</div>" && --open < 0)
            return false;
    }
    return open == 0;
}

QByteArray readData(const QString& name)
{
    QFile file(QStringLiteral(PANELCAST_TEST_DATA "/") + name);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class TestPanelcast : public QObject {
    Q_OBJECT

private slots:
    void rules_data();
    void rules();
    void numbers_data();
    void numbers();
    void opacity_data();
    void opacity();
    void floatFormatting();
    void golden_data();
    void golden();
    void phoneDump_data();
    void phoneDump();
    void liveDump();
    void repeatedCalls();
    void deepDocument();
    void deepTreeInMemory();
};

void TestPanelcast::rules_data()
{
    QTest::addColumn<QByteArray>("items");
    QTest::addColumn<QByteArray>("id");
    QTest::addColumn<QByteArray>("expected");

    QTest::newRow("worked example") << item("QQuickItem") << QByteArray()
        << QByteArray("<div style=\"position:absolute;z-index:2;left:80.000000px;top:40.000000px;width:40.000000px;"
                      "height:20.000000px;-webkit-transform:scale(1) rotate(0deg);\"></div>");
    QTest::newRow("visible true hides the subtree")
        << item("QQuickItem", "visible=\"true\"", item("QQuickText")) << QByteArray() << QByteArray();
    QTest::newRow("opacity 0 hides a visible item") << item("QQuickItem", "opacity=\"0\"") << QByteArray() << QByteArray();
    QTest::newRow("shader effect source hidden with its children")
        << item("QQuickShaderEffectSource", "hasContents=\"1\"", item("QQuickRectangle")) << QByteArray() << QByteArray();
    QTest::newRow("hidden child, shown sibling")
        << item("QQuickItem", "visible=\"0\"") + item("QQuickItem", "z=\"3\"") << QByteArray()
        << box("3", "80.000000", "40.000000", "40.000000", "20.000000", "1", "0");
    QTest::newRow("loader z 10000 temp7 filled")
        << item("QQuickLoader", "z=\"10000\" tempID=\"temp7\"") << QByteArray()
        << box("10000", "80.000000", "40.000000", "40.000000", "20.000000", "1", "0", kBlue);
    QTest::newRow("loader z 9999 transparent")
        << item("QQuickLoader", "z=\"9999\" tempID=\"temp7\"") << QByteArray()
        << box("9999", "80.000000", "40.000000", "40.000000", "20.000000", "1", "0");
    QTest::newRow("loader rule wants temp7")
        << item("QQuickLoader", "z=\"10000\" tempID=\"temp70\"") << QByteArray()
        << box("10000", "80.000000", "40.000000", "40.000000", "20.000000", "1", "0");
    QTest::newRow("loader rule wants a loader")
        << item("QQuickItem", "z=\"10000\" tempID=\"temp7\"") << QByteArray()
        << box("10000", "80.000000", "40.000000", "40.000000", "20.000000", "1", "0");
    QTest::newRow("selected loader red")
        << item("QQuickLoader", "z=\"10000\" tempID=\"temp7\"") << QByteArray("temp7")
        << box("10000", "80.000000", "40.000000", "40.000000", "20.000000", "1", "0", kRed);
    QTest::newRow("selected item with contents red, others blue")
        << item("QQuickText", "hasContents=\"1\" tempID=\"temp3\"") + item("QQuickText", "hasContents=\"1\" tempID=\"temp4\"")
        << QByteArray("temp3")
        << box("2", "80.000000", "40.000000", "40.000000", "20.000000", "1", "0", kRed)
               + box("2", "80.000000", "40.000000", "40.000000", "20.000000", "1", "0", kBlue);
    QTest::newRow("selected item without contents stays transparent")
        << item("QQuickItem", "tempID=\"temp3\"") << QByteArray("temp3")
        << box("2", "80.000000", "40.000000", "40.000000", "20.000000", "1", "0");
    QTest::newRow("empty selection selects no item without id")
        << item("QQuickText", "hasContents=\"1\" tempID=\"\"") + item("QQuickText", "hasContents=\"1\"") << QByteArray()
        << box("2", "80.000000", "40.000000", "40.000000", "20.000000", "1", "0", kBlue)
               + box("2", "80.000000", "40.000000", "40.000000", "20.000000", "1", "0", kBlue);
    QTest::newRow("clip 1") << item("QQuickItem", "clip=\"1\"") << QByteArray()
        << box("2", "80.000000", "40.000000", "40.000000", "20.000000", "1", "0", kClip);
    QTest::newRow("clip before fill") << item("QQuickItem", "clip=\"1\" hasContents=\"1\"") << QByteArray()
        << box("2", "80.000000", "40.000000", "40.000000", "20.000000", "1", "0",
               "clip:rect(auto, auto, auto, auto);background:#00F;");
    QTest::newRow("z sums along the nesting")
        << item("QQuickItem", "z=\"5\"", item("QQuickItem", "z=\"1\"") + item("QQuickItem", "z=\"1\""))
        << QByteArray()
        << box("5", "80.000000", "40.000000", "40.000000", "20.000000", "1", "0", "",
               box("6", "-20.000000", "-10.000000", "40.000000", "20.000000", "1", "0")
                   + box("6", "-20.000000", "-10.000000", "40.000000", "20.000000", "1", "0"));
    QTest::newRow("rotation relative to the parent's attribute")
        << item("QQuickItem", "rotation=\"90\"",
                item("QQuickItem", "rotation=\"90\" z=\"0\"", item("QQuickItem", "rotation=\"45\" z=\"0\"")))
        << QByteArray()
        << box("2", "80.000000", "40.000000", "40.000000", "20.000000", "1", "90", "",
               box("2", "-20.000000", "-10.000000", "40.000000", "20.000000", "1", "0", "",
                   box("2", "-20.000000", "-10.000000", "40.000000", "20.000000", "1", "-45")));
    QTest::newRow("nested boxes use the item centre and the parent size")
        << item("QQuickItem", "width=\"200\" height=\"100\" centerXToItem=\"999\"",
                item("QQuickRectangle", "width=\"50\" height=\"30\" centerXToItem=\"25\" centerYToItem=\"40\" "
                                        "centerXToGlobal=\"999\" centerYToGlobal=\"999\" z=\"0\""))
        << QByteArray()
        << box("2", "0.000000", "0.000000", "200.000000", "100.000000", "1", "0", "",
               box("2", "0.000000", "25.000000", "50.000000", "30.000000", "1", "0"));
    QTest::newRow("single-precision order")
        << item("QQuickItem", "centerXToGlobal=\"0.7\" width=\"0.1\"")
            + item("QQuickItem", "centerXToGlobal=\"100.1\" width=\"33.3\"")
        << QByteArray()
        << box("2", "0.650024", "40.000000", "0.100000", "20.000000", "1", "0")
               + box("2", "83.450012", "40.000000", "33.299999", "20.000000", "1", "0");
    QTest::newRow("scale copied") << item("QQuickItem", "scale=\"0.75\"") << QByteArray()
        << box("2", "80.000000", "40.000000", "40.000000", "20.000000", "0.75", "0");
    QTest::newRow("scale cannot end the tag")
        << item("QQuickItem", "scale=\"1&quot;&gt;&lt;b&gt;&amp;\"") << QByteArray()
        << box("2", "80.000000", "40.000000", "40.000000", "20.000000", "1&quot;&gt;&lt;b&gt;&amp;", "0");
    QTest::newRow("text and comments are not items")
        << item("QQuickText", {}, "hello<!-- c -->") << QByteArray()
        << box("2", "80.000000", "40.000000", "40.000000", "20.000000", "1", "0");
    QTest::newRow("item without attributes is hidden") << QByteArray("<QQuickItem/>") << QByteArray() << QByteArray();
    QTest::newRow("missing numbers read as 0")
        << QByteArray("<QQuickItem visible=\"1\" opacity=\"1\"/>") << QByteArray()
        << box("0", "0.000000", "0.000000", "0.000000", "0.000000", "", "0");
}

void TestPanelcast::rules()
{
    QFETCH(QByteArray, items);
    QFETCH(QByteArray, id);
    QFETCH(QByteArray, expected);
    QCOMPARE(render(dump(items), id.constData()), expected);
}

void TestPanelcast::numbers_data()
{
    QTest::addColumn<QByteArray>("text");
    for (const char* text :
         {"0", "80", "-3.25", "  7.5e1", "+3", " -7", "1e2", "1E+2", "0.25e1", ".5", "5.", ".", "1e", "1e+", "12abc",
          "0x1.8p3", "0X10", "0x", "0xg", "0x.8", "-0x1p-2", "inf", "-Infinity", "INF", "nan", "-nan", "nan(123)",
          "1e39", "-1e400", "1e-400", "-1e-50", "3.4028234e38", "3.4028236e38", "16777217", "1e-45", "1.5e-38",
          "--1", "+-1", "-+1", "", "true", "0.0078125", "0.0234375", "0.0000005", "0.0000015", "0.9999995",
          "999999.9999995", "1e-7", "-1e-7", "-0", "2147483647", "2147483648", "-2147483648", "-2147483649",
          "99999999999", "-99999999999", "123456789.123", "0.1", "1234567.875"})
        QTest::newRow(*text ? text : "empty") << QByteArray(text);
}

// Widths read and written as atof and "%f" do; z as atoi, saturated outside the int range.
void TestPanelcast::numbers()
{
    QFETCH(QByteArray, text);
    const auto found = pieces(render(dump(item("QQuickItem", "width=\"" + text + "\" z=\"" + text + "\""))));
    QCOMPARE(found.size(), 1);
    QCOMPARE(found[0][3].toUtf8(), printed("%f", float(std::atof(text.constData()))));
    QCOMPARE(found[0][0].toInt(), saturatedInt(text.constData()));
}

void TestPanelcast::opacity_data()
{
    QTest::addColumn<QByteArray>("text");
    for (const char* text : {"1", "0", "0.0", "-0", "0x0", "nan", "abc", "", "4e-320", "1e-400", "0x1p-1074", " 0.5", "inf"})
        QTest::newRow(*text ? text : "empty") << QByteArray(text);
}

// An item is hidden exactly when atof reads its opacity as 0.
void TestPanelcast::opacity()
{
    QFETCH(QByteArray, text);
    const bool shown = !render(dump(item("QQuickItem", "opacity=\"" + text + "\""))).isEmpty();
    QCOMPARE(shown, std::atof(text.constData()) != 0);
}

// Every kind of float (normal, subnormal, huge, exact ties) written exactly as printf "%f".
void TestPanelcast::floatFormatting()
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
    for (const char* tie : {"0.0078125", "0.0234375", "0.5", "2.5e-7", "7.5e-7", "1.4999995"}) {
        items += "<QQuickItem visible=\"1\" opacity=\"1\" width=\"" + QByteArray(tie) + "\"/>";
        expected.append(printed("%f", float(std::atof(tie))));
    }
    const auto found = pieces(render(dump(items)));
    QCOMPARE(found.size(), expected.size());
    for (int i = 0; i < found.size(); ++i)
        QCOMPARE(found[i][3].toUtf8(), expected[i]);
}

void TestPanelcast::golden_data()
{
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<QByteArray>("id");
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    const QList<QByteArray> lines = readData(QStringLiteral("cases.txt")).split('\n');
    QVERIFY(lines.size() > 10);
    for (const QByteArray& line : lines) {
        const QList<QByteArray> fields = line.split('#').first().simplified().split(' ');
        if (fields.size() != 5)
            continue;
        QTest::newRow(fields[0].constData()) << fields[1] << (fields[2] == "-" ? QByteArray() : fields[2])
                                             << fields[3].toInt() << fields[4].toInt();
    }
}

// The checked-in dumps and their expected HTML, side by side in data/.
void TestPanelcast::golden()
{
    QFETCH(QByteArray, input);
    QFETCH(QByteArray, id);
    QFETCH(int, width);
    QFETCH(int, height);
    QFile xml(QStringLiteral(PANELCAST_TEST_DATA "/%1.xml").arg(QString::fromUtf8(input)));
    QVERIFY(xml.open(QIODevice::ReadOnly));
    const QByteArray html = render(xml.readAll(), id.constData(), width, height);
    QCOMPARE(html, readData(QString::fromUtf8(QTest::currentDataTag()) + QStringLiteral(".html")));
    QVERIFY(balanced(html));
}

void TestPanelcast::phoneDump_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QByteArray>("id");
    QTest::addColumn<int>("minimum");
    QTest::newRow("written home screen") << QStringLiteral("phone_dump.xml") << QByteArray("temp41") << 50;
    QTest::newRow("captured home screen") << QStringLiteral("home_dump.xml") << QByteArray("temp1") << 10;
}

// Layout dumps of the simulated phone's home screen: one box per visible item.
void TestPanelcast::phoneDump()
{
    QFETCH(QString, file);
    QFETCH(QByteArray, id);
    QFETCH(int, minimum);
    const QByteArray xml = readData(file);
    const int expected = visibleItems(xml);
    QVERIFY(expected > minimum);
    const QByteArray html = render(xml, id.constData());
    QCOMPARE(html.count("<div "), expected);
    QCOMPARE(html.count(kRed), 1);
    QVERIFY(balanced(html));
}

// The same against a dump taken live from the simulated phone (run under scripts/phone-env).
void TestPanelcast::liveDump()
{
    if (qEnvironmentVariableIsEmpty("PANELCAST_LIVE_DUMP"))
        QSKIP("runs as panelcast_live_dump under scripts/phone-env");
    QByteArray xml;
    for (int attempt = 0; attempt < 100 && xml.isEmpty(); ++attempt) {
        QDBusInterface compositor(QStringLiteral("com.orvana.compositor"), QStringLiteral("/com/orvana/compositor"),
                                  QStringLiteral("com.orvana.compositor.ZelvikInterface"),
                                  QDBusConnection::systemBus());
        const QDBusReply<int> pid = compositor.call(QStringLiteral("getTopWindowPid"));
        if (pid.isValid() && pid.value() > 0) {
            const QString p = QString::number(pid.value());
            QDBusInterface app(QStringLiteral("com.orvana.p") + p, QStringLiteral("/com/orvana/p") + p,
                               QStringLiteral("com.orvana.uitest.Interface"), QDBusConnection::sessionBus());
            const QDBusReply<QString> layout = app.call(QStringLiteral("genareteLayoutInfo"));
            if (layout.isValid())
                xml = layout.value().toUtf8();
        }
        if (xml.isEmpty())
            QThread::msleep(100);
    }
    QVERIFY2(!xml.isEmpty(), "no layout from the top application");
    const int expected = visibleItems(xml);
    QVERIFY(expected > 0);
    const QByteArray html = render(xml);
    QCOMPARE(html.count("<div "), expected);
    QVERIFY(balanced(html));
}

void TestPanelcast::repeatedCalls()
{
    const QByteArray first = dump(item("QQuickText", "hasContents=\"1\" tempID=\"temp1\""));
    const QByteArray second = dump(item("QQuickItem", "z=\"9\""));
    const QByteArray once = render(first, "temp1");
    QVERIFY(once.contains(kRed));
    QCOMPARE(QByteArray(temp_id.c_str()), QByteArray("temp1"));
    QCOMPARE(render(second, "temp2"), box("9", "80.000000", "40.000000", "40.000000", "20.000000", "1", "0"));
    QCOMPARE(QByteArray(temp_id.c_str()), QByteArray("temp2"));
    QCOMPARE(render(first, "temp1"), once);  // nothing left over from earlier calls
    QCOMPARE(render(first, "temp9"), QByteArray(once).replace(kRed, kBlue));
    QCOMPARE(QByteArray(go(nullptr, "temp1", 720, 1280)), QByteArray());
    QCOMPARE(QByteArray(go(first.constData(), nullptr, 720, 1280)), QByteArray(once).replace(kRed, kBlue));
    QVERIFY(temp_id.empty());
}

// Text nested deeper than tinyxml2 parses gives nothing; what it parses renders fully nested.
void TestPanelcast::deepDocument()
{
    for (int depth : {10000, 90}) {
        const QByteArray open = item("QQuickItem", "z=\"1\"").replace("/>", ">");
        const QByteArray xml = dump(open.repeated(depth) + QByteArray("</QQuickItem>").repeated(depth));
        const QByteArray html = render(xml);
        if (depth == 10000) {
            QCOMPARE(html, QByteArray());
        } else {
            QCOMPARE(html.count("<div "), depth);
            QVERIFY(html.endsWith(QByteArray("\"></div>").append(QByteArray("</div>").repeated(depth - 1))));
            QVERIFY(html.contains("z-index:" + QByteArray::number(depth) + ';'));
            QVERIFY(balanced(html));
        }
    }
}

// Element trees built in memory have no depth limit: the traversal must not recurse.
void TestPanelcast::deepTreeInMemory()
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
    QVERIFY(balanced(html));
    // tinyxml2 deletes children recursively: take the chain apart from the bottom.
    for (tinyxml2::XMLNode* node = parent->Parent(); node; node = node->Parent())
        node->DeleteChildren();
}

QTEST_GUILESS_MAIN(TestPanelcast)
#include "panelcast_test.moc"
