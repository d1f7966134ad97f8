// A phone whose screen never answers: the fixed empty answers.
#include "agentprocess.h"
#include "httpclient.h"

#include <QtTest>

class AgentFallbacks : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { QVERIFY2(agent.start(), agent.log().constData()); }
    void cleanupTestCase() { agent.stop(); }
    void emptyAnswers_data();
    void emptyAnswers();

private:
    AgentProcess agent;
};

void AgentFallbacks::emptyAnswers_data()
{
    QTest::addColumn<QByteArray>("target");
    QTest::addColumn<QByteArray>("body");
    QTest::newRow("layout") << QByteArray("/getLayoutXML")
                            << QByteArray("<?xml version=\"1.0\" encoding=\"UTF-8\" ?><root createTime=\"\" "
                                          "sopId=\"\" uiAppId=\"\"></root>");
    QTest::newRow("screenshot") << QByteArray("/getScreenShot") << QByteArray(",0,0");
    QTest::newRow("item picture") << QByteArray("/grabImage?x=1&y=1&w=5&h=5&s=1") << QByteArray();
}

void AgentFallbacks::emptyAnswers()
{
    QFETCH(QByteArray, target);
    QFETCH(QByteArray, body);
    const HttpAnswer answer = HttpClient::get(target);
    QCOMPARE(answer.status, 200);
    QCOMPARE(answer.header("Content-Type"), QByteArray("text/plain; charset=UTF-8"));
    QCOMPARE(answer.body, body);
}

QTEST_GUILESS_MAIN(AgentFallbacks)
#include "tst_agent_fallbacks.moc"
