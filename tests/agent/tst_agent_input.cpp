// Keys, touches, slides and text: the exact compositor call sequences, seen on the bus.
#include "agentprocess.h"
#include "callrecorder.h"
#include "httpclient.h"

#include <QElapsedTimer>
#include <QtTest>

namespace {
QString keyText(int type, int key)
{
    return QStringLiteral("sendKeyEvent(\"%1,%2,0,,true,\")").arg(type).arg(key);
}

QStringList click(int key)
{
    return {keyText(51, key), keyText(6, key), keyText(7, key)};
}

QString uinput(int type, int key)
{
    return QStringLiteral("sendKeyEventWithUInput(%1, %2)").arg(type).arg(key);
}

QString touch(int type, int slot, int x, int y)
{
    return QStringLiteral("sendTouchEventWithUInput(%1, %2, %2, %3, %4)").arg(type).arg(slot).arg(x).arg(y);
}
} // namespace

class AgentInput : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void callSequence_data();
    void callSequence();
    void delayHoldsTheAnswer_data();
    void delayHoldsTheAnswer();
    void longSlideSteps();

private:
    AgentProcess agent;
    CallRecorder recorder{QStringLiteral("com.orvana.compositor.ZelvikInterface")};
};

void AgentInput::initTestCase()
{
    QVERIFY(recorder.start());
    QVERIFY2(agent.start(), agent.log().constData());
}

void AgentInput::cleanupTestCase()
{
    agent.stop();
}

void AgentInput::init()
{
    recorder.clear();
}

void AgentInput::callSequence_data()
{
    QTest::addColumn<QByteArray>("method");
    QTest::addColumn<QByteArray>("target");
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("key click") << QByteArray("GET") << QByteArray("/sendKeyEvent?value=65") << click(65);
    QTest::newRow("key click, POST is not served") << QByteArray("POST") << QByteArray("/sendKeyEvent?value=65")
                                                   << QStringList();
    QTest::newRow("key press") << QByteArray("GET") << QByteArray("/sendKeyEventP?value=65&type=1")
                               << QStringList{keyText(51, 65), keyText(6, 65)};
    QTest::newRow("key type 2 is a release") << QByteArray("GET") << QByteArray("/sendKeyEventP?value=65&type=2")
                                             << QStringList{keyText(7, 65)};
    QTest::newRow("key without type is a release") << QByteArray("GET") << QByteArray("/sendKeyEventP?value=9")
                                                   << QStringList{keyText(7, 9)};
    QTest::newRow("back") << QByteArray("GET") << QByteArray("/sendBackKeyEvent") << click(16777313);
    QTest::newRow("home") << QByteArray("GET") << QByteArray("/sendHomeKeyEvent") << click(16777232);
    QTest::newRow("menu") << QByteArray("GET") << QByteArray("/sendMenuKeyEvent") << click(16777301);
    QTest::newRow("uinput type 2 passed on") << QByteArray("GET")
                                             << QByteArray("/sendKeyEventPWithUInput?value=30&type=2")
                                             << QStringList{uinput(2, 30)};
    QTest::newRow("uinput click") << QByteArray("GET") << QByteArray("/sendKeyEventWithUInput?value=30")
                                  << QStringList{uinput(1, 30), uinput(0, 30)};
    QTest::newRow("volume up") << QByteArray("GET") << QByteArray("/sendVolumeUpKeyEvent")
                               << QStringList{uinput(1, 115), uinput(0, 115)};
    QTest::newRow("volume down") << QByteArray("GET") << QByteArray("/sendVolumeDownKeyEvent")
                                 << QStringList{uinput(1, 114), uinput(0, 114)};
    QTest::newRow("negative delay waits nothing") << QByteArray("GET")
                                                  << QByteArray("/sendKeyEvent?value=1&delay=-5") << click(1);

    QTest::newRow("raw touch move") << QByteArray("GET")
                                    << QByteArray("/sendTouchEventPWithUInput?type=2&slot=1&id=1&x=5&y=6")
                                    << QStringList{touch(2, 1, 5, 6)};
    QTest::newRow("tap") << QByteArray("GET") << QByteArray("/sendTouchEvent?points=100|200")
                         << QStringList{touch(1, 0, 100, 200), touch(0, 0, 100, 200)};
    QTest::newRow("two-finger tap") << QByteArray("GET") << QByteArray("/sendTouchEvent?points=10|20,30|40")
                                    << QStringList{touch(1, 0, 10, 20), touch(1, 1, 30, 40), touch(0, 0, 10, 20),
                                                   touch(0, 1, 30, 40)};
    QTest::newRow("tap with trailing comma") << QByteArray("GET") << QByteArray("/sendTouchEvent?points=100|200,")
                                             << QStringList{touch(1, 0, 100, 0), touch(0, 0, 100, 0)};
    QTest::newRow("tap without separator") << QByteArray("GET") << QByteArray("/sendTouchEvent?points=abc")
                                           << QStringList{touch(1, 0, 0, 0), touch(0, 0, 0, 0)};
    QTest::newRow("tap without points") << QByteArray("GET") << QByteArray("/sendTouchEvent")
                                        << QStringList{touch(1, 0, 0, 0), touch(0, 0, 0, 0)};

    QTest::newRow("one-pixel slide") << QByteArray("GET") << QByteArray("/sendSlideEvent?sliders=0|0->1|0")
                                     << QStringList{touch(1, 0, 0, 0), touch(2, 0, 0, 0), touch(0, 0, 1, 0)};
    QTest::newRow("slide backwards") << QByteArray("GET") << QByteArray("/sendSlideEvent?sliders=5|0->0|0")
                                     << QStringList{touch(1, 0, 5, 0), touch(2, 0, 4, 0), touch(2, 0, 3, 0),
                                                    touch(2, 0, 2, 0), touch(2, 0, 1, 0), touch(0, 0, 0, 0)};
    QTest::newRow("fractions: integers for press and release")
        << QByteArray("GET") << QByteArray("/sendSlideEvent?sliders=0|0->2.5|0")
        << QStringList{touch(1, 0, 0, 0), touch(2, 0, 1, 0), touch(0, 0, 0, 0)};
    QTest::newRow("slide without arrow") << QByteArray("GET") << QByteArray("/sendSlideEvent?sliders=5|0")
                                         << QStringList{touch(1, 0, 5, 0), touch(2, 0, 4, 0), touch(2, 0, 3, 0),
                                                        touch(2, 0, 2, 0), touch(2, 0, 1, 0), touch(0, 0, 0, 0)};
    QTest::newRow("empty sliders") << QByteArray("GET") << QByteArray("/sendSlideEvent")
                                   << QStringList{touch(1, 0, 0, 0), touch(2, 0, 0, 0), touch(0, 0, 0, 0)};

    QTest::newRow("commit string") << QByteArray("GET")
                                   << QByteArray("/sendCommitString?str=%E4%BD%A0%E5%A5%BD%26+x")
                                   << QStringList{QStringLiteral("emitSendCommitString(\"你好& x\")")};
}

void AgentInput::callSequence()
{
    QFETCH(QByteArray, method);
    QFETCH(QByteArray, target);
    QFETCH(QStringList, expected);
    const HttpAnswer answer = HttpClient::request(method, target);
    QCOMPARE(answer.status, 200);
    QCOMPARE(answer.body, QByteArray());
    QCOMPARE(recorder.calls(), expected);
}

void AgentInput::delayHoldsTheAnswer_data()
{
    QTest::addColumn<QByteArray>("target");
    QTest::addColumn<int>("delay");
    QTest::newRow("power key long press") << QByteArray("/sendPowerKeyEvent?delay=600") << 600;
    QTest::newRow("tap held") << QByteArray("/sendTouchEvent?points=1|2&delay=500") << 500;
}

// The answer comes only after the release, at least "delay" ms after the press.
void AgentInput::delayHoldsTheAnswer()
{
    QFETCH(QByteArray, target);
    QFETCH(int, delay);
    QElapsedTimer timer;
    timer.start();
    const HttpAnswer answer = HttpClient::get(target);
    QCOMPARE(answer.status, 200);
    QVERIFY(timer.elapsed() >= delay);
    QCOMPARE(recorder.calls().size(), 2);
}

// The worked examples: a 100 px slide takes 30 steps; with a 10 px and a 200 px slide both take 10.
void AgentInput::longSlideSteps()
{
    QCOMPARE(HttpClient::get("/sendSlideEvent?sliders=0|0->100|0").status, 200);
    QStringList expected{touch(1, 0, 0, 0)};
    const int xs[] = {3,  6,  10, 13, 16, 20, 23, 26, 30, 33, 36, 40, 43, 46, 50,
                      53, 56, 60, 63, 66, 70, 73, 76, 80, 83, 86, 90, 93, 96};
    for (int x : xs)
        expected << touch(2, 0, x, 0);
    expected << touch(0, 0, 100, 0);
    QCOMPARE(recorder.calls(), expected);

    recorder.clear();
    QCOMPARE(HttpClient::get("/sendSlideEvent?sliders=0|0->10|0,0|0->0|200").status, 200);
    expected = QStringList{touch(1, 0, 0, 0), touch(1, 1, 0, 0)};
    for (int k = 1; k < 10; ++k)
        expected << touch(2, 0, k, 0) << touch(2, 1, 0, 20 * k);
    expected << touch(0, 0, 10, 0) << touch(0, 1, 0, 200);
    QCOMPARE(recorder.calls(), expected);
}

QTEST_GUILESS_MAIN(AgentInput)
#include "tst_agent_input.moc"
