// Device state, applications, files and Wi-Fi through the agent, against the simulated phone.
#include "agentprocess.h"
#include "connmanobject.h"
#include "httpclient.h"

#include <QDBusConnection>
#include <QDBusInterface>
#include <QDBusMetaType>
#include <QDBusReply>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QtTest>

namespace {
QByteArray body(const QByteArray& target)
{
    return HttpClient::get(target).body;
}

QString deviceRoot()
{
    return qEnvironmentVariable("ORVANA_DEVICE_ROOT");
}

// The ConnMan state of the simulated networks: object path → "State".
QMap<QString, QString> serviceStates()
{
    QDBusInterface manager(QStringLiteral("net.connman"), QStringLiteral("/"), QStringLiteral("net.connman.Manager"),
                           QDBusConnection::systemBus());
    const QDBusReply<ConnmanObjectList> reply = manager.call(QStringLiteral("GetServices"));
    QMap<QString, QString> states;
    for (const ConnmanObject& object : reply.value())
        states.insert(object.properties.value(QStringLiteral("Name")).toString() + QLatin1Char('@')
                          + object.objpath.path(),
                      object.properties.value(QStringLiteral("State")).toString());
    return states;
}

QStringList onlineServices()
{
    QStringList online;
    const QMap<QString, QString> states = serviceStates();
    for (auto it = states.begin(); it != states.end(); ++it) {
        if (it.value() == QLatin1String("online"))
            online << it.key().section(QLatin1Char('@'), 0, 0);
    }
    return online;
}

bool waitForBody(const QByteArray& target, const QByteArray& expected, int timeoutMs = 8000)
{
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < timeoutMs) {
        if (body(target) == expected)
            return true;
        QThread::msleep(100);
    }
    return false;
}
} // namespace

class AgentDevice : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void roundTrip_data();
    void roundTrip();
    void systemFactsAreLatin1Text();
    void passwordIsSetAndNotLogged();
    void volumeKeyShowsAToast();
    void applications();
    void installLaunchUninstall();
    void clearAppData();
    void fileEndpoints();
    void wifi_data();
    void wifi();
    void wifiNotFoundWithinTimeout();

private:
    AgentProcess agent;
};

void AgentDevice::initTestCase()
{
    qDBusRegisterMetaType<ConnmanObject>();
    qDBusRegisterMetaType<ConnmanObjectList>();
    QVERIFY2(agent.start(), agent.log().constData());
}

void AgentDevice::cleanupTestCase()
{
    agent.stop();
}

void AgentDevice::roundTrip_data()
{
    QTest::addColumn<QByteArrayList>("setters");
    QTest::addColumn<QByteArray>("getter");
    QTest::addColumn<QByteArray>("expected");
    auto row = [](const char* name, QByteArrayList setters, const char* getter, const char* expected) {
        QTest::newRow(name) << setters << QByteArray(getter) << QByteArray(expected);
    };
    row("display off", {"/setDisplayState?state=0"}, "/getDisplayState", "0");
    row("display on", {"/setDisplayState?state=1"}, "/getDisplayState", "1");
    row("locked", {"/setLockState?state=1"}, "/getLockState", "1");
    row("unlocked", {"/setLockState?state=0"}, "/getLockState", "0");
    row("blank timeout", {"/setBlankTimeout?sec=45"}, "/getBlankTimeout", "45");
    row("dim timeout", {"/setDimTimeout?sec=15"}, "/getDimTimeout", "15");
    row("auto time on", {"/setAutoDatetime?state=1"}, "/getAutoDatetime", "1");
    row("auto time state 2 is off", {"/setAutoDatetime?state=2"}, "/getAutoDatetime", "0");
    row("panel always opened", {"/setPanelState?state=0"}, "/getPanelState", "1");
    row("rotation allowed -1", {"/setRotationAllowed?allowed=-1"}, "/getRotationAllowed", "1");
    row("rotation allowed missing", {"/setRotationAllowed"}, "/getRotationAllowed", "0");
    row("landscape", {"/setRotationAllowed?allowed=1", "/sendOrientationEvent?orientation=2"},
        "/getScreenOrientation", "4");
    row("portrait", {"/sendOrientationEvent?orientation=1"}, "/getScreenOrientation", "1");
    row("volume", {"/setVolume?type=1&volume=7"}, "/getVolume?type=1", "7");
    row("volume without type", {"/setVolume?volume=5"}, "/getVolume?type=0", "5");
    row("volume step", {"/setVolumeByStep?type=2&step=3"}, "/getVolumeByStep?type=2", "3");
    row("output port", {"/setAudioOutputPort?type=2"}, "/getAudioOutputPort?type=9", "2");
    row("input port", {"/setAudioInputPort?type=1"}, "/getAudioInputPort", "1");
    row("auto brightness 2", {"/setAutoBrightness?enable=2"}, "/getAutoBrightness", "1");
    row("auto brightness missing", {"/setAutoBrightness"}, "/getAutoBrightness", "0");
}

void AgentDevice::roundTrip()
{
    QFETCH(QByteArrayList, setters);
    QFETCH(QByteArray, getter);
    QFETCH(QByteArray, expected);
    for (const QByteArray& setter : setters) {
        const HttpAnswer answer = HttpClient::get(setter);
        QCOMPARE(answer.status, 200);
        QCOMPARE(answer.body, QByteArray());
    }
    QCOMPARE(body(getter), expected);
}

void AgentDevice::systemFactsAreLatin1Text()
{
    for (const QByteArray& target : {QByteArray("/getOsVersion"), QByteArray("/getSerialNumber")}) {
        const HttpAnswer answer = HttpClient::get(target);
        QCOMPARE(answer.header("Content-Type"), QByteArray("text/plain; charset=UTF-8"));
        QVERIFY(!answer.body.isEmpty());
    }
    bool isNumber = false;
    body("/getDatetime").toLongLong(&isNumber);
    QVERIFY(isNumber);
    QCOMPARE(body("/getVolumeSteps").isEmpty(), false);
}

void AgentDevice::passwordIsSetAndNotLogged()
{
    QCOMPARE(body("/setPassword?password=s3cr3t-value&type=0"), QByteArray("4"));
    QCOMPARE(body("/passwordExists"), QByteArray("0"));
    QCOMPARE(body("/setPassword?password=s3cr3t-value&type=1"), QByteArray("0"));
    QCOMPARE(body("/passwordExists"), QByteArray("1"));
    QVERIFY(!agent.log().contains("s3cr3t-value"));
}

void AgentDevice::volumeKeyShowsAToast()
{
    QCOMPARE(HttpClient::get("/sendVolumeUpKeyEvent").status, 200);
    QTRY_VERIFY_WITH_TIMEOUT(!body("/getLatestToast").isEmpty(), 5000);
    QCOMPARE(HttpClient::get("/getLatestToast").header("Content-Type"), QByteArray("text/plain; charset=UTF-8"));
}

void AgentDevice::applications()
{
    QCOMPARE(body("/isAppInstalled?sopid=com.orvana.demo.form"), QByteArray("1"));
    QCOMPARE(body("/isAppInstalled?sopid=com.orvana.nothing"), QByteArray("0"));
    QCOMPARE(body("/isAppUninstallable?sopid=com.orvana.home"), QByteArray("0"));
    QCOMPARE(body("/isAppUninstallable?sopid=com.orvana.demo.form"), QByteArray("1"));
    QCOMPARE(body("/appIsRunning?sopid=com.orvana.home"), QByteArray("1"));

    QCOMPARE(HttpClient::get("/launchApp?sopid=com.orvana.demo.form&uiappid=form").body, QByteArray());
    QVERIFY(waitForBody("/appIsRunning?sopid=com.orvana.demo.form", "1"));
    QVERIFY(agent.log().contains("Replay is ok::  true"));
    QCOMPARE(HttpClient::get("/quitApp?sopid=com.orvana.demo.form&uiappid=form").status, 200);
    QVERIFY(waitForBody("/appIsRunning?sopid=com.orvana.demo.form", "0"));

    HttpClient::get("/launchApp?sopid=com.orvana.nothing&uiappid=x");
    QTRY_VERIFY_WITH_TIMEOUT(agent.log().contains("Replay is ok::  false"), 5000);
}

// A package file made here is installed, launched and uninstalled again.
void AgentDevice::installLaunchUninstall()
{
    const QString builtin = AgentProcess::binary(QStringLiteral("../share/orvana/packages/com.orvana.demo.list.opk"));
    QFile source(builtin);
    QVERIFY2(source.open(QIODevice::ReadOnly), qPrintable(builtin));
    QJsonObject package = QJsonDocument::fromJson(source.readAll()).object();
    package.insert(QStringLiteral("sopid"), QStringLiteral("com.test.extra"));
    const QString path = deviceRoot() + QStringLiteral("/extra.opk");
    QFile target(path);
    QVERIFY(target.open(QIODevice::WriteOnly));
    target.write(QJsonDocument(package).toJson());
    target.close();

    QCOMPARE(HttpClient::get("/install?filepath=" + QUrl::toPercentEncoding(path)).body, QByteArray());
    QCOMPARE(body("/isAppInstalled?sopid=com.test.extra"), QByteArray("1"));
    const QByteArray uiappid = package.value(QStringLiteral("apps")).toArray().at(0).toObject()
                                   .value(QStringLiteral("uiappid")).toString().toUtf8();
    HttpClient::get("/launchApp?sopid=com.test.extra&uiappid=" + uiappid);
    QVERIFY(waitForBody("/appIsRunning?sopid=com.test.extra", "1"));
    QCOMPARE(body("/uninstall?sopid=com.test.extra"), QByteArray("1"));
    QCOMPARE(body("/isAppInstalled?sopid=com.test.extra"), QByteArray("0"));
    QCOMPARE(body("/uninstall?sopid=com.orvana.home"), QByteArray("0"));
}

void AgentDevice::clearAppData()
{
    const QString dir = deviceRoot() + QStringLiteral("/data/appdata/com.orvana.demo.form");
    QVERIFY(QDir().mkpath(dir));
    QFile data(dir + QStringLiteral("/notes.txt"));
    QVERIFY(data.open(QIODevice::WriteOnly));
    data.write("kept until cleared");
    data.close();
    QCOMPARE(HttpClient::get("/clearAppData?sopid=com.orvana.demo.form").status, 200);
    QVERIFY(!QFile::exists(data.fileName()));
}

void AgentDevice::fileEndpoints()
{
    const QByteArray base = (deviceRoot() + QStringLiteral("/files")).toUtf8();
    auto call = [&](const QByteArray& endpoint, const QByteArray& query) {
        const HttpAnswer answer = HttpClient::get(endpoint + '?' + query);
        if (answer.header("Content-Type") != "text/plain; charset=UTF-8")
            return QByteArray("no content type");
        return answer.body;
    };
    QCOMPARE(call("/mkdir", "dirname=" + base + "/a/b"), QByteArray("1"));
    QFile file(QString::fromUtf8(base + "/a/f.txt"));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("content");
    file.close();

    QCOMPARE(call("/checkFileExist", "filename=" + base + "/a/f.txt"), QByteArray("1"));
    QCOMPARE(call("/checkFileExist", "filename=" + base + "/a/none"), QByteArray("0"));
    QCOMPARE(call("/checkFileExist", ""), QByteArray("0"));
    QCOMPARE(call("/fileCopy", "source=" + base + "/a/f.txt&target=" + base + "/a/g.txt"), QByteArray("1"));
    QCOMPARE(call("/fileMove", "source=" + base + "/a/g.txt&target=" + base + "/a/h.txt"), QByteArray("1"));
    QCOMPARE(call("/fileMove", "source=" + base + "/a/g.txt&target=" + base + "/a/i.txt"), QByteArray("0"));
    QStringList listing = QString::fromUtf8(call("/dirList", "dirname=" + base + "/a")).split(QLatin1Char('\n'));
    listing.removeAll(QString());
    QCOMPARE(listing, (QStringList{"b/", "f.txt", "h.txt"}));
    QCOMPARE(call("/dirList", "dirname=" + base + "/none"), QByteArray());
    QCOMPARE(call("/dirCopy", "source=" + base + "/a&target=" + base + "/c"), QByteArray("1"));
    QVERIFY(QFile::exists(QString::fromUtf8(base + "/c/h.txt")));
    QCOMPARE(call("/dirRemove", "dirname=" + base + "/c"), QByteArray("1"));
    QVERIFY(!QFile::exists(QString::fromUtf8(base + "/c")));
    QCOMPARE(call("/fileRemove", "filename=" + base + "/a/f.txt"), QByteArray("1"));
    QCOMPARE(call("/fileRemove", "filename=" + base + "/a/f.txt"), QByteArray("0"));
}

void AgentDevice::wifi_data()
{
    QTest::addColumn<QByteArray>("query");
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<QStringList>("online");
    QTest::newRow("open network") << QByteArray("ssid=Orvana-Open") << QByteArray("1")
                                  << QStringList{"Orvana-Open"};
    QTest::newRow("duplicate names: the first") << QByteArray("ssid=Orvana-Guest") << QByteArray("1")
                                                << QStringList{"Orvana-Guest"};
    QTest::newRow("not Wi-Fi but same name") << QByteArray("ssid=Wired") << QByteArray("1")
                                             << QStringList{"Orvana-Guest", "Wired"};
    QTest::newRow("empty ssid: the nameless one") << QByteArray("ssid=") << QByteArray("1")
                                                  << QStringList{"", "Wired"};
    QTest::newRow("negative timeout") << QByteArray("ssid=Orvana-Open&timeout=-5") << QByteArray("0")
                                      << QStringList{"", "Wired"};
}

void AgentDevice::wifi()
{
    QFETCH(QByteArray, query);
    QFETCH(QByteArray, answer);
    QFETCH(QStringList, online);
    QElapsedTimer timer;
    timer.start();
    const HttpAnswer reply = HttpClient::get("/connectOpenWiFi?" + query);
    QCOMPARE(reply.header("Content-Type"), QByteArray("text/plain; charset=UTF-8"));
    QCOMPARE(reply.body, answer);
    QVERIFY(timer.elapsed() < 5000);
    QStringList seen = onlineServices();
    seen.sort();
    QCOMPARE(seen, online);
    if (answer == "1")
        QCOMPARE(body("/isNetworkAvailable"), QByteArray("1"));
    // The duplicate that comes second stays idle.
    QCOMPARE(serviceStates().values().count(QStringLiteral("online")), online.size());
}

void AgentDevice::wifiNotFoundWithinTimeout()
{
    QElapsedTimer timer;
    timer.start();
    QCOMPARE(body("/connectOpenWiFi?ssid=orvana-open&timeout=2"), QByteArray("0"));
    QVERIFY(timer.elapsed() >= 1000 && timer.elapsed() < 4000);
}

QTEST_GUILESS_MAIN(AgentDevice)
#include "tst_agent_device.moc"
