// The dispatcher: exact method and path matching, the empty answer, the page resources.
#include "agentprocess.h"
#include "httpclient.h"

#include <QFile>
#include <QtTest>

class AgentRouting : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void notServed_data();
    void notServed();
    void everyEndpointAnswers();
    void resourcesWithoutContentType_data();
    void resourcesWithoutContentType();
    void textAnswersCarryContentType();

private:
    AgentProcess agent;
};

void AgentRouting::initTestCase()
{
    QVERIFY2(agent.start(), agent.log().constData());
}

void AgentRouting::cleanupTestCase()
{
    agent.stop();
}

void AgentRouting::notServed_data()
{
    QTest::addColumn<QByteArray>("method");
    QTest::addColumn<QByteArray>("target");
    QTest::newRow("unknown path") << QByteArray("GET") << QByteArray("/noSuchEndpoint");
    QTest::newRow("key endpoint with POST") << QByteArray("POST") << QByteArray("/getDimTimeout");
    QTest::newRow("capitals") << QByteArray("GET") << QByteArray("/GETDIMTIMEOUT");
    QTest::newRow("trailing slash") << QByteArray("GET") << QByteArray("/getDimTimeout/");
    QTest::newRow("upload with GET") << QByteArray("GET") << QByteArray("/upLoadFile");
    QTest::newRow("other method") << QByteArray("PUT") << QByteArray("/getDimTimeout");
    QTest::newRow("lower-case method") << QByteArray("get") << QByteArray("/getDimTimeout");
    QTest::newRow("path with NUL byte") << QByteArray("GET") << QByteArray("/getDimTimeout%00");
}

// Not in the table: status 200, an empty body, nothing but the length.
void AgentRouting::notServed()
{
    QFETCH(QByteArray, method);
    QFETCH(QByteArray, target);
    const HttpAnswer answer = HttpClient::request(method, target);
    QVERIFY(answer.ok);
    QCOMPARE(answer.status, 200);
    QCOMPARE(answer.body, QByteArray());
    QCOMPARE(answer.header("Content-Length"), QByteArray("0"));
    QVERIFY(!answer.hasHeader("Content-Type"));
}

// Every path of the table is routed and answered (the stream and the upload are tested apart).
void AgentRouting::everyEndpointAnswers()
{
    const QList<QByteArray> paths = {
        "/", "/getScreenShot", "/getLayoutXML", "/main.js", "/sendKeyEvent", "/sendKeyEventWithUInput",
        "/sendKeyEventPWithUInput", "/sendKeyEventP", "/sendPowerKeyEvent?delay=0", "/sendBackKeyEvent",
        "/sendHomeKeyEvent", "/sendMenuKeyEvent", "/sendVolumeUpKeyEvent", "/sendVolumeDownKeyEvent",
        "/sendTouchEventPWithUInput", "/sendTouchEvent", "/sendSlideEvent", "/sendCommitString", "/launchApp",
        "/quitApp", "/getDisplayState", "/getLockState", "/passwordExists", "/getOsVersion",
        "/getSerialNumber", "/getBlankTimeout", "/getDimTimeout", "/checkFileExist", "/fileRemove",
        "/mkdir", "/fileMove", "/fileCopy", "/dirList", "/dirRemove", "/dirCopy", "/appIsRunning",
        "/isAppInstalled", "/isAppUninstallable", "/install", "/uninstall", "/getRotationAllowed",
        "/getScreenOrientation", "/sendAmbientLightEvent?lux=5", "/sendProximityEvent",
        "/recoverOrientationSensor", "/recoverAmbientLightSensor", "/recoverProximitySensor", "/grabImage",
        "/getDatetime", "/getAutoDatetime", "/getLatestToast", "/clearAppData", "/getPanelState",
        "/getVolume", "/getVolumeByStep", "/getVolumeSteps", "/getVolumeActiveRole", "/getAudioOutputPort",
        "/getAudioInputPort", "/maxBrightness", "/getBrightness", "/getAutoBrightness",
        "/isNetworkAvailable", "/connectOpenWiFi?timeout=-1"};
    for (const QByteArray& path : paths) {
        const HttpAnswer answer = HttpClient::get(path);
        QVERIFY2(answer.ok && answer.status == 200, path.constData());
    }
}

void AgentRouting::resourcesWithoutContentType_data()
{
    QTest::addColumn<QByteArray>("target");
    QTest::addColumn<QString>("resource");
    QTest::newRow("page") << QByteArray("/") << QString(":/website/index.html");
    QTest::newRow("script") << QByteArray("/main.js") << QString(":/website/main.js");
}

void AgentRouting::resourcesWithoutContentType()
{
    QFETCH(QByteArray, target);
    QFETCH(QString, resource);
    QFile file(QFINDTESTDATA(QStringLiteral("../../zelvik_support_server/website/")
                             + resource.section(QLatin1Char('/'), -1)));
    QVERIFY(file.open(QIODevice::ReadOnly));
    const HttpAnswer answer = HttpClient::get(target);
    QCOMPARE(answer.status, 200);
    QVERIFY(!answer.hasHeader("Content-Type"));
    QCOMPARE(answer.body, file.readAll());
}

void AgentRouting::textAnswersCarryContentType()
{
    const HttpAnswer dim = HttpClient::get("/getDimTimeout");
    QCOMPARE(dim.header("Content-Type"), QByteArray("text/plain; charset=UTF-8"));
    const HttpAnswer blank = HttpClient::get("/getBlankTimeout");
    QVERIFY(!blank.hasHeader("Content-Type"));
    bool isNumber = false;
    blank.body.toInt(&isNumber);
    QVERIFY(isNumber);
}

QTEST_GUILESS_MAIN(AgentRouting)
#include "tst_agent_routing.moc"
