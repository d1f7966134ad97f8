// Start-up: single instance through the compositor, the automation switch, the settings.
#include "agentprocess.h"
#include "callrecorder.h"
#include "httpclient.h"

#include <QDBusConnection>
#include <QDBusInterface>
#include <QSettings>
#include <QTcpServer>
#include <QtTest>

namespace {
void setSwitch(bool on)
{
    QDBusInterface(QStringLiteral("com.orvana.compositor"), QStringLiteral("/com/orvana/compositor"),
                   QStringLiteral("com.orvana.compositor.ZelvikInterfacePre"), QDBusConnection::systemBus())
        .call(QStringLiteral("setZelvikSwitch"), on);
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

class AgentStartup : public QObject
{
    Q_OBJECT
private slots:
    void init()
    {
        QSettings(QStringLiteral("orvana"), QStringLiteral("zelvik_support")).clear();
        setSwitch(true);
    }
    void firstStartWritesSettings();
    void secondStartReplacesTheFirst();
    void switchOffEndsWithCodeZero();
    void stalePidOfAnotherProcessSurvives();
};

void AgentStartup::firstStartWritesSettings()
{
    CallRecorder recorder{QLatin1String(kills)};
    QVERIFY(recorder.start());
    AgentProcess agent;
    QVERIFY2(agent.start(), agent.log().constData());
    // The port may answer while the agent probes it, before it has stored its id.
    QTRY_COMPARE_WITH_TIMEOUT(stored("selfPid").toLongLong(), agent.pid(), 10000);
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

void AgentStartup::secondStartReplacesTheFirst()
{
    AgentProcess first;
    QVERIFY2(first.start(), first.log().constData());
    CallRecorder recorder{QLatin1String(kills)};
    QVERIFY(recorder.start());
    AgentProcess second;
    QVERIFY2(second.start(), second.log().constData());
    // start() returns as soon as the port answers, which the first agent still does.
    QTRY_COMPARE_WITH_TIMEOUT(recorder.calls(), QStringList{QStringLiteral("killProcessesByPid(int32 %1)").arg(first.pid())}, 10000);
    QTRY_VERIFY_WITH_TIMEOUT(!alive(first.pid()), 5000);
    QCOMPARE(stored("selfPid").toLongLong(), second.pid());
    QCOMPARE(HttpClient::get("/getDimTimeout").status, 200);
}

void AgentStartup::switchOffEndsWithCodeZero()
{
    store("listener/port", 1234);
    setSwitch(false);
    AgentProcess agent;
    QVERIFY(agent.launch());
    QCOMPARE(agent.waitForExit(10000), 0);
    QCOMPARE(stored("selfPid").toLongLong(), agent.pid());
    QCOMPARE(stored("listener/port").toInt(), 1234);
    QVERIFY(!AgentProcess::portAnswers(10008));
}

// The port is taken by someone else and "selfPid" names an unrelated process: the compositor
// refuses to kill it, and the agent runs on without HTTP service.
void AgentStartup::stalePidOfAnotherProcessSurvives()
{
    QProcess bystander;
    bystander.start(QStringLiteral("sleep"), {QStringLiteral("30")});
    QVERIFY(bystander.waitForStarted());
    store("selfPid", bystander.processId());
    QTcpServer holder;
    QVERIFY(holder.listen(QHostAddress::Any, 10008));
    AgentProcess agent;
    QVERIFY(agent.launch());
    QTRY_VERIFY_WITH_TIMEOUT(agent.log().contains("Cannot bind on port 10008"), 10000);
    QVERIFY(alive(bystander.processId()));
    QCOMPARE(stored("selfPid").toLongLong(), agent.pid());
    agent.stop();
    bystander.kill();
    bystander.waitForFinished();
}

QTEST_GUILESS_MAIN(AgentStartup)
#include "tst_agent_startup.moc"
