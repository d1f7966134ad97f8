// orvana-screen on private buses (started by phone-env): applications, layout dumps, input,
// and what the screen image shows.
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusReply>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QXmlStreamReader>
#include <QtTest>

#include "devicepath.h"

namespace {

const char FORM[] = "com.orvana.demo.form";
const char LIST[] = "com.orvana.demo.list";
const char TRANSFORMS[] = "com.orvana.demo.transforms";
const char HOME[] = "com.orvana.home";

QDBusMessage screenCall(const QString& method, const QVariantList& args = {})
{
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("com.orvana.sim.Screen"), QStringLiteral("/screen"),
        QStringLiteral("com.orvana.sim.Screen"), method);
    call.setArguments(args);
    return QDBusConnection::systemBus().call(call, QDBus::Block, 10000);
}

QVariant screen(const QString& method, const QVariantList& args = {})
{
    const QDBusMessage reply = screenCall(method, args);
    if (reply.type() != QDBusMessage::ReplyMessage) {
        qWarning("%s: %s", qPrintable(method), qPrintable(reply.errorMessage()));
        return QVariant();
    }
    return reply.arguments().value(0);
}

int topPid()
{
    return screen(QStringLiteral("topWindowPid")).toInt();
}

QString topSopid()
{
    return screen(QStringLiteral("sopidByPid"), {topPid()}).toString();
}

QList<int> processList()
{
    const QDBusMessage reply = screenCall(QStringLiteral("processList"));
    return qdbus_cast<QList<int>>(reply.arguments().value(0));
}

bool launch(const QString& sopid, const QString& uiappid)
{
    return screen(QStringLiteral("launch"), {sopid, uiappid, QStringList(), uint(0)}).toBool();
}

bool quit(const QStringList& items)
{
    return screen(QStringLiteral("quit"), {items}).toBool();
}

QString layoutOf(int pid)
{
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("com.orvana.p%1").arg(pid), QStringLiteral("/com/orvana/p%1").arg(pid),
        QStringLiteral("com.orvana.uitest.Interface"), QStringLiteral("genareteLayoutInfo"));
    const QDBusMessage reply = QDBusConnection::sessionBus().call(call, QDBus::Block, 10000);
    return reply.arguments().value(0).toString();
}

// Attributes of the item with this objectName in the top application's layout; empty if absent.
QXmlStreamAttributes item(const QString& objectName, QString xml = QString())
{
    if (xml.isNull())
        xml = layoutOf(topPid());
    QXmlStreamReader reader(xml);
    while (!reader.atEnd()) {
        if (reader.readNext() == QXmlStreamReader::StartElement
            && reader.attributes().value(QLatin1String("objectName")) == objectName)
            return reader.attributes();
    }
    return QXmlStreamAttributes();
}

QString text(const QString& objectName)
{
    return item(objectName).value(QLatin1String("text")).toString();
}

QPoint centreOf(const QString& objectName)
{
    const QXmlStreamAttributes a = item(objectName);
    return QPoint(int(a.value(QLatin1String("centerXToGlobal")).toDouble()),
                  int(a.value(QLatin1String("centerYToGlobal")).toDouble()));
}

void touch(int type, int slot, const QPoint& at)
{
    screen(QStringLiteral("sendTouch"), {type, slot, slot, at.x(), at.y()});
}

void tap(const QPoint& at)
{
    touch(1, 0, at);
    touch(0, 0, at);
}

// As the agent's key texts arrive: shortcut override, press, release, autorepeat field "true".
void key(int qtKey)
{
    for (int type : {int(QEvent::ShortcutOverride), int(QEvent::KeyPress), int(QEvent::KeyRelease)})
        screen(QStringLiteral("sendKeyEvent"), {type, qtKey, 0, QString(), true});
}

QImage screenshot()
{
    return QImage::fromData(screen(QStringLiteral("screenImage")).toByteArray(), "PNG");
}

bool allBlack(const QImage& image)
{
    for (int y = 0; y < image.height(); y += 7) {
        for (int x = 0; x < image.width(); x += 7) {
            if ((image.pixel(x, y) & 0xffffff) != 0)
                return false;
        }
    }
    return true;
}

} // namespace

class TestScreen : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void homeScreenRunsFromTheStart();
    void launchRaiseQuit();
    void unknownApplicationsAreRefused_data();
    void unknownApplicationsAreRefused();
    void layoutHoldsItemsWithGeometry();
    void tapClicksButtonAndShowsToast();
    void committedChineseTextArrives();
    void linuxKeyCodesTypeText();
    void twoFingerTouchReachesArea();
    void slideFlicksList();
    void homeKeyRaisesHome();
    void backClosesPageThenSendsAppToBackground();
    void tapOnHomeTileLaunches();
    void displayOffAndProximityGiveBlackImage();
    void rotationChangesScreenshotSize();
    void panelIsDrawnOnTop();
    void badInputIsHarmless();
    void eventsAreLogged();
    void cleanupTestCase();
};

void TestScreen::initTestCase()
{
    QVERIFY(QDBusConnection::systemBus().isConnected());
    QVERIFY(QDBusConnection::sessionBus().isConnected());
    const QString installed = ORVANA::devicePath(QStringLiteral("/data/packages"));
    QVERIFY(QDir().mkpath(installed));
    const QDir built(QStringLiteral(PACKAGE_DIR));
    for (const QString& name : built.entryList({QStringLiteral("*.opk")})) {
        QFile::remove(installed + QLatin1Char('/') + name);
        QVERIFY(QFile::copy(built.filePath(name), installed + QLatin1Char('/') + name));
    }
    QTRY_VERIFY_WITH_TIMEOUT(topPid() > 0, 20000);
}

void TestScreen::homeScreenRunsFromTheStart()
{
    QCOMPARE(topSopid(), QString::fromLatin1(HOME));
    QVERIFY(processList().contains(topPid()));
    QCOMPARE(screenshot().size(), QSize(720, 1280));
}

void TestScreen::launchRaiseQuit()
{
    QVERIFY(launch(FORM, QStringLiteral("form")));
    const int form = topPid();
    QCOMPARE(topSopid(), QString::fromLatin1(FORM));
    QVERIFY(processList().contains(form));
    QVERIFY(launch(LIST, QStringLiteral("list")));
    QCOMPARE(topSopid(), QString::fromLatin1(LIST));
    // Launching a running application raises it: same process.
    QVERIFY(launch(FORM, QStringLiteral("form")));
    QCOMPARE(topPid(), form);
    QVERIFY(quit({QStringLiteral("com.orvana.demo.form/form")}));
    QVERIFY(!processList().contains(form));
    QCOMPARE(screen(QStringLiteral("sopidByPid"), {form}).toString(), QString());
    QCOMPARE(topSopid(), QString::fromLatin1(LIST));
    QVERIFY(quit({QStringLiteral("com.orvana.demo.list/list")}));
    QCOMPARE(topSopid(), QString::fromLatin1(HOME));
    // Quitting what does not run is no error.
    QVERIFY(quit({QStringLiteral("com.orvana.demo.list/list")}));
}

void TestScreen::unknownApplicationsAreRefused_data()
{
    QTest::addColumn<QString>("sopid");
    QTest::addColumn<QString>("uiappid");
    QTest::newRow("unknown package") << "com.orvana.nothing" << "form";
    QTest::newRow("unknown application") << FORM << "nothing";
    QTest::newRow("empty") << "" << "";
    QTest::newRow("path in sopid") << "../packages/com.orvana.demo.form" << "form";
}

void TestScreen::unknownApplicationsAreRefused()
{
    QFETCH(QString, sopid);
    QFETCH(QString, uiappid);
    const QList<int> before = processList();
    QVERIFY(!launch(sopid, uiappid));
    QCOMPARE(processList(), before);
    QVERIFY(!quit({sopid + QLatin1Char('/') + uiappid}));
}

void TestScreen::layoutHoldsItemsWithGeometry()
{
    QVERIFY(launch(FORM, QStringLiteral("form")));
    const QString xml = layoutOf(topPid());
    QXmlStreamReader reader(xml);
    while (!reader.atEnd())
        reader.readNext();
    QVERIFY2(!reader.hasError(), qPrintable(reader.errorString()));
    QVERIFY(xml.contains(QLatin1String("sopId=\"com.orvana.demo.form\" uiAppId=\"form\"")));
    // The form's column has 40 px margins; the OK button is 240x96 and first in its row.
    const QXmlStreamAttributes ok = item(QStringLiteral("okButton"), xml);
    QCOMPARE(ok.value(QLatin1String("width")).toDouble(), 240.0);
    QCOMPARE(ok.value(QLatin1String("height")).toDouble(), 96.0);
    QCOMPARE(ok.value(QLatin1String("centerXToGlobal")).toDouble(), 40.0 + 120.0);
    QCOMPARE(ok.value(QLatin1String("centerXToItem")).toDouble(), 120.0);
    QCOMPARE(item(QStringLiteral("nameInput"), xml).value(QLatin1String("focus")), QLatin1String("1"));
}

void TestScreen::tapClicksButtonAndShowsToast()
{
    QVERIFY(launch(FORM, QStringLiteral("form")));
    const QImage before = screenshot();
    QCOMPARE(text(QStringLiteral("clickCount")), QStringLiteral("clicks: 0"));
    tap(centreOf(QStringLiteral("okButton")));
    QCOMPARE(text(QStringLiteral("clickCount")), QStringLiteral("clicks: 1"));
    QCOMPARE(text(QStringLiteral("resultText")), QStringLiteral("Hello, "));
    // The toast (asked for by the application) lies over the lower part of the screen.
    QTRY_VERIFY_WITH_TIMEOUT(screenshot().copy(0, 1000, 720, 280) != before.copy(0, 1000, 720, 280), 3000);
    tap(centreOf(QStringLiteral("wifiSwitch")));
    QCOMPARE(text(QStringLiteral("wifiState")), QStringLiteral("on"));
}

void TestScreen::committedChineseTextArrives()
{
    QVERIFY(launch(FORM, QStringLiteral("form")));
    tap(centreOf(QStringLiteral("clearButton")));
    const QString chinese = QStringLiteral("你好，世界 <&>");
    screen(QStringLiteral("commitString"), {chinese});
    QCOMPARE(text(QStringLiteral("nameInput")), chinese);
    tap(centreOf(QStringLiteral("okButton")));
    QCOMPARE(text(QStringLiteral("resultText")), QStringLiteral("Hello, ") + chinese);
}

void TestScreen::linuxKeyCodesTypeText()
{
    QVERIFY(launch(FORM, QStringLiteral("form")));
    tap(centreOf(QStringLiteral("clearButton")));
    for (int code : {35, 23, 2}) { // h, i, 1
        screen(QStringLiteral("sendKey"), {1, code});
        screen(QStringLiteral("sendKey"), {0, code});
    }
    QCOMPARE(text(QStringLiteral("nameInput")), QStringLiteral("hi1"));
    screen(QStringLiteral("sendKey"), {1, 14}); // backspace, held: repeats
    screen(QStringLiteral("sendKey"), {2, 14});
    screen(QStringLiteral("sendKey"), {0, 14});
    QCOMPARE(text(QStringLiteral("nameInput")), QStringLiteral("h"));
}

void TestScreen::twoFingerTouchReachesArea()
{
    QVERIFY(launch(TRANSFORMS, QStringLiteral("transforms")));
    QCOMPARE(text(QStringLiteral("touchCount")), QStringLiteral("points: 0"));
    const QPoint centre = centreOf(QStringLiteral("twoFingerArea"));
    touch(1, 0, centre - QPoint(100, 0));
    touch(1, 1, centre + QPoint(100, 0));
    touch(2, 1, centre + QPoint(120, 10));
    touch(0, 0, centre - QPoint(100, 0));
    touch(0, 1, centre + QPoint(120, 10));
    QCOMPARE(text(QStringLiteral("touchCount")), QStringLiteral("points: 2"));
    // A tap inside the rotated box reaches it.
    tap(centreOf(QStringLiteral("rotatedBox")));
    QCOMPARE(text(QStringLiteral("rotatedText")), QStringLiteral("taps: 1"));
    QVERIFY(quit({QStringLiteral("com.orvana.demo.transforms/transforms")}));
}

void TestScreen::slideFlicksList()
{
    QVERIFY(launch(LIST, QStringLiteral("list")));
    const double before = item(QStringLiteral("row0")).value(QLatin1String("centerYToGlobal")).toDouble();
    touch(1, 0, QPoint(360, 1100));
    for (int y = 1080; y >= 300; y -= 30)
        touch(2, 0, QPoint(360, y));
    touch(0, 0, QPoint(360, 300));
    QTRY_VERIFY(item(QStringLiteral("row0")).value(QLatin1String("centerYToGlobal")).toDouble() < before - 400);
    QVERIFY(quit({QStringLiteral("com.orvana.demo.list/list")}));
}

void TestScreen::homeKeyRaisesHome()
{
    QVERIFY(launch(FORM, QStringLiteral("form")));
    const int form = topPid();
    key(Qt::Key_Home);
    QCOMPARE(topSopid(), QString::fromLatin1(HOME));
    QVERIFY(processList().contains(form));
}

void TestScreen::backClosesPageThenSendsAppToBackground()
{
    QVERIFY(launch(LIST, QStringLiteral("list")));
    const int list = topPid();
    tap(centreOf(QStringLiteral("row1")));
    QCOMPARE(item(QStringLiteral("detailPage")).value(QLatin1String("visible")), QLatin1String("1"));
    // The application takes the first Back: its page closes, it stays on top.
    key(Qt::Key_Back);
    QCOMPARE(item(QStringLiteral("detailPage")).value(QLatin1String("visible")), QLatin1String("0"));
    QCOMPARE(topPid(), list);
    // Linux KEY_BACK, not taken: the application goes to the background but keeps running.
    // Held down, its repeats send nothing else back.
    screen(QStringLiteral("sendKey"), {1, 158});
    const int next = topPid();
    QVERIFY(next != list);
    screen(QStringLiteral("sendKey"), {2, 158});
    screen(QStringLiteral("sendKey"), {0, 158});
    QCOMPARE(topPid(), next);
    QVERIFY(processList().contains(list));
    // The agent's Back (autorepeat field "true") sends it back as well.
    QVERIFY(launch(LIST, QStringLiteral("list")));
    key(Qt::Key_Back);
    QVERIFY(topPid() != list);
}

void TestScreen::tapOnHomeTileLaunches()
{
    key(Qt::Key_Home);
    QCOMPARE(topSopid(), QString::fromLatin1(HOME));
    QVERIFY(quit({QStringLiteral("com.orvana.demo.transforms/transforms")}));
    tap(centreOf(QStringLiteral("icon_transforms")));
    QTRY_COMPARE_WITH_TIMEOUT(topSopid(), QString::fromLatin1(TRANSFORMS), 10000);
}

void TestScreen::displayOffAndProximityGiveBlackImage()
{
    QVERIFY(!allBlack(screenshot()));
    screen(QStringLiteral("setDisplayOn"), {false});
    QImage image = screenshot();
    QCOMPARE(image.size(), QSize(720, 1280));
    QVERIFY(allBlack(image));
    screen(QStringLiteral("setDisplayOn"), {true});
    QVERIFY(!allBlack(screenshot()));
    screen(QStringLiteral("setProximityNear"), {true});
    QVERIFY(allBlack(screenshot()));
    screen(QStringLiteral("setProximityNear"), {false});
    QVERIFY(!allBlack(screenshot()));
}

void TestScreen::rotationChangesScreenshotSize()
{
    QVERIFY(launch(FORM, QStringLiteral("form")));
    screen(QStringLiteral("setOrientation"), {2});
    QTRY_COMPARE(screenshot().size(), QSize(1280, 720));
    QCOMPARE(item(QStringLiteral("formPage")).value(QLatin1String("width")).toDouble(), 1280.0);
    // An application started while turned starts turned.
    QVERIFY(launch(LIST, QStringLiteral("list")));
    QCOMPARE(screenshot().size(), QSize(1280, 720));
    screen(QStringLiteral("setOrientation"), {4});
    QTRY_COMPARE(screenshot().size(), QSize(720, 1280));
    screen(QStringLiteral("setOrientation"), {8});
    QTRY_COMPARE(screenshot().size(), QSize(1280, 720));
    screen(QStringLiteral("setOrientation"), {3}); // not an orientation: ignored
    QCOMPARE(screenshot().size(), QSize(1280, 720));
    screen(QStringLiteral("setOrientation"), {1});
    QTRY_COMPARE(screenshot().size(), QSize(720, 1280));
}

void TestScreen::panelIsDrawnOnTop()
{
    key(Qt::Key_Home);
    const QImage before = screenshot();
    screen(QStringLiteral("setPanelOpen"), {true});
    const QImage open = screenshot();
    QVERIFY(open.copy(0, 0, 720, 400) != before.copy(0, 0, 720, 400));
    QCOMPARE(open.copy(0, 900, 720, 100), before.copy(0, 900, 720, 100));
    screen(QStringLiteral("setPanelOpen"), {false});
    QCOMPARE(screenshot(), before);
}

void TestScreen::badInputIsHarmless()
{
    const int top = topPid();
    touch(2, 3, QPoint(10, 10));     // move of a contact that is not down
    touch(0, 5, QPoint(10, 10));     // release of one that is not down
    touch(7, 0, QPoint(10, 10));     // no such type
    screen(QStringLiteral("sendTouch"), {1, 100000, 0, 1, 1});
    screen(QStringLiteral("sendTouch"), {1, -1, 0, -50, 99999});
    screen(QStringLiteral("sendKey"), {1, 99999});
    screen(QStringLiteral("sendKey"), {9, 30});
    screen(QStringLiteral("sendKeyEvent"), {12345, 65, 0, QString(), false});
    QVERIFY(!quit({QStringLiteral("no-slash")}));
    QVERIFY(!quit({QStringLiteral("/")}));
    QCOMPARE(screen(QStringLiteral("sopidByPid"), {-1}).toString(), QString());
    QCOMPARE(topPid(), top);
}

void TestScreen::eventsAreLogged()
{
    QFile log(ORVANA::devicePath(QStringLiteral("/data/log/message")));
    QVERIFY(log.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(log.readAll());
    for (const char* expected : {"launch com.orvana.demo.form/form pid", "quit com.orvana.demo.form/form pid",
                                 "key type 6 code 16777232", "touch 2 finger(s)", "touch 1 finger(s)",
                                 "back: com.orvana.demo.list/list to the background",
                                 "launch com.orvana.nothing/form refused"})
        QVERIFY2(text.contains(QLatin1String(expected)), expected);
}

void TestScreen::cleanupTestCase()
{
    quit({QStringLiteral("com.orvana.demo.form/form"), QStringLiteral("com.orvana.demo.list/list"),
          QStringLiteral("com.orvana.demo.transforms/transforms")});
}

QTEST_GUILESS_MAIN(TestScreen)
#include "tst_screen.moc"
