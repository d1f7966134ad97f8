// Start-up: single instance through the compositor, the automation switch, the settings.
#include "agentprocess.h"
#include "callrecorder.h"
#include "httpclient.h"

#include <QDBusConnection>
#include <QDBusInterface>
#include <QDBusReply>
#include <QHostAddress>
#include <QProcess>
#include <QSettings>
#include <QTcpServer>
#include <QtTest>

#include <signal.h>

namespace {
void setSwitch(bool on)
{
    QDBusInterface pre(QStringLiteral("com.orvana.compositor"), QStringLiteral("/com/orvana/compositor"),
                       QStringLiteral("com.orvana.compositor.ZelvikInterfacePre"), QDBusConnection::systemBus());
    pre.call(QStringLiteral("setZelvikSwitch"), on);
}

QVariant stored(const QString& key)
{
    QSettings settings(QStringLiteral("orvana"), QStringLiteral("zelvik_support"));
    return settings.value(key);
}

bool alive(qint64 pid)
{
    // A killed child may linger as a zombie until reaped; its /proc state says so.
    QFile status(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return false;
    const QByteArray stat = status.readAll();
    return !stat.mid(stat.lastIndexOf(')') + 2, 1).startsWith('Z');
}

bool waitUntilGone(qint64 pid, int timeoutMs)
{
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < timeoutMs) {
        if (!alive(pid))
            return true;
        QTest::qWait(50);
    }
    return false;
}
} // namespace

class AgentStartup : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void firstStartWritesSettings();
    void secondStartReplacesTheFirst();
    void switchOffEndsWithCodeZero();
    void stalePidOfAnotherProcessSurvives();
};

void AgentStartup::init()
{
    QSettings(QStringLiteral("orvana"), QStringLiteral("zelvik_support")).clear();
    setSwitch(true);
}

void AgentStartup::firstStartWritesSettings()
{
    CallRecorder kills(QStringLiteral("interface='com.orvana.compositor.CompositorInterface'"));
    QVERIFY(kills.start());
    AgentProcess agent;
    QVERIFY2(agent.start(), agent.log().constData());
    // The port may answer while the agent probes it, before it has stored its id.
    QTRY_COMPARE_WITH_TIMEOUT(stored(QStringLiteral("selfPid")).toLongLong(), agent.pid(), 10000);
    const QList<QPair<QString, int>> listener = {{"port", 10008},           {"minThreads", 4},
                                                 {"maxThreads", 100},       {"cleanupInterval", 60000},
                                                 {"readTimeout", 60000},    {"maxRequestSize", 16000},
                                                 {"maxMultiPartSize", 2147483647}};
    QTRY_COMPARE_WITH_TIMEOUT(stored(QStringLiteral("listener/port")).toInt(), 10008, 5000);
    for (const auto& entry : listener)
        QCOMPARE(stored(QStringLiteral("listener/") + entry.first).toInt(), entry.second);
    QCOMPARE(stored(QStringLiteral("listener/path")).toString(), QStringLiteral(":/website/"));
    QVERIFY(!stored(QStringLiteral("listener/host")).isValid());
    QCOMPARE(HttpClient::get("/getDimTimeout").status, 200);
    QCOMPARE(kills.calls(), QStringList());
}

void AgentStartup::secondStartReplacesTheFirst()
{
    AgentProcess first;
    QVERIFY2(first.start(), first.log().constData());
    const qint64 firstPid = first.pid();

    CallRecorder kills(QStringLiteral("interface='com.orvana.compositor.CompositorInterface'"));
    QVERIFY(kills.start());
    AgentProcess second;
    QVERIFY2(second.start(), second.log().constData());
    // start() returns as soon as the port answers, which the first agent still does.
    QTRY_COMPARE_WITH_TIMEOUT(kills.calls(), QStringList{QStringLiteral("killProcessesByPid(int32 %1)").arg(firstPid)},
                              10000);
    QVERIFY(waitUntilGone(firstPid, 5000));
    QCOMPARE(stored(QStringLiteral("selfPid")).toLongLong(), second.pid());
    QCOMPARE(HttpClient::get("/getDimTimeout").status, 200);
}

void AgentStartup::switchOffEndsWithCodeZero()
{
    {
        QSettings settings(QStringLiteral("orvana"), QStringLiteral("zelvik_support"));
        settings.setValue(QStringLiteral("listener/port"), 1234);
    }
    setSwitch(false);
    AgentProcess agent;
    QVERIFY(agent.launch());
    QCOMPARE(agent.waitForExit(10000), 0);
    QCOMPARE(stored(QStringLiteral("selfPid")).toLongLong(), agent.pid());
    QCOMPARE(stored(QStringLiteral("listener/port")).toInt(), 1234);
    QVERIFY(!AgentProcess::portAnswers(10008));
}

// The port is taken by someone else and "selfPid" names an unrelated process: the compositor
// refuses to kill it, and the agent runs on without HTTP service.
void AgentStartup::stalePidOfAnotherProcessSurvives()
{
    QProcess bystander;
    bystander.start(QStringLiteral("sleep"), {QStringLiteral("30")});
    QVERIFY(bystander.waitForStarted());
    {
        QSettings settings(QStringLiteral("orvana"), QStringLiteral("zelvik_support"));
        settings.setValue(QStringLiteral("selfPid"), bystander.processId());
    }
    QTcpServer holder;
    QVERIFY(holder.listen(QHostAddress::Any, 10008));

    AgentProcess agent;
    QVERIFY(agent.launch());
    QTRY_VERIFY_WITH_TIMEOUT(agent.log().contains("Cannot bind on port 10008"), 10000);
    QVERIFY(alive(bystander.processId()));
    QCOMPARE(stored(QStringLiteral("selfPid")).toLongLong(), agent.pid());
    agent.stop();
    bystander.kill();
    bystander.waitForFinished();
}

QTEST_GUILESS_MAIN(AgentStartup)
#include "tst_agent_startup.moc"
