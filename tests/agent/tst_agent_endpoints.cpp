// Every endpoint of the agent as a client sees it: the request, the D-Bus calls the agent makes
// for it (recorded on the bus, with their argument types), the Content-Type and the body.
// The test runs the simulated phone itself, so it can take the phone's services away; what the
// phone's screen must refuse or survive on its own is asked of it directly. Last, the agent's
// start-up: single instance through the compositor, the automation switch, the settings.
#include "agentprocess.h"
#include "callrecorder.h"
#include "httpclient.h"
#include "waituntil.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDir>
#include <QImage>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSettings>
#include <QTcpServer>
#include <QtConcurrent>

#include <signal.h>
#include <sys/prctl.h>
#include <time.h>
#include <unistd.h>

namespace {
const QByteArray text = "text/plain; charset=UTF-8";
using Headers = QList<QPair<QByteArray, QByteArray>>;

QString root() { return qEnvironmentVariable("ORVANA_DEVICE_ROOT"); }
QByteArray files() { return (root() + QStringLiteral("/files")).toUtf8(); }
bool registered(const QString& name) { return QDBusConnection::systemBus().interface()->isServiceRegistered(name); }
QString key(int type, int code) { return QStringLiteral("sendKeyEvent(string \"%1,%2,0,,true,\")").arg(type).arg(code); }
QStringList click(int code) { return {key(51, code), key(6, code), key(7, code)}; }
QString uinput(int type, int code) { return QStringLiteral("sendKeyEventWithUInput(int32 %1, int32 %2)").arg(type).arg(code); }
QStringList press(int code) { return {uinput(1, code), uinput(0, code)}; }
QString touch(int type, int slot, int x, int y)
{
    return QStringLiteral("sendTouchEventWithUInput(int32 %1, int32 %2, int32 %2, int32 %3, int32 %4)").arg(type).arg(slot).arg(x).arg(y);
}
QString call(const char* member, const QString& arguments = QString()) { return QString::fromLatin1(member) + '(' + arguments + ')'; }
QString str(const QByteArray& value) { return QStringLiteral("string \"") + QString::fromUtf8(value) + '"'; }
QString str(const QByteArray& a, const QByteArray& b) { return str(a) + QStringLiteral(", ") + str(b); }

// "GET /x" or just "/x"; the method as sent, so lower case and other methods can be tried.
HttpAnswer send(const QByteArray& request)
{
    const int space = request.indexOf(' ');
    return request.startsWith('/') || space < 0 ? HttpClient::get(request) : HttpClient::request(request.left(space), request.mid(space + 1));
}

int msInSecond()
{
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return int(now.tv_nsec / 1000000);
}

bool matches(const QString& pattern, const QString& value) { return QRegularExpression('^' + pattern + '$').match(value).hasMatch(); }

QDBusMessage busCall(const char* service, const QString& path, const char* interface, const char* method, const QVariantList& args = {})
{
    QDBusMessage message = QDBusMessage::createMethodCall(QLatin1String(service), path, QLatin1String(interface), QLatin1String(method));
    message.setArguments(args);
    return QDBusConnection::systemBus().call(message);
}

// The first value of the simulated screen's reply; none for an error.
QVariant screenCall(const char* method, const QVariantList& args = {})
{
    const QDBusMessage reply = busCall("com.orvana.sim.Screen", QStringLiteral("/screen"), "com.orvana.sim.Screen", method, args);
    return reply.type() == QDBusMessage::ReplyMessage ? reply.arguments().value(0) : QVariant();
}
QList<int> processList() { return qdbus_cast<QList<int>>(screenCall("processList")); }
bool quit(const QString& item) { return screenCall("quit", {QStringList{item}}).toBool(); }

bool setSwitch(bool on)
{
    return busCall("com.orvana.compositor", QStringLiteral("/com/orvana/compositor"), "com.orvana.compositor.ZelvikInterfacePre",
                   "setZelvikSwitch", {on}).type() == QDBusMessage::ReplyMessage;
}
QVariant stored(const char* key) { return QSettings(QStringLiteral("orvana"), QStringLiteral("zelvik_support")).value(QLatin1String(key)); }
void store(const char* key, const QVariant& value) { QSettings(QStringLiteral("orvana"), QStringLiteral("zelvik_support")).setValue(QLatin1String(key), value); }

// A killed child may linger as a zombie until reaped; its /proc state says so.
bool alive(qint64 pid)
{
    QFile status(QStringLiteral("/proc/%1/stat").arg(pid));
    const QByteArray stat = status.open(QIODevice::ReadOnly) ? status.readAll() : QByteArray();
    return !stat.isEmpty() && !stat.mid(stat.lastIndexOf(')') + 2, 1).startsWith('Z');
}

const char kills[] = "interface='com.orvana.compositor.CompositorInterface'";
} // namespace

// A phone program that ends with the test, even when the test aborts.
class PhoneProgram : public QProcess
{
protected:
    void setupChildProcess() override { ::prctl(PR_SET_PDEATHSIG, SIGTERM); }
};

class AgentEndpoints : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        QVERIFY(startPhone());
        QVERIFY2(startAgent(), agent.log().constData());
        QVERIFY(QDir().mkpath(QString::fromUtf8(files() + "/fixture")));
        QFile fixture(QString::fromUtf8(files() + "/fixture/f.txt"));
        QVERIFY(fixture.open(QIODevice::WriteOnly) && fixture.write("content") == 7);
        // For the toast row, the first to ask: it goes out as UTF-8, whatever it holds.
        QCOMPARE(busCall("com.orvana.sim", QStringLiteral("/com/orvana/sim"), "com.orvana.sim.Control", "showToast",
                         {QStringLiteral("Lautstärke 你好")}).type(), QDBusMessage::ReplyMessage);
        // The home application is up: the screen's process list stays as it is.
        QTRY_VERIFY_WITH_TIMEOUT(screenCall("topWindowPid").toInt() > 0, 20000);
    }

    void cleanupTestCase()
    {
        agent.stop();
        endProcess(screen);
        endProcess(sim);
    }
    void init() { recorder->clear(); }

    void endpoint_data()
    {
        QTest::addColumn<QByteArrayList>("requests");
        QTest::addColumn<QStringList>("calls");
        QTest::addColumn<QByteArray>("type");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<int>("held");
        // The answer of the last request is checked, and the calls of all of them. A call or body that
        // begins with '~' is a pattern. A body comes as plain text unless another type is given. The
        // answers take at least "held" ms.
        auto row = [](const char* name, QByteArrayList requests, QStringList calls, const char* body = nullptr,
                      const char* type = "text", int held = 0) {
            QTest::newRow(name) << requests << calls << QByteArray(!body ? "" : strcmp(type, "text") ? type : text.constData()) << QByteArray(body) << held;
        };
        auto resource = [](const char* file) {
            QFile page(QFINDTESTDATA(QStringLiteral("../../zelvik_support_server/website/") + QLatin1String(file)));
            return page.open(QIODevice::ReadOnly) ? page.readAll() : QByteArray("missing");
        };
        auto in = [f = files()](const char* name) { return f + name; }; // a path in the test's folder

        row("toast", {"/getLatestToast"}, {call("getLatestToast")}, "Lautstärke 你好");
        // Not in the table: an empty 200 answer with nothing but the length, and no call.
        for (const char* request : {"/noSuchEndpoint", "POST /sendKeyEvent?value=65", "/GETDIMTIMEOUT", "/getDimTimeout/", "/upLoadFile",
                                    "PUT /getDimTimeout", "get /getDimTimeout", "/getDimTimeout%00"})
            row(request, {request}, {}, "", "");
        const QByteArray page = resource("index.html"), script = resource("main.js");
        row("page", {"/"}, {}, page.constData(), "");
        row("script", {"/main.js"}, {}, script.constData(), "");

        // Keys
        row("key click", {"/sendKeyEvent?value=65"}, click(65));
        row("key press", {"/sendKeyEventP?value=65&type=1"}, {key(51, 65), key(6, 65)});
        row("key type 2 is a release", {"/sendKeyEventP?value=65&type=2"}, {key(7, 65)});
        row("key without type is a release", {"/sendKeyEventP?value=9"}, {key(7, 9)});
        row("back", {"/sendBackKeyEvent"}, click(16777313));
        row("home", {"/sendHomeKeyEvent"}, click(16777232));
        row("menu", {"/sendMenuKeyEvent"}, click(16777301));
        row("negative delay waits nothing", {"/sendKeyEvent?value=1&delay=-5"}, click(1));
        row("key held", {"/sendKeyEvent?value=1&delay=500"}, click(1), nullptr, "", 500);
        row("power key held 3 s", {"/sendPowerKeyEvent?delay=3000"}, press(116), nullptr, "", 3000);
        row("uinput type passed on", {"/sendKeyEventPWithUInput?value=30&type=2"}, {uinput(2, 30)});
        row("uinput click", {"/sendKeyEventWithUInput?value=30"}, press(30));
        row("power", {"/sendPowerKeyEvent"}, press(116));
        row("volume up", {"/sendVolumeUpKeyEvent"}, press(115));
        row("volume down", {"/sendVolumeDownKeyEvent"}, press(114));

        // Touch, slide, text
        row("raw touch", {"/sendTouchEventPWithUInput?type=2&slot=1&id=3&x=5&y=6"}, {QStringLiteral("sendTouchEventWithUInput(int32 2, int32 1, int32 3, int32 5, int32 6)")});
        row("tap", {"/sendTouchEvent?points=100|200"}, {touch(1, 0, 100, 200), touch(0, 0, 100, 200)});
        row("tap held", {"/sendTouchEvent?points=1|2&delay=500"}, {touch(1, 0, 1, 2), touch(0, 0, 1, 2)}, nullptr, "", 500);
        row("two-finger tap", {"/sendTouchEvent?points=10|20,30|40"}, {touch(1, 0, 10, 20), touch(1, 1, 30, 40), touch(0, 0, 10, 20), touch(0, 1, 30, 40)});
        row("tap with trailing comma", {"/sendTouchEvent?points=100|200,"}, {touch(1, 0, 100, 0), touch(0, 0, 100, 0)});
        row("tap without separator", {"/sendTouchEvent?points=abc"}, {touch(1, 0, 0, 0), touch(0, 0, 0, 0)});
        row("tap without points", {"/sendTouchEvent"}, {touch(1, 0, 0, 0), touch(0, 0, 0, 0)});
        row("one-pixel slide", {"/sendSlideEvent?sliders=0|0->1|0"}, {touch(1, 0, 0, 0), touch(2, 0, 0, 0), touch(0, 0, 1, 0)});
        const QStringList backwards = {touch(1, 0, 5, 0), touch(2, 0, 4, 0), touch(2, 0, 3, 0), touch(2, 0, 2, 0), touch(2, 0, 1, 0), touch(0, 0, 0, 0)};
        row("slide backwards", {"/sendSlideEvent?sliders=5|0->0|0"}, backwards);
        row("slide without arrow", {"/sendSlideEvent?sliders=5|0"}, backwards);
        row("fractions: integers for press and release", {"/sendSlideEvent?sliders=0|0->2.5|0"}, {touch(1, 0, 0, 0), touch(2, 0, 1, 0), touch(0, 0, 0, 0)});
        const QStringList still = {touch(1, 0, 0, 0), touch(2, 0, 0, 0), touch(0, 0, 0, 0)};
        row("empty sliders", {"/sendSlideEvent"}, still);
        row("slide not a number", {"/sendSlideEvent?sliders=nan|0->0|0"}, still);
        row("slide past the int range", {"/sendSlideEvent?sliders=0|0->0|-1e300"}, QStringList{touch(1, 0, 0, 0)} + QVector<QString>(29, touch(2, 0, 0, -2147483647 - 1)).toList() << touch(0, 0, 0, 0));
        // 100 px takes 30 steps; next to a 10 px slide a 200 px one takes 10.
        QStringList long30{touch(1, 0, 0, 0)};
        for (int step = 1; step < 30; ++step)
            long30 << touch(2, 0, int(step * 100 / 30.0), 0);
        row("30 steps at most", {"/sendSlideEvent?sliders=0|0->100|0"}, long30 << touch(0, 0, 100, 0));
        QStringList two{touch(1, 0, 0, 0), touch(1, 1, 0, 0)};
        for (int k = 1; k < 10; ++k)
            two << touch(2, 0, k, 0) << touch(2, 1, 0, 20 * k);
        row("the shortest slide sets the steps", {"/sendSlideEvent?sliders=0|0->10|0,0|0->0|200"}, two << touch(0, 0, 10, 0) << touch(0, 1, 0, 200));
        row("commit string", {"/sendCommitString?str=%E4%BD%A0%E5%A5%BD%26+x"}, {QStringLiteral("emitSendCommitString(string \"你好& x\")")});

        // Applications
        row("launch", {"/launchApp?sopid=com.orvana.demo.list&uiappid=list"}, {call("sendAppData", QStringLiteral("string \"PowerLaunchRunApp\t%1\tcom.orvana.demo.list\tlist\t\"").arg(getuid()))});
        row("quit", {"/quitApp?sopid=com.orvana.demo.list&uiappid=list"}, {call("quitApps", str("com.orvana.demo.list/list"))});
        row("running", {"/appIsRunning?sopid=com.orvana.home"}, {call("processList"), QStringLiteral("~sopidByPid\\(int32 \\d+\\)")}, "1");
        row("installed", {"/isAppInstalled?sopid=com.orvana.demo.form"}, {call("isPackageInstalled", str("com.orvana.demo.form"))}, "1");
        row("not installed", {"/isAppInstalled?sopid=com.orvana.nothing"}, {call("isPackageInstalled", str("com.orvana.nothing"))}, "0");
        row("built-in", {"/isAppUninstallable?sopid=com.orvana.home"}, {call("isPackageUninstallable", str("com.orvana.home"))}, "0");
        row("uninstallable", {"/isAppUninstallable?sopid=com.orvana.demo.form"}, {call("isPackageUninstallable", str("com.orvana.demo.form"))}, "1");
        row("install replaces", {"/install?filepath=/none.opk"}, {call("install", "string \"/none.opk\", boolean true")});
        row("uninstall refused", {"/uninstall?sopid=com.orvana.home"}, {call("uninstall", str("com.orvana.home"))}, "0");
        row("clear data", {"/clearAppData?sopid=com.orvana.demo.form"}, {call("clearAppData", str("com.orvana.demo.form"))});

        // Display, lock, password, system facts; states are passed on whatever their range, the phone refuses them.
        row("display off", {"/setDisplayState?state=0", "/getDisplayState"}, {call("setDisplayState", "int32 0"), call("displayState")}, "0");
        row("locked", {"/setLockState?state=1", "/getLockState"}, {call("setScreenState", "int32 1"), call("screenState")}, "1");
        row("display on, then out of range", {"/setDisplayState?state=1", "/setDisplayState?state=7", "/getDisplayState"}, {call("setDisplayState", "int32 1"), call("setDisplayState", "int32 7"), call("displayState")}, "1");
        row("unlocked, then out of range", {"/setLockState?state=0", "/setLockState?state=-3", "/getLockState"}, {call("setScreenState", "int32 0"), call("setScreenState", "int32 -3"), call("screenState")}, "0");
        row("password type out of range", {"/setPassword?password=s3cr3t&type=9"}, {call("setPassword", "string \"s3cr3t\", int32 9")}, "3");
        row("password refused", {"/setPassword?password=s3cr3t&type=0"}, {call("setPassword", "string \"s3cr3t\", int32 0")}, "4");
        row("password set", {"/setPassword?password=s3cr3t&type=1", "/passwordExists"}, {call("setPassword", "string \"s3cr3t\", int32 1"), call("passwordExists")}, "1");
        row("os version", {"/getOsVersion"}, {call("osVersion")}, "3.0.0-sim");
        row("blank timeout without type", {"/setBlankTimeout?sec=45", "/getBlankTimeout"}, {call("setBlankTimeout", "int32 45"), call("blankTimeout")}, "45", "");
        row("dim timeout", {"/setDimTimeout?sec=15", "/getDimTimeout"}, {call("setDimTimeout", "int32 15"), call("dimTimeout")}, "15");

        // Files: the compositor's answer as 0/1, the listing as it came
        row("exists", {"/checkFileExist?filename=" + in("/fixture/f.txt")}, {call("fileExist", str(in("/fixture/f.txt")))}, "1");
        row("does not exist", {"/checkFileExist?filename=" + in("/none")}, {call("fileExist", str(in("/none")))}, "0");
        row("no file name", {"/checkFileExist"}, {call("fileExist", str(""))}, "0");
        row("mkdir", {"/mkdir?dirname=" + in("/new/a")}, {call("mkdir", str(in("/new/a")))}, "1");
        row("copy, move, remove", {"/fileCopy?source=" + in("/fixture/f.txt&target=") + in("/g.txt"), "/fileMove?source=" + in("/g.txt&target=") + in("/h.txt"),
            "/fileRemove?filename=" + in("/h.txt")}, {call("fileCopy", str(in("/fixture/f.txt"), in("/g.txt"))),
            call("fileMove", str(in("/g.txt"), in("/h.txt"))), call("fileRemove", str(in("/h.txt")))}, "1");
        row("move nothing", {"/fileMove?source=" + in("/none&target=") + in("/i.txt")}, {call("fileMove", str(in("/none"), in("/i.txt")))}, "0");
        row("remove nothing", {"/fileRemove?filename=" + in("/none")}, {call("fileRemove", str(in("/none")))}, "0");
        row("list", {"/dirList?dirname=" + in("/fixture")}, {call("dirList", str(in("/fixture")))}, "f.txt\n");
        row("list nothing", {"/dirList?dirname=" + in("/none")}, {call("dirList", str(in("/none")))}, "");
        row("copy and remove a folder", {"/dirCopy?source=" + in("/fixture&target=") + in("/c"), "/dirRemove?dirname=" + in("/c")}, {call("dirCopy", str(in("/fixture"), in("/c"))), call("dirRemove", str(in("/c")))}, "1");
        row("remove no folder", {"/dirRemove?dirname=" + in("/none")}, {call("dirRemove", str(in("/none")))}, "0");

        // Rotation and sensors
        const QString rotation = str("com.orvana.settings.rotationAllowed", "group") + QStringLiteral(", string \"SYSTEM_ROTATIONALLOWED\"");
        auto allow = [&](const char* allowed) { return call("setConfigValue", rotation + ", variant boolean " + allowed); };
        row("rotation allowed -1", {"/setRotationAllowed?allowed=-1", "/getRotationAllowed"}, {allow("true"), call("configValue", rotation)}, "1");
        row("rotation allowed missing", {"/setRotationAllowed", "/getRotationAllowed"}, {allow("false"), call("configValue", rotation)}, "0");
        row("landscape", {"/setRotationAllowed?allowed=1", "/sendOrientationEvent?orientation=2", "/getScreenOrientation"}, {allow("true"), call("sendOrientationEvent", "int32 2"), call("getScreenOrientation")}, "4");
        row("ambient light", {"/sendAmbientLightEvent?lux=250"}, {call("sendAmbientLightEvent", "int32 250")});
        row("near", {"/sendProximityEvent?withinProximity=7"}, {call("sendProximityEvent", "boolean true")});
        row("far", {"/sendProximityEvent"}, {call("sendProximityEvent", "boolean false")});
        for (const char* sensor : {"recoverOrientationSensor", "recoverAmbientLightSensor", "recoverProximitySensor"})
            row(sensor, {QByteArray("/") + sensor}, {call(sensor)});

        // Clock, panel
        row("now", {"/getDatetime"}, {}, "~\\d{10,}");
        row("set the clock", {"/setDatetime?datetime=1700000000"}, {call("setTime", "int64 1700000000000")});
        row("clock without value", {"/setDatetime"}, {call("setTime", "int64 0")});
        row("clock before 1970", {"/setDatetime?datetime=-5"}, {call("setTime", "int64 -5000")});
        row("clock past the bound", {"/setDatetime?datetime=9223372036854775807"}, {call("setTime", "int64 9223372036854775000")});
        row("auto time on", {"/setAutoDatetime?state=1", "/getAutoDatetime"}, {call("setAutoSystemTime", "int32 1"), call("autoSystemTime")}, "1");
        row("auto time state 2 is off", {"/setAutoDatetime?state=2", "/getAutoDatetime"}, {call("setAutoSystemTime", "int32 0"), call("autoSystemTime")}, "0");
        row("panel always opened", {"/setPanelState?state=0", "/getPanelState"}, {call("setPanelState", "int32 1, boolean true"), call("getPanelState", "int32 1")}, "1");

        // Audio
        row("volume", {"/setVolume?type=1&volume=7", "/getVolume?type=1"}, {call("setVolume", "int32 1, int32 7"), call("volume", "int32 1")}, "7");
        row("volume without type", {"/setVolume?volume=5", "/getVolume"}, {call("setVolume", "int32 0, int32 5"), call("volume", "int32 0")}, "5");
        row("volume step", {"/setVolumeByStep?type=2&step=3", "/getVolumeByStep?type=2"}, {call("setVolumeByStep", "int32 2, int32 3"), call("volumeByStep", "int32 2")}, "3");
        row("volume steps", {"/getVolumeSteps"}, {call("volumeSteps")}, "15");
        row("active role", {"/getVolumeActiveRole"}, {call("volumeActiveRole")}, "2");
        row("output port", {"/setAudioOutputPort?type=2", "/getAudioOutputPort?type=9"}, {call("setAudioOutputPort", "int32 2"), call("audioOutputPort")}, "2");
        row("input port", {"/setAudioInputPort?type=1", "/getAudioInputPort"}, {call("setAudioInputPort", "int32 1"), call("audioInputPort")}, "1");
        row("auto brightness 2", {"/setAutoBrightness?enable=2", "/getAutoBrightness"}, {call("setAmbientLightSensorEnabled", "boolean true"), call("ambientLightSensorEnabled")}, "1");
        row("auto brightness missing", {"/setAutoBrightness", "/getAutoBrightness"}, {call("setAmbientLightSensorEnabled", "boolean false"), call("ambientLightSensorEnabled")}, "0");
        row("network", {"/isNetworkAvailable"}, {call("isNetworkAvailable")}, "~[01]");
    }

    void endpoint()
    {
        QFETCH(QByteArrayList, requests);
        QFETCH(QStringList, calls);
        QFETCH(QByteArray, type);
        QFETCH(QByteArray, body);
        QFETCH(int, held);
        // A coarse timer of 2 s or more may be moved up to 5% early onto a full second of the
        // monotonic clock: starting just after one makes such a wait end early every time.
        while (held && (msInSecond() < 80 || msInSecond() > 95))
            QThread::msleep(1);
        QElapsedTimer timer;
        timer.start();
        HttpAnswer answer;
        for (const QByteArray& request : requests) {
            answer = send(request);
            QVERIFY2(answer.ok && answer.status == 200, request.constData());
        }
        QVERIFY2(timer.elapsed() >= held, qPrintable(QStringLiteral("answered after %1 ms").arg(timer.elapsed())));
        const QStringList seen = recorder->calls();
        QVERIFY2(seen.size() == calls.size(), qPrintable(seen.join(QLatin1String(" | "))));
        for (int i = 0; i < calls.size(); ++i)
            QVERIFY2(calls[i].startsWith('~') ? matches(calls[i].mid(1), seen[i]) : seen[i] == calls[i], qPrintable(seen[i] + " != " + calls[i]));
        QCOMPARE(answer.header("Content-Type"), type);
        QCOMPARE(answer.hasHeader("Content-Type"), !type.isEmpty());
        if (body.startsWith('~'))
            QVERIFY2(matches(QString::fromUtf8(body.mid(1)), QString::fromLatin1(answer.body)), answer.body.constData());
        else
            QCOMPARE(answer.body, body);
        QCOMPARE(answer.header("Content-Length"), QByteArray::number(answer.body.size()));
    }

    void screenRefusesUnknownApplications_data()
    {
        QTest::addColumn<QString>("sopid");
        QTest::addColumn<QString>("uiappid");
        QTest::newRow("unknown package") << "com.orvana.nothing" << "form";
        QTest::newRow("unknown application") << "com.orvana.demo.form" << "nothing";
        QTest::newRow("empty") << "" << "";
        QTest::newRow("path in sopid") << "../packages/com.orvana.demo.form" << "form";
    }

    void screenRefusesUnknownApplications()
    {
        QFETCH(QString, sopid);
        QFETCH(QString, uiappid);
        const QList<int> before = processList();
        QVERIFY(!screenCall("launch", {sopid, uiappid, QStringList(), uint(0)}).toBool());
        QCOMPARE(processList(), before);
        QVERIFY(!quit(sopid + QLatin1Char('/') + uiappid));
        QFile log(root() + QStringLiteral("/data/log/message"));
        QVERIFY(log.open(QIODevice::ReadOnly) && log.readAll().contains(QStringLiteral("launch %1/%2 refused").arg(sopid, uiappid).toUtf8()));
    }

    void screenSurvivesBadInput()
    {
        const int top = screenCall("topWindowPid").toInt();
        // A move and a release of contacts that are not down, no such type, slots out of range.
        for (const QVariantList& touch : QList<QVariantList>{{2, 3, 3, 10, 10}, {0, 5, 5, 10, 10}, {7, 0, 0, 10, 10}, {1, 100000, 0, 1, 1}, {1, -1, 0, -50, 99999}})
            screenCall("sendTouch", touch);
        screenCall("sendKey", {1, 99999});
        screenCall("sendKey", {9, 30});
        screenCall("sendKeyEvent", {12345, 65, 0, QString(), false});
        QVERIFY(!quit(QStringLiteral("no-slash")) && !quit(QStringLiteral("/")));
        QCOMPARE(screenCall("sopidByPid", {-1}).toString(), QString());
        QCOMPARE(screenCall("topWindowPid").toInt(), top);
        QVERIFY(!QImage::fromData(screenCall("screenImage").toByteArray(), "PNG").isNull());
    }

    void upload_data()
    {
        QTest::addColumn<QByteArray>("part");
        QTest::addColumn<QByteArray>("target");
        QTest::addColumn<bool>("existing");
        QTest::addColumn<QByteArray>("answer");
        const QByteArray file = "Content-Disposition: form-data; name=\"file\"; filename=\"f.bin\"\r\n\r\n";
        const QByteArray target = root().toUtf8() + "/uploaded.bin";
        QByteArray binary(1000, Qt::Uninitialized);
        for (int i = 0; i < binary.size(); ++i)
            binary[i] = char(i * 7);
        QTest::newRow("small") << file + binary << target << false << QByteArray("1");
        QTest::newRow("empty") << file << target << false << QByteArray("1");
        QTest::newRow("replaces an existing file") << file + "new" << target << true << QByteArray("1");
        QTest::newRow("no FileName header") << file + "x" << QByteArray() << false << QByteArray("0");
        QTest::newRow("target folder missing") << file + "x" << root().toUtf8() + "/no/such/dir/x" << false << QByteArray("0");
        QTest::newRow("other field name") << QByteArray("Content-Disposition: form-data; name=\"other\"; filename=\"f\"\r\n\r\nx") << target << false << QByteArray("0");
        QTest::newRow("form field only") << QByteArray("Content-Disposition: form-data; name=\"file\"\r\n\r\nx") << target << false << QByteArray("0");
        QTest::newRow("not multipart") << QByteArray() << target << false << QByteArray("0");
    }

    // The file lands at the path named in "FileName", readable and executable by all, replacing what
    // was there; without a file field nothing is asked of the compositor. Nothing stays behind in
    // the agent's temporary folder.
    void upload()
    {
        QFETCH(QByteArray, part);
        QFETCH(QByteArray, target);
        QFETCH(bool, existing);
        QFETCH(QByteArray, answer);
        QFile old(QString::fromUtf8(target));
        old.remove();
        QVERIFY(!existing || (old.open(QIODevice::WriteOnly) && old.write("old content that is longer than the new one") > 0));
        old.close();
        Headers headers{{"Content-Type", part.isEmpty() ? "application/x-www-form-urlencoded" : "multipart/form-data; boundary=b0undary"}};
        if (!target.isEmpty())
            headers.append({"FileName", target});
        const QByteArray body = part.isEmpty() ? QByteArray("file=x") : "--b0undary\r\n" + part + "\r\n--b0undary--\r\n";
        const HttpAnswer reply = HttpClient::request("POST", "/upLoadFile", headers, body);
        QCOMPARE(reply.status, 200);
        QCOMPARE(reply.body, answer);
        QVERIFY(!reply.hasHeader("Content-Type"));
        QStringList calls = recorder->calls();
        const QString temp = root() + QStringLiteral("/data/home/user/com.orvana.zelvikSupport/temp");
        // A multipart body first has the compositor make the temporary folder.
        if (!part.isEmpty())
            QCOMPARE(calls.takeFirst(), call("mkdir", str(temp.toUtf8())));
        if (part.contains("name=\"file\"; filename")) {
            QCOMPARE(calls.value(0), call("fileExist", str(target)));
            QCOMPARE(calls.size(), existing ? 3 : 2);
            if (existing)
                QCOMPARE(calls.at(1), call("fileRemove", str(target)));
            QVERIFY2(matches(QStringLiteral("fileMove\\(string \"%1/[^\"]+\", %2\\)").arg(QRegularExpression::escape(temp), QRegularExpression::escape(str(target))),
                             calls.last()), qPrintable(calls.last()));
        } else {
            QCOMPARE(calls, QStringList());
        }
        if (answer == "1") {
            QVERIFY(old.open(QIODevice::ReadOnly));
            QCOMPARE(old.readAll(), part.mid(part.indexOf("\r\n\r\n") + 4));
            QVERIFY(old.permissions() & QFileDevice::ExeOther);
        }
        // The request's temporary file goes once the answer is out; a slow (emulated) agent takes a moment.
        QVERIFY(waitUntil([&] { return QDir(temp).entryList(QDir::Files | QDir::Hidden | QDir::System).isEmpty(); }, 5000));
    }

    // Start-up names both compositor interfaces; every request logs its path and its parameters,
    // a password masked; the application launcher's reply is logged.
    void logLines()
    {
        // Lines reach the file from a writer thread, a moment after they were logged. The agent's own
        // begin with the writing function's signature.
        QVERIFY(waitUntil([&] { return agent.log().count("dbus interface connected") == 2; }, 5000));
        const auto beginsLine = [&](const char* pattern) {
            return QRegularExpression(QString::fromLatin1(pattern), QRegularExpression::MultilineOption).match(QString::fromUtf8(agent.log())).hasMatch();
        };
        QVERIFY(beginsLine("^zelvik_support_server_Workspace::zelvik_support_server_Workspace\\(\\) port in use: false$"));
        QVERIFY(agent.log().contains("own pid: " + QByteArray::number(agent.pid())));
        HttpClient::get("/setPassword?password=hidden-value&type=0");
        HttpClient::get("/launchApp?sopid=com.orvana.nothing&uiappid=x");
        QVERIFY(waitUntil([&] { return agent.log().contains("Replay is ok::  false"); }, 5000));
        QVERIFY(!agent.log().contains("hidden-value"));
        // GCC writes "T&", clang (the sanitizer build) "T &".
        QVERIFY(beginsLine("^(virtual )?void UIMonitor::service\\(tarsel::HttpRequest ?&, tarsel::HttpResponse ?&\\) \"/setPassword\"$"));
        QVERIFY2(agent.log().contains("(\"password\", \"***\")") && agent.log().contains("(\"type\", \"0\")"), agent.log().constData());
        HttpClient::get("/launchApp?sopid=com.orvana.demo.list&uiappid=list");
        QVERIFY(waitUntil([&] { return agent.log().contains("Replay is ok::  true"); }, 5000));
    }

    void wifi_data()
    {
        QTest::addColumn<QByteArray>("query");
        QTest::addColumn<QByteArray>("answer");
        QTest::addColumn<QStringList>("online");
        QTest::newRow("open network") << QByteArray("ssid=Orvana-Open") << QByteArray("1") << QStringList{"Orvana-Open"};
        QTest::newRow("duplicate names: the first") << QByteArray("ssid=Orvana-Guest") << QByteArray("1") << QStringList{"Orvana-Guest"};
        QTest::newRow("not Wi-Fi but same name") << QByteArray("ssid=Wired") << QByteArray("1") << QStringList{"Wired"};
        QTest::newRow("empty ssid: the nameless one") << QByteArray("ssid=") << QByteArray("1") << QStringList{""};
        QTest::newRow("negative timeout") << QByteArray("ssid=Orvana-Open&timeout=-5") << QByteArray("0") << QStringList();
        QTest::newRow("case differs") << QByteArray("ssid=orvana-open&timeout=2") << QByteArray("0") << QStringList();
    }

    // Wi-Fi is powered, the services are listed and the first of that name is connected.
    void wifi()
    {
        QFETCH(QByteArray, query);
        QFETCH(QByteArray, answer);
        QFETCH(QStringList, online);
        QElapsedTimer timer;
        timer.start();
        const HttpAnswer reply = HttpClient::get("/connectOpenWiFi?" + query);
        QCOMPARE(reply.header("Content-Type"), text);
        QCOMPARE(reply.body, answer);
        QVERIFY(timer.elapsed() < 5000 && (!query.contains("timeout=2") || timer.elapsed() >= 1000));
        const QStringList calls = recorder->calls();
        QCOMPARE(calls.value(0), QStringLiteral("SetProperty(string \"Powered\", variant boolean true)"));
        QCOMPARE(calls.contains(call("GetServices")), !query.contains("timeout=-"));
        QCOMPARE(calls.last() == call("Connect"), !online.isEmpty());
        // Only the service asked for is online; a second one of the same name stays idle.
        QStringList seen;
        const QDBusArgument services = busCall("net.connman", QStringLiteral("/"), "net.connman.Manager", "GetServices").arguments().value(0).value<QDBusArgument>();
        services.beginArray();
        while (!services.atEnd()) {
            QDBusObjectPath path;
            QVariantMap properties;
            services.beginStructure();
            services >> path >> properties;
            services.endStructure();
            if (properties.value(QStringLiteral("State")) == QLatin1String("online"))
                seen << properties.value(QStringLiteral("Name")).toString();
            busCall("net.connman", path.path(), "net.connman.Service", "Disconnect"); // idle again for the next row
        }
        services.endArray();
        QCOMPARE(seen, online);
    }

    void brightness_data()
    {
        QTest::addColumn<QString>("backlights");
        QTest::addColumn<QStringList>("devices");
        QTest::newRow("one device") << QString() << QStringList{"panel"};
        QTest::newRow("none") << QStringLiteral("none") << QStringList();
        QTest::newRow("two devices") << QStringLiteral("b:100,a:255") << QStringList{"a", "b"};
        // A name that is no plain folder name, or a maximum that is no positive number, makes no device.
        QTest::newRow("bad names") << QStringLiteral("x,../y:5,c:7,d:-1") << QStringList{"c"};
    }

    // Brightness through the kernel's files of the first device in directory order with both of
    // them, for each backlight set-up the simulated phone can make. Accepted values answer the
    // number of digits written and land in the file alone; refused ones answer "0".
    void brightness()
    {
        QFETCH(QString, backlights);
        QFETCH(QStringList, devices);
        agent.stop();
        endProcess(sim);
        // The simulated phone makes its devices afresh.
        const QDir dir(root() + QStringLiteral("/sys/class/backlight/"));
        QVERIFY(QDir(dir).removeRecursively());
        QVERIFY(startPhone(backlights));
        QVERIFY2(startAgent(), agent.log().constData());
        QCOMPARE(dir.entryList(QDir::Dirs | QDir::NoDotAndDotDot), devices);
        QVERIFY(!QFileInfo::exists(dir.filePath(QStringLiteral("../y"))));
        QString device;
        for (const QString& entry : dir.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Unsorted)) {
            const QDir candidate(dir.filePath(entry));
            if (device.isEmpty() && candidate.exists(QStringLiteral("brightness")) && candidate.exists(QStringLiteral("max_brightness")))
                device = dir.filePath(entry);
        }
        QCOMPARE(device.isEmpty(), devices.isEmpty());
        auto read = [&](const char* name) {
            QFile file(device + QLatin1Char('/') + QLatin1String(name));
            return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
        };
        const int maximum = device.isEmpty() ? -1 : read("max_brightness").trimmed().toInt();
        QCOMPARE(HttpClient::get("/maxBrightness").body, QByteArray::number(maximum));
        const QList<QPair<QByteArray, int>> values = {{"brightness=0", 0}, {"brightness=42", 42}, {"brightness=100", 100},
            {"brightness=" + QByteArray::number(maximum), maximum}, {"brightness=" + QByteArray::number(maximum + 1), maximum + 1},
            {"brightness=-5", -5}, {"", 0}, {"brightness=bright", 0}};
        for (const auto& value : values) {
            const QByteArray before = read("brightness");
            const HttpAnswer answer = HttpClient::get("/setBrightness?" + value.first);
            QCOMPARE(answer.header("Content-Type"), text);
            const bool accepted = !device.isEmpty() && value.second >= 0 && value.second <= maximum;
            QCOMPARE(answer.body, accepted ? QByteArray::number(QByteArray::number(value.second).size()) : "0");
            QCOMPARE(read("brightness"), accepted ? QByteArray::number(value.second) : before);
            QCOMPARE(HttpClient::get("/getBrightness").body, device.isEmpty() ? QByteArray("-1") : read("brightness").trimmed());
        }
        if (device.isEmpty())
            return;
        // The kernel's line end is not part of the number.
        QFile file(device + QStringLiteral("/brightness"));
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write("128\n") == 4);
        file.close();
        QCOMPARE(HttpClient::get("/getBrightness").body, QByteArray("128"));
        // Sets and gets on the one shared file object from many connections at once.
        QAtomicInt bad;
        QThreadPool pool;
        pool.setMaxThreadCount(8);
        for (int t = 0; t < 8; ++t) {
            QtConcurrent::run(&pool, [&bad, t, maximum] {
                for (int i = 0; i < 25; ++i) {
                    const QByteArray set = HttpClient::get("/setBrightness?brightness=" + QByteArray::number((t * 25 + i) % (maximum + 1))).body;
                    const int got = HttpClient::get("/getBrightness").body.toInt();
                    if (set.isEmpty() || set == "0" || set == "-1" || got < 0 || got > maximum)
                        bad.ref();
                }
            });
        }
        pool.waitForDone();
        QCOMPARE(bad.loadAcquire(), 0);
    }

    // The screen gone, then the compositor gone: the fixed answers. Then a phone whose facts hold
    // what the usual one does not: a serial number and an OS version beyond ASCII, an automatic-time
    // state that is neither on nor off, another active volume role.
    void phoneServicesGone()
    {
        const QList<QPair<QByteArray, QByteArray>> expected = {
            {"/getLayoutXML", "<?xml version=\"1.0\" encoding=\"UTF-8\" ?><root createTime=\"\" sopId=\"\" uiAppId=\"\"></root>"},
            {"/getScreenShot", ",0,0"}, {"/grabImage?x=1&y=1&w=5&h=5&s=1", ""}, {"without the compositor", ""},
            {"/getPanelState", "0"}, {"/getLatestToast", ""}, {"/getScreenOrientation", "0"}, {"/checkFileExist?filename=/", "0"},
            {"/dirList?dirname=/", ""}, {"/sendKeyEvent?value=1", ""}};
        endProcess(screen);
        for (const auto& pair : expected) {
            if (!pair.first.startsWith('/')) {
                endProcess(sim);
                continue;
            }
            const HttpAnswer answer = HttpClient::get(pair.first);
            QVERIFY2(answer.ok, pair.first.constData());
            QCOMPARE(answer.body, pair.second);
            QCOMPARE(answer.header("Content-Type"), pair.first.startsWith("/send") ? QByteArray() : text);
        }

        QFile state(root() + QStringLiteral("/data/sim/state.json"));
        QVERIFY(state.open(QIODevice::ReadWrite));
        QJsonObject values = QJsonDocument::fromJson(state.readAll()).object();
        values.insert(QStringLiteral("autoSystemTime"), 2);
        values.insert(QStringLiteral("deviceId"), QStringLiteral("Gerät-€"));
        values.insert(QStringLiteral("osVersion"), QStringLiteral("3.0.0-ß"));
        values.insert(QStringLiteral("volumeActiveRole"), 3);
        state.resize(0);
        state.write(QJsonDocument(values).toJson());
        state.close();
        QVERIFY(startPhone());
        QCOMPARE(HttpClient::get("/getAutoDatetime").body, QByteArray("-1"));
        QCOMPARE(HttpClient::get("/getVolumeActiveRole").body, QByteArray("3"));
        const HttpAnswer serial = HttpClient::get("/getSerialNumber");
        QCOMPARE(serial.header("Content-Type"), text);
        QCOMPARE(serial.body, QByteArray("Ger\xe4t-?"));
        QCOMPARE(HttpClient::get("/getOsVersion").body, QByteArray("3.0.0-\xdf"));
    }

    void firstStartWritesSettings()
    {
        QVERIFY(withoutAgent());
        CallRecorder recorder{QLatin1String(kills)};
        QVERIFY(recorder.start());
        AgentProcess started;
        QVERIFY2(started.start(), started.log().constData());
        // The port may answer while the agent probes it, before it has stored its id.
        QTRY_COMPARE_WITH_TIMEOUT(stored("selfPid").toLongLong(), started.pid(), 10000);
        QTRY_COMPARE_WITH_TIMEOUT(stored("listener/port").toInt(), 10008, 5000);
        const QList<QPair<const char*, int>> listener = {{"listener/minThreads", 4}, {"listener/maxThreads", 100},
            {"listener/cleanupInterval", 60000}, {"listener/readTimeout", 60000}, {"listener/maxRequestSize", 16000},
            {"listener/maxMultiPartSize", 2147483647}};
        for (const auto& entry : listener)
            QCOMPARE(stored(entry.first).toInt(), entry.second);
        QCOMPARE(stored("listener/path").toString(), QStringLiteral(":/website/"));
        QVERIFY(!stored("listener/host").isValid());
        QCOMPARE(HttpClient::get("/getDimTimeout").status, 200);
        QCOMPARE(recorder.calls(), QStringList());
    }

    void secondStartReplacesTheFirst()
    {
        QVERIFY(withoutAgent());
        AgentProcess first;
        QVERIFY2(first.start(), first.log().constData());
        CallRecorder recorder{QLatin1String(kills)};
        QVERIFY(recorder.start());
        AgentProcess second;
        QVERIFY2(second.start(), second.log().constData());
        // start() returns as soon as the port answers, which the first agent still does.
        QTRY_COMPARE_WITH_TIMEOUT(recorder.calls(), QStringList{QStringLiteral("killProcessesByPid(int32 %1)").arg(first.pid())}, 10000);
        QTRY_VERIFY_WITH_TIMEOUT(!alive(first.pid()), 5000);
        // The second stores its id and listens once the compositor's kill has returned, a moment after the first is gone.
        QTRY_COMPARE_WITH_TIMEOUT(stored("selfPid").toLongLong(), second.pid(), 5000);
        QTRY_COMPARE_WITH_TIMEOUT(HttpClient::get("/getDimTimeout").status, 200, 10000);
    }

    void switchOffEndsWithCodeZero()
    {
        QVERIFY(withoutAgent());
        store("listener/port", 1234);
        QVERIFY(setSwitch(false));
        AgentProcess started;
        QVERIFY(started.launch());
        QCOMPARE(started.waitForExit(10000), 0);
        QCOMPARE(stored("selfPid").toLongLong(), started.pid());
        QCOMPARE(stored("listener/port").toInt(), 1234);
        QVERIFY(!AgentProcess::portAnswers(10008));
    }

    // The port is taken by someone else and "selfPid" names an unrelated process: the compositor
    // refuses to kill it, and the agent runs on without HTTP service.
    void stalePidOfAnotherProcessSurvives()
    {
        QVERIFY(withoutAgent());
        QProcess bystander;
        bystander.start(QStringLiteral("sleep"), {QStringLiteral("30")});
        QVERIFY(bystander.waitForStarted());
        store("selfPid", bystander.processId());
        QTcpServer holder;
        QVERIFY(holder.listen(QHostAddress::Any, 10008));
        AgentProcess started;
        QVERIFY(started.launch());
        QTRY_VERIFY_WITH_TIMEOUT(started.log().contains("Cannot bind on port 10008"), 10000);
        QVERIFY(alive(bystander.processId()));
        QCOMPARE(stored("selfPid").toLongLong(), started.pid());
        started.stop();
        bystander.kill();
        bystander.waitForFinished();
    }

private:
    bool startProgram(QProcess& process, const char* name, const QString& busName)
    {
        if (process.state() != QProcess::NotRunning)
            return true;
        process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process.setStandardOutputFile(QProcess::nullDevice());
        process.start(AgentProcess::binary(QString::fromLatin1(name)), QStringList());
        return process.waitForStarted(5000) && waitUntil([&] { return registered(busName); });
    }

    // Starts what is not running; the switch is set on.
    bool startPhone(const QString& backlights = QString())
    {
        QStringList environment = QProcess::systemEnvironment();
        if (!backlights.isEmpty())
            environment << QStringLiteral("ORVANA_SIM_BACKLIGHTS=") + backlights;
        sim.setEnvironment(environment);
        return startProgram(sim, "orvana-sim", QStringLiteral("com.orvana.compositor"))
            && startProgram(screen, "orvana-screen", QStringLiteral("com.orvana.sim.Screen")) && setSwitch(true);
    }

    // The agent, and a recorder of its own calls: its connection is the one owned by its process.
    bool startAgent()
    {
        if (!agent.start())
            return false;
        QString sender;
        QDBusConnectionInterface* bus = QDBusConnection::systemBus().interface();
        for (const QString& name : bus->registeredServiceNames().value()) {
            if (name.startsWith(QLatin1Char(':')) && bus->servicePid(name).value() == uint(agent.pid()))
                sender = name;
        }
        recorder.reset(new CallRecorder(QStringLiteral("sender='%1'").arg(sender)));
        return !sender.isEmpty() && recorder->start();
    }

    // The start-up tests begin without an agent, with no settings and the switch on.
    bool withoutAgent()
    {
        agent.stop();
        QSettings(QStringLiteral("orvana"), QStringLiteral("zelvik_support")).clear();
        return setSwitch(true);
    }

    PhoneProgram sim;
    PhoneProgram screen;
    AgentProcess agent;
    QScopedPointer<CallRecorder> recorder;
};
QTEST_GUILESS_MAIN(AgentEndpoints)
#include "tst_agent_endpoints.moc"
