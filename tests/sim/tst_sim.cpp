// orvana-sim's safety rules, against the real program. The agent never makes these calls; a stray
// or hostile caller must still not kill other processes, escape a folder or find the password.
#include "simprocess.h"

#include <csystempackagemanager.h>
#include <csystemuserauthenmanager.h>

#include <QDir>
#include <QJsonDocument>
#include <QStandardPaths>
#include <QtTest>

#include <signal.h>

namespace {
bool writeFile(const QString& path, const QByteArray& data)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(data) == data.size();
}

QByteArray state()
{
    QFile file(SimProcess::root() + QStringLiteral("/data/sim/state.json"));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// A reply that is a boolean, true or false.
bool yes(const QDBusMessage& reply) { return reply.signature() == QLatin1String("b") && SimProcess::value(reply).toBool(); }
bool no(const QDBusMessage& reply) { return reply.signature() == QLatin1String("b") && !SimProcess::value(reply).toBool(); }
QDBusMessage kill(qint64 pid) { return SimProcess::compositor(QStringLiteral("CompositorInterface"), QStringLiteral("killProcessesByPid"), {int(pid)}); }

QByteArray package(const QString& sopid, const QString& extra = QString())
{
    return QStringLiteral("{\"sopid\": \"%1\", %2 \"apps\": [{\"uiappid\": \"main\", \"qml\": \"Item {}\"}]}")
        .arg(sopid, extra).toUtf8();
}

// A copy of `program` under the name the simulator recognises as an agent.
QString agentCopy(const QString& program)
{
    const QString agent = SimProcess::root() + QStringLiteral("/agent-bin/zelvik_support_server");
    QDir().mkpath(QFileInfo(agent).absolutePath());
    QFile::remove(agent);
    return QFile::copy(QStandardPaths::findExecutable(program), agent) ? agent : QString();
}
} // namespace

class TestSim : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        QVERIFY2(!SimProcess::root().isEmpty(), "run under scripts/phone-env");
        const QByteArray tag = QTest::currentTestFunction();
        QVERIFY(m_sim.start(tag == "logCannotBeForged" ? QStringList{"ORVANA_SIM_LOG_LIMIT=400"} : QStringList()));
    }
    void cleanup() { m_sim.stop(); }

    // A stale id of another program is refused too, and an agent is ended: the agent's start-up rows of
    // tst_agent_endpoints.
    void killRefused_data()
    {
        QTest::addColumn<QString>("who");
        QTest::newRow("zero") << "0";
        QTest::newRow("negative") << "-1";
        QTest::newRow("the simulator itself") << "sim";
        QTest::newRow("not running") << "4194300";
    }

    void killRefused()
    {
        QFETCH(QString, who);
        const qint64 pid = who == QLatin1String("sim") ? m_sim.pid() : who.toLongLong();
        QVERIFY(no(kill(pid)));
        QCOMPARE(::kill(pid_t(m_sim.pid()), 0), 0);
        QVERIFY(SimProcess::logText().contains(QStringLiteral("kill of process %1 refused: ").arg(pid)));
    }

    // An agent that ignores SIGTERM is ended by SIGKILL.
    void killEndsAgent()
    {
        QProcess agent;
        agent.start(agentCopy(QStringLiteral("bash")), {QStringLiteral("-c"), QStringLiteral("trap '' TERM; echo ready; while :; do sleep 0.1; done")});
        QVERIFY(agent.waitForStarted() && agent.waitForReadyRead());
        const qint64 pid = agent.processId();
        QVERIFY(yes(kill(pid)));
        // The call's event loop may already have seen the process end.
        QVERIFY(agent.state() == QProcess::NotRunning || agent.waitForFinished(1000));
        QCOMPARE(agent.exitStatus(), QProcess::CrashExit);
        QVERIFY(SimProcess::logText().contains(QStringLiteral("agent process %1 ended").arg(pid)));
    }

    void killSparesCaller()
    {
        // An agent asking to kill its own id (a reused "selfPid") lives on.
        QProcess agent;
        agent.start(QStringLiteral("bash"), {QStringLiteral("-c"),
                                             QStringLiteral("exec '%1' --system --print-reply=literal --dest=com.orvana.compositor "
                                                            "/com/orvana/compositor com.orvana.compositor.CompositorInterface."
                                                            "killProcessesByPid int32:$$").arg(agentCopy(QStringLiteral("dbus-send")))});
        QVERIFY(agent.waitForFinished(10000));
        QCOMPARE(agent.exitStatus(), QProcess::NormalExit);
        QCOMPARE(agent.readAllStandardOutput().trimmed(), QByteArray("boolean false"));
        QVERIFY(SimProcess::logText().contains(QStringLiteral("refused: the caller itself")));
    }

    void pathsRefused_data()
    {
        QTest::addColumn<QString>("method");
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("untouched");
        const QString target = QStringLiteral("files/target");
        for (const char* method : {"fileRemove", "mkdir", "dirRemove"})
            QTest::newRow(method) << method << QStringList{QString()} << target;
        // An empty path must not turn into the simulator's working folder.
        for (const char* method : {"fileMove", "fileCopy", "dirCopy"})
            QTest::addRow("%s from empty", method) << method << QStringList{QString(), target} << target;
        QTest::newRow("folder into itself") << "dirCopy" << QStringList{"files/tree", "files/tree/inner"} << "files/tree/inner";
        QTest::newRow("link to a folder") << "dirRemove" << QStringList{"files/link"} << "files/tree/f";
    }

    void pathsRefused()
    {
        QFETCH(QString, method);
        QFETCH(QStringList, args);
        QFETCH(QString, untouched);
        const QString root = SimProcess::root() + QLatin1Char('/');
        QVERIFY(writeFile(root + QStringLiteral("files/tree/f"), "f"));
        QFile::link(root + QStringLiteral("files/tree"), root + QStringLiteral("files/link"));
        const bool exists = QFileInfo::exists(root + untouched);
        QVariantList values;
        for (const QString& arg : args)
            values << (arg.isEmpty() ? arg : root + arg);
        QVERIFY(no(SimProcess::zelvik(method, values)));
        QCOMPARE(QFileInfo::exists(root + untouched), exists);
        QCOMPARE(SimProcess::value(SimProcess::zelvik(QStringLiteral("dirList"), {QString()})).toByteArray(), QByteArray());
    }

    void packagesRefused_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::newRow("not JSON") << QByteArray("PK\x03\x04 zip?");
        QTest::newRow("no apps") << QByteArray("{\"sopid\": \"com.test.bad\"}");
        QTest::newRow("empty apps") << QByteArray("{\"sopid\": \"com.test.bad\", \"apps\": []}");
        QTest::newRow("climbing sopid") << package(QStringLiteral("../../evil"));
        QTest::newRow("slash in sopid") << package(QStringLiteral("com/evil"));
        QTest::newRow("dot first") << package(QStringLiteral(".hidden"));
        QTest::newRow("no sopid") << QByteArray("{\"apps\": [{\"uiappid\": \"main\", \"qml\": \"\"}]}");
        QTest::newRow("app without qml") << QByteArray("{\"sopid\": \"com.test.bad\", \"apps\": [{\"uiappid\": \"main\"}]}");
        QTest::newRow("bad uiappid") << QByteArray("{\"sopid\": \"com.test.bad\", \"apps\": [{\"uiappid\": \"a/b\", \"qml\": \"\"}]}");
        QTest::newRow("uninstallable not a bool") << package(QStringLiteral("com.test.bad"), QStringLiteral("\"uninstallable\": \"no\","));
    }

    void packagesRefused()
    {
        QFETCH(QByteArray, content);
        CSystemPackageManager packages;
        const QString file = SimProcess::root() + QStringLiteral("/files/bad.opk");
        QVERIFY(writeFile(file, content));
        const QDir installed(SimProcess::root() + QStringLiteral("/data/packages"));
        const QStringList before = installed.entryList(QDir::Files);
        QVERIFY(!packages.install(file, true));
        QCOMPARE(installed.entryList(QDir::Files), before);
        QVERIFY(!QFileInfo::exists(SimProcess::root() + QStringLiteral("/evil.opk")));
        QVERIFY(!packages.clearAppData(QStringLiteral("../data")));
        QVERIFY(QFileInfo::exists(SimProcess::root() + QStringLiteral("/data/packages")));
    }

    void passwordKeptSalted()
    {
        CSystemUserAuthenManager auth;
        const QString secret = QStringLiteral("tulip42secret");
        QCOMPARE(auth.setPassword(secret, CSystemUserAuthenManager::PasswordStrong), CSystemUserAuthenManager::AuthenOK);
        const auto hash = [] { return QJsonDocument::fromJson(state()).object().value(QStringLiteral("passwordHash")).toString(); };
        const QString first = hash();
        QVERIFY(!first.isEmpty());
        QCOMPARE(auth.setPassword(QString(), CSystemUserAuthenManager::PasswordNone), CSystemUserAuthenManager::AuthenOK);
        QCOMPARE(auth.setPassword(secret, CSystemUserAuthenManager::PasswordStrong), CSystemUserAuthenManager::AuthenOK);
        QVERIFY2(hash() != first, "a new salt each time");
        QVERIFY(!state().contains(secret.toUtf8()));
        QVERIFY(!SimProcess::logText().contains(secret));
        // Kept over a restart: the same password is recognised.
        m_sim.stop();
        QVERIFY(m_sim.start());
        QCOMPARE(auth.setPassword(secret, CSystemUserAuthenManager::PasswordStrong), CSystemUserAuthenManager::AuthenPasswordEqual);
    }

    void logCannotBeForged()
    {
        for (int i = 0; i < 30; ++i)
            SimProcess::call(QStringLiteral("com.orvana.sim"), QStringLiteral("/com/orvana/sim"), QStringLiteral("com.orvana.sim.Control"),
                             QStringLiteral("showToast"), {QStringLiteral("rotation %1\nforged line").arg(i)});
        const QString rotated = SimProcess::logPath() + QStringLiteral(".1");
        QVERIFY(QFileInfo(rotated).size() > 400);
        QVERIFY(QFileInfo(SimProcess::logPath()).size() < 400 + 200);
        QVERIFY(SimProcess::logText().contains(QStringLiteral("toast: rotation 29 forged line\n")));
    }

private:
    SimProcess m_sim;
};
QTEST_GUILESS_MAIN(TestSim)
#include "tst_sim.moc"
