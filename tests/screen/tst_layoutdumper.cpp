// The layout document of an inline scene, checked against the items themselves.
#include <QQmlComponent>
#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickWindow>
#include <QTemporaryDir>
#include <QXmlStreamReader>
#include <QtTest>

#include <algorithm>
#include <memory>

#include "layoutdumper.h"

namespace {

const char SCENE[] = R"(
import QtQuick 2.12
Rectangle {
    objectName: "page"
    width: 720; height: 1280
    property int extra: 1 // a type declared in QML
    Item {
        objectName: "group"
        x: 30; y: 40; width: 400; height: 300
        Rectangle { objectName: "plain"; x: 10; y: 20; width: 100; height: 50; color: "red" }
        Rectangle {
            objectName: "rotated"; x: 150; y: 60; width: 120; height: 60; rotation: 30
            Rectangle { objectName: "inRotated"; x: 10; y: 10; width: 20; height: 20 }
        }
        Rectangle { objectName: "scaled"; x: 200; y: 180; width: 80; height: 40; scale: 1.5; z: 3 }
    }
    Text { objectName: "label"; x: 5; y: 900; text: "plain text" }
    TextInput { objectName: "input"; x: 5; y: 950; width: 300; height: 40; focus: true; text: "typed" }
    Loader { objectName: "loader"; x: 0; y: 1000; width: 10; height: 10 }
    Item { objectName: "hidden"; visible: false; Item { objectName: "insideHidden" } }
    Item { objectName: "clipped"; clip: true; enabled: false; opacity: 0.5 }
    FancyButton { objectName: "fancy" }
    Flickable {
        objectName: "flick"; x: 0; y: 1100; width: 720; height: 100; contentHeight: 1000; contentY: 50
        Rectangle { objectName: "flickRow"; y: 120; width: 720; height: 40 }
    }
}
)";

struct Element
{
    QString name;
    QXmlStreamAttributes attributes;
    int depth = 0;
    QString value(const char* attribute) const { return attributes.value(QLatin1String(attribute)).toString(); }
};

// The elements in document order; none if the text is not well-formed.
QList<Element> parse(const QString& xml)
{
    QList<Element> elements;
    QXmlStreamReader reader(xml);
    for (int depth = 0; reader.readNext() != QXmlStreamReader::Invalid && !reader.atEnd();) {
        if (reader.isStartElement())
            elements.append(Element{reader.name().toString(), reader.attributes(), depth++});
        else if (reader.isEndElement())
            --depth;
    }
    return reader.hasError() ? QList<Element>() : elements;
}

// The element with this objectName, or one named "<missing>".
Element byName(const QList<Element>& elements, const QString& objectName)
{
    const auto found = std::find_if(elements.begin(), elements.end(), [&](const Element& e) { return e.value("objectName") == objectName; });
    return found != elements.end() ? *found : Element{QStringLiteral("<missing>"), {}, -1};
}
} // namespace

class TestLayoutDumper : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        // A type declared in a QML file of its own, beside the scene.
        QFile button(dir.filePath(QStringLiteral("FancyButton.qml")));
        QVERIFY(button.open(QIODevice::WriteOnly) && button.write("import QtQuick 2.12\nRectangle { property string label: \"go\"; width: 10; height: 10 }\n") > 0);
        button.close();
        engine.reset(new QQmlEngine);
        QQmlComponent component(engine.get());
        component.setData(SCENE, QUrl::fromLocalFile(dir.filePath(QStringLiteral("scene.qml"))));
        root.reset(qobject_cast<QQuickItem*>(component.create()));
        QVERIFY2(root, qPrintable(component.errorString()));
        window.reset(new QQuickWindow);
        window->setFlags(Qt::Window | Qt::FramelessWindowHint);
        window->setGeometry(0, 0, 720, 1280);
        root->setParentItem(window->contentItem());
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    }

    // The root element, the window and its root item, then the items, numbered in document order.
    void documentShapeAndTempIds()
    {
        QVERIFY(xml().startsWith(QLatin1String("<?xml version=\"1.0\" encoding=\"UTF-8\"?><root ")));
        const QList<Element> elements = dump();
        QStringList shape;
        for (const Element& e : elements.mid(0, 4))
            shape << QStringLiteral("%1:%2").arg(e.depth).arg(e.name);
        QCOMPARE(shape, (QStringList{"0:root", "1:QQuickWindow", "2:QQuickRootItem", "3:QQuickRectangle"}));
        QCOMPARE(elements[0].value("sopId") + elements[0].value("uiAppId"), QStringLiteral("com.test.sopapp"));
        QVERIFY(!elements[0].value("createTime").isEmpty());
        int next = 0;
        for (const Element& e : elements)
            QCOMPARE(e.value("tempID"), e.depth < 3 ? QString() : QStringLiteral("temp%1").arg(next++));
        QVERIFY(next > 10);
        // Without a window: the root element alone, its values escaped.
        const QList<Element> empty = parse(LayoutDumper(QStringLiteral("a<b"), QString()).dump(nullptr));
        QCOMPARE(empty.size(), 1);
        QCOMPARE(empty[0].value("sopId"), QStringLiteral("a<b"));
    }

    void geometryMatches_data()
    {
        QTest::addColumn<QString>("name");
        for (const char* name : {"page", "group", "plain", "rotated", "inRotated", "scaled", "label", "input", "flick", "flickRow"})
            QTest::newRow(name) << QString::fromLatin1(name);
    }

    void geometryMatches()
    {
        QFETCH(QString, name);
        const QQuickItem* item = name == root->objectName() ? root.get() : root->findChild<QQuickItem*>(name);
        QVERIFY(item);
        const QPointF half(item->width() / 2, item->height() / 2);
        const QPointF global = window->contentItem()->mapFromItem(item, half), local = item->parentItem()->mapFromItem(item, half);
        const double expected[] = {item->x(), item->y(), item->width(), item->height(), global.x(), global.y(), local.x(), local.y()};
        const char* const attributes[] = {"x", "y", "width", "height", "centerXToGlobal", "centerYToGlobal", "centerXToItem", "centerYToItem"};
        const Element e = byName(dump(), name);
        for (int i = 0; i < 8; ++i) {
            bool ok = false;
            const double value = e.value(attributes[i]).toDouble(&ok);
            QVERIFY2(ok && qAbs(value - expected[i]) < 1e-6,
                     qPrintable(QStringLiteral("%1: %2 is %3, not %4").arg(name, QLatin1String(attributes[i])).arg(value).arg(expected[i])));
        }
    }

    void attributes_data()
    {
        // "#element" stands for the element's name.
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("attribute");
        QTest::addColumn<QString>("value");
        const QList<QStringList> rows = {
            {"page", "#element", "QQuickRectangle"}, {"group", "#element", "QQuickItem"},
            {"label", "#element", "QQuickText"}, {"input", "#element", "QQuickTextInput"},
            {"loader", "#element", "QQuickLoader"}, {"flick", "#element", "QQuickFlickable"},
            {"hidden", "visible", "0"}, {"insideHidden", "visible", "0"}, {"plain", "visible", "1"},
            {"clipped", "clip", "1"}, {"plain", "clip", "0"}, {"clipped", "enabled", "0"},
            {"clipped", "opacity", "0.5"}, {"input", "focus", "1"}, {"label", "focus", "0"},
            {"plain", "hasContents", "1"}, {"group", "hasContents", "0"}, {"rotated", "rotation", "30"},
            {"scaled", "scale", "1.5"}, {"scaled", "z", "3"}, {"label", "text", "plain text"},
            {"input", "text", "typed"}, {"plain", "text", "<none>"}, {"fancy", "#element", "QQuickRectangle"},
            {"fancy", "qmlType", "FancyButton"}, {"page", "qmlType", "<none>"},
        };
        for (const QStringList& row : rows)
            QTest::addRow("%s %s", qPrintable(row[0]), qPrintable(row[1])) << row[0] << row[1] << row[2];
    }

    void attributes()
    {
        QFETCH(QString, name);
        QFETCH(QString, attribute);
        QFETCH(QString, value);
        const Element e = byName(dump(), name);
        if (attribute == QLatin1String("#element"))
            QCOMPARE(e.name, value);
        else
            QCOMPARE(e.attributes.hasAttribute(attribute) ? e.attributes.value(attribute).toString() : QStringLiteral("<none>"), value);
    }

    void textIsEscaped_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("expected");
        QTest::newRow("markup") << "<b>&amp; \"quoted\" 'single'</b>" << "<b>&amp; \"quoted\" 'single'</b>";
        QTest::newRow("line breaks and tab") << "one\ntwo\tthree\r" << "one\ntwo\tthree\r";
        QTest::newRow("emoji") << QStringLiteral("ok \U0001F600") << QStringLiteral("ok \U0001F600");
        QTest::newRow("control characters dropped") << QStringLiteral("a\x01" "b\bc\x1f") << "abc";
        QTest::newRow("lone surrogate dropped") << (QStringLiteral("x") + QChar(0xD800) + QStringLiteral("y")) << "xy";
    }

    // As text and as object name; attribute values never carry a raw line break, which parsers
    // would fold into a space.
    void textIsEscaped()
    {
        QFETCH(QString, text);
        QFETCH(QString, expected);
        QObject* label = root->findChild<QObject*>(QStringLiteral("label"));
        QVERIFY(label);
        label->setProperty("text", text);
        label->setObjectName(text);
        const QString dumped = xml();
        label->setObjectName(QStringLiteral("label"));
        label->setProperty("text", QStringLiteral("plain text"));
        QCOMPARE(byName(parse(dumped), expected).value("text"), expected);
        QVERIFY(!dumped.contains(QLatin1Char('\n')));
    }

private:
    QString xml() const { return LayoutDumper(QStringLiteral("com.test.sop"), QStringLiteral("app")).dump(window.get()); }
    QList<Element> dump() const { return parse(xml()); }

    // Destroyed in reverse: the scene, its window, then the engine.
    QTemporaryDir dir;
    std::unique_ptr<QQmlEngine> engine;
    std::unique_ptr<QQuickWindow> window;
    std::unique_ptr<QQuickItem> root;
};
QTEST_MAIN(TestLayoutDumper)
#include "tst_layoutdumper.moc"
