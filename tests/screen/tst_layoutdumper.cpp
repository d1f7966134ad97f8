// The layout document of an inline scene, checked against what QML itself reports.
#include <QQmlComponent>
#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickWindow>
#include <QTemporaryDir>
#include <QXmlStreamReader>
#include <QtTest>

#include "layoutdumper.h"

namespace {

const char SCENE[] = R"(
import QtQuick 2.12
Rectangle {
    objectName: "page"
    width: 720; height: 1280
    property int extra: 1
    function centre(name) {
        var item = find(page, name)
        var g = item.mapToItem(null, item.width / 2, item.height / 2)
        var l = item.parent.mapFromItem(item, item.width / 2, item.height / 2)
        return [item.x, item.y, item.width, item.height, g.x, g.y, l.x, l.y]
    }
    function find(item, name) {
        if (item.objectName === name) return item
        for (var i = 0; i < item.children.length; ++i) {
            var found = find(item.children[i], name)
            if (found) return found
        }
        return null
    }
    id: page
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
};

QList<Element> parse(const QString& xml, QString* error)
{
    QList<Element> elements;
    QXmlStreamReader reader(xml);
    int depth = 0;
    while (!reader.atEnd()) {
        reader.readNext();
        if (reader.isStartElement()) {
            elements.append(Element{reader.name().toString(), reader.attributes(), depth});
            ++depth;
        } else if (reader.isEndElement()) {
            --depth;
        }
    }
    if (reader.hasError())
        *error = reader.errorString();
    return elements;
}

const Element* byName(const QList<Element>& elements, const QString& objectName)
{
    for (const Element& e : elements) {
        if (e.attributes.value(QLatin1String("objectName")) == objectName)
            return &e;
    }
    return nullptr;
}

double attr(const Element* e, const char* name)
{
    bool ok = false;
    const double value = e->attributes.value(QLatin1String(name)).toDouble(&ok);
    return ok ? value : qQNaN();
}

} // namespace

class TestLayoutDumper : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void documentShape();
    void geometryMatchesQml_data();
    void geometryMatchesQml();
    void classNames_data();
    void classNames();
    void flagsAndText();
    void tempIdsInDocumentOrder();
    void textIsEscaped_data();
    void textIsEscaped();
    void qmlDeclaredTypeIsNamedByItsCppClass();
    void noWindowGivesRootOnly();

private:
    QString dump() const { return LayoutDumper(QStringLiteral("com.test.sop"), QStringLiteral("app")).dump(window); }

    QQmlEngine* engine = nullptr;
    QQuickWindow* window = nullptr;
    QQuickItem* root = nullptr;
};

void TestLayoutDumper::initTestCase()
{
    engine = new QQmlEngine;
    QQmlComponent component(engine);
    component.setData(SCENE, QUrl(QStringLiteral("file:///scene.qml")));
    root = qobject_cast<QQuickItem*>(component.create());
    QVERIFY2(root, qPrintable(component.errorString()));
    window = new QQuickWindow;
    window->setFlags(Qt::Window | Qt::FramelessWindowHint);
    window->setGeometry(0, 0, 720, 1280);
    root->setParentItem(window->contentItem());
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window));
}

void TestLayoutDumper::cleanupTestCase()
{
    delete root;
    delete window;
    delete engine;
}

void TestLayoutDumper::documentShape()
{
    QString error;
    const QList<Element> elements = parse(dump(), &error);
    QVERIFY2(error.isEmpty(), qPrintable(error));
    QVERIFY(elements.size() > 3);
    QCOMPARE(elements[0].name, QStringLiteral("root"));
    QCOMPARE(elements[0].attributes.value(QLatin1String("sopId")), QLatin1String("com.test.sop"));
    QCOMPARE(elements[0].attributes.value(QLatin1String("uiAppId")), QLatin1String("app"));
    QVERIFY(!elements[0].attributes.value(QLatin1String("createTime")).isEmpty());
    QCOMPARE(elements[1].depth, 1);
    QCOMPARE(elements[1].name, QStringLiteral("QQuickWindow"));
    QCOMPARE(elements[2].depth, 2);
    QCOMPARE(elements[2].name, QStringLiteral("QQuickRootItem"));
    QCOMPARE(elements[3].depth, 3);
    QCOMPARE(elements[3].attributes.value(QLatin1String("objectName")), QLatin1String("page"));
    QVERIFY(dump().startsWith(QLatin1String("<?xml version=\"1.0\" encoding=\"UTF-8\"?><root ")));
}

void TestLayoutDumper::geometryMatchesQml_data()
{
    QTest::addColumn<QString>("name");
    for (const char* name : {"page", "group", "plain", "rotated", "inRotated", "scaled", "label",
                             "input", "flick", "flickRow"})
        QTest::newRow(name) << QString::fromLatin1(name);
}

void TestLayoutDumper::geometryMatchesQml()
{
    QFETCH(QString, name);
    QVariant reported;
    QVERIFY(QMetaObject::invokeMethod(root, "centre", Q_RETURN_ARG(QVariant, reported),
                                      Q_ARG(QVariant, name)));
    const QVariantList qml = reported.toList();
    QCOMPARE(qml.size(), 8);
    QString error;
    const QList<Element> elements = parse(dump(), &error);
    const Element* e = byName(elements, name);
    QVERIFY(e);
    const char* const attributes[] = {"x", "y", "width", "height", "centerXToGlobal",
                                      "centerYToGlobal", "centerXToItem", "centerYToItem"};
    for (int i = 0; i < 8; ++i) {
        if (qAbs(attr(e, attributes[i]) - qml[i].toDouble()) > 1e-6)
            QFAIL(qPrintable(QStringLiteral("%1: %2 is %3, QML says %4").arg(name, QLatin1String(attributes[i]))
                                 .arg(attr(e, attributes[i])).arg(qml[i].toDouble())));
    }
}

void TestLayoutDumper::classNames_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("element");
    QTest::newRow("Rectangle with own property") << "page" << "QQuickRectangle";
    QTest::newRow("Item") << "group" << "QQuickItem";
    QTest::newRow("Text") << "label" << "QQuickText";
    QTest::newRow("TextInput") << "input" << "QQuickTextInput";
    QTest::newRow("Loader") << "loader" << "QQuickLoader";
    QTest::newRow("Flickable") << "flick" << "QQuickFlickable";
}

void TestLayoutDumper::classNames()
{
    QFETCH(QString, name);
    QFETCH(QString, element);
    QString error;
    const QList<Element> elements = parse(dump(), &error);
    const Element* e = byName(elements, name);
    QVERIFY(e);
    QCOMPARE(e->name, element);
}

void TestLayoutDumper::flagsAndText()
{
    QString error;
    const QList<Element> elements = parse(dump(), &error);
    auto value = [&](const QString& name, const char* attribute) {
        const Element* e = byName(elements, name);
        return e ? e->attributes.value(QLatin1String(attribute)).toString() : QStringLiteral("<missing>");
    };
    QCOMPARE(value("hidden", "visible"), QStringLiteral("0"));
    QCOMPARE(value("insideHidden", "visible"), QStringLiteral("0"));
    QCOMPARE(value("plain", "visible"), QStringLiteral("1"));
    QCOMPARE(value("clipped", "clip"), QStringLiteral("1"));
    QCOMPARE(value("clipped", "enabled"), QStringLiteral("0"));
    QCOMPARE(value("clipped", "opacity"), QStringLiteral("0.5"));
    QCOMPARE(value("plain", "clip"), QStringLiteral("0"));
    QCOMPARE(value("input", "focus"), QStringLiteral("1"));
    QCOMPARE(value("label", "focus"), QStringLiteral("0"));
    QCOMPARE(value("plain", "hasContents"), QStringLiteral("1"));
    QCOMPARE(value("group", "hasContents"), QStringLiteral("0"));
    QCOMPARE(value("rotated", "rotation"), QStringLiteral("30"));
    QCOMPARE(value("scaled", "scale"), QStringLiteral("1.5"));
    QCOMPARE(value("scaled", "z"), QStringLiteral("3"));
    QCOMPARE(value("label", "text"), QStringLiteral("plain text"));
    QCOMPARE(value("input", "text"), QStringLiteral("typed"));
    const Element* plain = byName(elements, QStringLiteral("plain"));
    QVERIFY(plain && !plain->attributes.hasAttribute(QLatin1String("text")));
}

void TestLayoutDumper::tempIdsInDocumentOrder()
{
    QString error;
    const QList<Element> elements = parse(dump(), &error);
    int next = 0;
    for (const Element& e : elements) {
        if (e.depth < 3) {
            QVERIFY(!e.attributes.hasAttribute(QLatin1String("tempID")));
            continue;
        }
        QCOMPARE(e.attributes.value(QLatin1String("tempID")).toString(),
                 QStringLiteral("temp%1").arg(next++));
    }
    QVERIFY(next > 10);
}

void TestLayoutDumper::textIsEscaped_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");
    QTest::newRow("markup") << "<b>&amp; \"quoted\" 'single'</b>" << "<b>&amp; \"quoted\" 'single'</b>";
    QTest::newRow("line breaks and tab") << "one\ntwo\tthree\r" << "one\ntwo\tthree\r";
    QTest::newRow("chinese") << QStringLiteral("你好，世界") << QStringLiteral("你好，世界");
    QTest::newRow("emoji") << QStringLiteral("ok \U0001F600") << QStringLiteral("ok \U0001F600");
    QTest::newRow("control characters dropped") << QStringLiteral("a\x01" "b\bc\x1f") << "abc";
    QTest::newRow("lone surrogate dropped") << (QStringLiteral("x") + QChar(0xD800) + QStringLiteral("y"))
                                            << "xy";
}

void TestLayoutDumper::textIsEscaped()
{
    QFETCH(QString, text);
    QFETCH(QString, expected);
    QObject* label = root->findChild<QObject*>(QStringLiteral("label"));
    QVERIFY(label);
    label->setProperty("text", text);
    label->setObjectName(text);
    const QString xml = dump();
    label->setObjectName(QStringLiteral("label"));
    QString error;
    const QList<Element> elements = parse(xml, &error);
    QVERIFY2(error.isEmpty(), qPrintable(error));
    const Element* e = byName(elements, expected);
    QVERIFY(e);
    QCOMPARE(e->attributes.value(QLatin1String("text")).toString(), expected);
    // Attribute values never carry a raw line break: parsers would fold it into a space.
    QVERIFY(!xml.contains(QLatin1Char('\n')));
}

void TestLayoutDumper::qmlDeclaredTypeIsNamedByItsCppClass()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QFile button(dir.filePath(QStringLiteral("FancyButton.qml")));
    QVERIFY(button.open(QIODevice::WriteOnly));
    button.write("import QtQuick 2.12\nRectangle { property string label: \"go\"; width: 10; height: 10 }\n");
    button.close();
    QFile main(dir.filePath(QStringLiteral("main.qml")));
    QVERIFY(main.open(QIODevice::WriteOnly));
    main.write("import QtQuick 2.12\nItem { FancyButton { objectName: \"fancy\" } }\n");
    main.close();
    QQmlComponent component(engine, QUrl::fromLocalFile(main.fileName()));
    QScopedPointer<QQuickItem> item(qobject_cast<QQuickItem*>(component.create()));
    QVERIFY2(item, qPrintable(component.errorString()));
    item->setParentItem(window->contentItem());
    QString error;
    const QList<Element> elements = parse(dump(), &error);
    item->setParentItem(nullptr);
    const Element* e = byName(elements, QStringLiteral("fancy"));
    QVERIFY(e);
    QCOMPARE(e->name, QStringLiteral("QQuickRectangle"));
    QCOMPARE(e->attributes.value(QLatin1String("qmlType")), QLatin1String("FancyButton"));
}

void TestLayoutDumper::noWindowGivesRootOnly()
{
    QString error;
    const QList<Element> elements = parse(LayoutDumper(QStringLiteral("a<b"), QString()).dump(nullptr), &error);
    QVERIFY2(error.isEmpty(), qPrintable(error));
    QCOMPARE(elements.size(), 1);
    QCOMPARE(elements[0].attributes.value(QLatin1String("sopId")), QLatin1String("a<b"));
}

QTEST_MAIN(TestLayoutDumper)
#include "tst_layoutdumper.moc"
