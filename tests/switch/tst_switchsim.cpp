// The switch application against the simulated phone's compositor (orvana-sim), started by
// phone-env with the switch on.
#include "restartchild.h"
#include "switchpage.h"
#include "zelvik_support_workspace.h"

#include <applicationbootstrap.h>
#include <devicepath.h>
#include <orvanaguicache.h>

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusInterface>
#include <QDBusReply>
#include <QFile>
#include <QQmlEngine>
#include <QQuickView>
#include <QTest>
#include <memory>

namespace {
QQuickView* view()
{
    return ORVANA::OrvanaGuiCache::qQuickView();
}

int systemLogLines()
{
    QFile log(ORVANA::devicePath(QStringLiteral("/data/log/message")));
    return log.open(QIODevice::ReadOnly) ? log.readAll().count('\n') : 0;
}
} // namespace

class TestSwitchSim : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();

    void pageShowsSwitchSetBeforeStart();
    void tapsChangeTheSwitchTheAgentReads();
    void restartIsRequestedAndEndsWithZero();

private:
    bool agentSwitch();
    bool openPage();

    std::unique_ptr<zelvik_support_Workspace> m_workspace;
};

void TestSwitchSim::initTestCase()
{
    view()->engine()->addImportPath(QStringLiteral(ZELVIK_QML_DIR));
    QVERIFY(QDBusConnection::systemBus().interface()->isServiceRegistered(
        QStringLiteral("com.orvana.compositor")));
}

void TestSwitchSim::cleanup()
{
    view()->setSource(QUrl());
    m_workspace.reset();
}

bool TestSwitchSim::openPage()
{
    m_workspace.reset(new zelvik_support_Workspace);
    return SwitchPage(view()).waitForFrame();
}

// What the agent reads at its start-up, on its own interface.
bool TestSwitchSim::agentSwitch()
{
    QDBusInterface agentView(QStringLiteral("com.orvana.compositor"), QStringLiteral("/com/orvana/compositor"),
                             QStringLiteral("com.orvana.compositor.ZelvikInterface"),
                             QDBusConnection::systemBus());
    const QDBusReply<bool> reply = agentView.call(QStringLiteral("getZelvikSwitch"));
    return reply.isValid() && reply.value();
}

void TestSwitchSim::pageShowsSwitchSetBeforeStart()
{
    QVERIFY(openPage());
    SwitchPage page(view());
    QVERIFY(page.switchOn());
    QTRY_COMPARE(page.drawnSwitchState(), QStringLiteral("on"));
    QVERIFY(page.saveArtifact(QStringLiteral("sim-page")));
}

void TestSwitchSim::tapsChangeTheSwitchTheAgentReads()
{
    QVERIFY(openPage());
    SwitchPage page(view());
    const bool start = page.switchOn();
    QCOMPARE(agentSwitch(), start);

    int lines = systemLogLines();
    page.tapSwitch();
    QCOMPARE(agentSwitch(), !start);
    QVERIFY(systemLogLines() > lines);

    lines = systemLogLines();
    page.tapSwitch();
    QCOMPARE(agentSwitch(), start);
    QVERIFY(systemLogLines() > lines);

    // Kept by the compositor: a new page starts from the last state.
    page.tapSwitch();
    cleanup();
    QVERIFY(openPage());
    QCOMPARE(SwitchPage(view()).switchOn(), !start);
}

void TestSwitchSim::restartIsRequestedAndEndsWithZero()
{
    const bool before = agentSwitch();
    const int lines = systemLogLines();
    QProcess child;
    QVERIFY(RestartChild::start(child));
    QCOMPARE(child.exitStatus(), QProcess::NormalExit);
    QCOMPARE(child.exitCode(), 0);
    QCOMPARE(agentSwitch(), !before);
    // One line for the switch, one for the restart.
    QVERIFY(systemLogLines() >= lines + 2);
}

int main(int argc, char* argv[])
{
    if (RestartChild::isChild())
        return RestartChild::run(argc, argv);
    ORVANA::ApplicationBootstrap::ensure();
    TestSwitchSim test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_switchsim.moc"
