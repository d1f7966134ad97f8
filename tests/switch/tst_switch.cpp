// The switch application against the simulated phone's compositor (orvana-sim, started here so
// that a test can also go without it), in-process and as the built program.
#include "restartchild.h"
#include "simprocess.h"
#include "switchpage.h"
#include "zelvik_support_workspace.h"

#include <applicationbootstrap.h>
#include <orvanaguicache.h>

#include <QQmlEngine>
#include <QQuickView>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

namespace {
QQuickView* view()
{
    return ORVANA::OrvanaGuiCache::qQuickView();
}

QStringList messages;
void collectMessage(QtMsgType, const QMessageLogContext&, const QString& text)
{
    messages << text;
}

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// What the agent reads at its start-up, on its own interface.
QVariant agentSwitch()
{
    return SimProcess::value(SimProcess::zelvik(QStringLiteral("getZelvikSwitch")));
}

int logCount(const QString& line)
{
    return SimProcess::logText().count(line);
}
} // namespace

class TestSwitch : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();

    void pageShowsTheSwitch_data();
    void pageShowsTheSwitch();
    void tapsSetTheSwitch_data();
    void tapsSetTheSwitch();
    void restartEndsWithStatusZero_data();
    void restartEndsWithStatusZero();
    void startsAgentService();
    void launchCompleteLogsHomeStartOnly_data();
    void launchCompleteLogsHomeStartOnly();
    void programStartsAndKeepsRunning_data();
    void programStartsAndKeepsRunning();

private:
    // compositor: "on", "off" or "absent"
    bool startCompositor(const QString& compositor);
    bool openPage(const QString& compositor);

    QTemporaryDir m_temp;
    SimProcess m_sim;
    std::unique_ptr<zelvik_support_Workspace> m_workspace;
};

void TestSwitch::initTestCase()
{
    QVERIFY(m_temp.isValid());
    view()->engine()->addImportPath(QStringLiteral(ZELVIK_QML_DIR));
    qputenv("FAKE_AGENT_RECORD", m_temp.filePath(QStringLiteral("agent-starts")).toLocal8Bit());
}

void TestSwitch::cleanup()
{
    // A process has one workspace; the next one must not find the old page still bound to "sd".
    view()->setSource(QUrl());
    m_workspace.reset();
    m_sim.stop();
}

bool TestSwitch::startCompositor(const QString& compositor)
{
    if (compositor == QLatin1String("absent"))
        return true;
    return m_sim.start()
        && SimProcess::compositor(QStringLiteral("ZelvikInterfacePre"), QStringLiteral("setZelvikSwitch"),
                                  {compositor == QLatin1String("on")}).type() == QDBusMessage::ReplyMessage;
}

bool TestSwitch::openPage(const QString& compositor)
{
    if (!startCompositor(compositor))
        return false;
    m_workspace.reset(new zelvik_support_Workspace);
    return SwitchPage(view()).waitForFrame();
}

void TestSwitch::pageShowsTheSwitch_data()
{
    QTest::addColumn<QString>("compositor");
    QTest::newRow("on") << "on";
    QTest::newRow("off") << "off";
    QTest::newRow("absent") << "absent";
}

void TestSwitch::pageShowsTheSwitch()
{
    QFETCH(QString, compositor);
    QVERIFY(openPage(compositor));
    SwitchPage page(view());
    const bool on = compositor == QLatin1String("on");
    QCOMPARE(page.switchOn(), on);
    QVERIFY(!page.buttonEnabled());
}

void TestSwitch::tapsSetTheSwitch_data()
{
    QTest::addColumn<QString>("compositor");
    QTest::newRow("from on") << "on";
    QTest::newRow("from off") << "off";
    QTest::newRow("compositor absent: the page only") << "absent";
}

void TestSwitch::tapsSetTheSwitch()
{
    QFETCH(QString, compositor);
    QVERIFY(openPage(compositor));
    SwitchPage page(view());
    const bool start = compositor == QLatin1String("on");
    for (const bool on : {!start, start}) {
        const QString line = QStringLiteral("automation switch ") + (on ? "on" : "off");
        const int before = logCount(line);
        page.tapSwitch();
        QCOMPARE(page.switchOn(), on);
        QVERIFY(page.buttonEnabled());
        if (compositor != QLatin1String("absent")) {
            QCOMPARE(agentSwitch(), QVariant(on));
            QCOMPARE(logCount(line), before + 1);
        }
    }
    if (compositor != QLatin1String("absent")) {
        // Kept by the compositor: a new page starts from the last state.
        page.tapSwitch();
        view()->setSource(QUrl());
        m_workspace.reset(new zelvik_support_Workspace);
        QVERIFY(SwitchPage(view()).waitForFrame());
        QCOMPARE(SwitchPage(view()).switchOn(), !start);
    }
}

void TestSwitch::restartEndsWithStatusZero_data()
{
    QTest::addColumn<QString>("compositor");
    QTest::newRow("compositor present") << "off";
    QTest::newRow("compositor absent") << "absent";
}

void TestSwitch::restartEndsWithStatusZero()
{
    QFETCH(QString, compositor);
    QVERIFY(startCompositor(compositor));
    QProcess child;
    QVERIFY(RestartChild::start(child));
    QCOMPARE(child.exitStatus(), QProcess::NormalExit);
    QCOMPARE(child.exitCode(), 0);
    if (compositor != QLatin1String("absent")) {
        QCOMPARE(agentSwitch(), QVariant(true));
        QCOMPARE(logCount(QStringLiteral("restart of system-main requested")), 1);
    }
}

void TestSwitch::startsAgentService()
{
    const QString record = m_temp.filePath(QStringLiteral("agent-starts"));
    QFile::remove(record);
    QVERIFY(openPage("off"));
    // One empty argument, started as a service.
    QTRY_COMPARE(readFile(record), QByteArray("1:[] option=2\n"));
}

void TestSwitch::launchCompleteLogsHomeStartOnly_data()
{
    QTest::addColumn<int>("option");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("from home") << 0 << QStringList{"Start by Home"};
    QTest::newRow("from application") << 1 << QStringList{};
    QTest::newRow("as service") << 2 << QStringList{};
    QTest::newRow("restored") << 3 << QStringList{};
}

void TestSwitch::launchCompleteLogsHomeStartOnly()
{
    QFETCH(int, option);
    QFETCH(QStringList, expected);
    QVERIFY(openPage("absent"));
    messages.clear();
    const QtMessageHandler previous = qInstallMessageHandler(collectMessage);
    m_workspace->onLaunchComplete(static_cast<ORVANA::CWorkspace::Option>(option), {});
    qInstallMessageHandler(previous);
    QCOMPARE(messages, expected);
}

void TestSwitch::programStartsAndKeepsRunning_data()
{
    QTest::addColumn<QString>("compositor");
    QTest::newRow("compositor present") << "on";
    QTest::newRow("compositor absent") << "absent";
}

// The built program from a folder of its own, with the stand-in agent and the QML modules beside it.
void TestSwitch::programStartsAndKeepsRunning()
{
    QFETCH(QString, compositor);
    QTemporaryDir dir;
    QVERIFY(dir.isValid() && QDir(dir.path()).mkdir(QStringLiteral("bin")));
    const QString program = dir.filePath(QStringLiteral("bin/zelvik_support"));
    QVERIFY(QFile::copy(QStringLiteral(ZELVIK_SUPPORT_BINARY), program));
    QVERIFY(QFile::copy(QCoreApplication::applicationDirPath() + "/zelvik_support_server",
                        dir.filePath(QStringLiteral("bin/zelvik_support_server"))));
    QVERIFY(QFile::link(QStringLiteral(ZELVIK_QML_DIR), dir.filePath(QStringLiteral("qml"))));
    QVERIFY(startCompositor(compositor));

    const QString record = dir.filePath(QStringLiteral("agent-starts"));
    QProcess app;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("FAKE_AGENT_RECORD", record);
    env.remove("ORVANA_LAUNCH_OPTION");
    env.remove("QML2_IMPORT_PATH");
    app.setProcessEnvironment(env);
    app.setProcessChannelMode(QProcess::MergedChannels);
    app.start(program, QStringList());
    QVERIFY(app.waitForStarted(5000));

    QByteArray output;
    QTRY_VERIFY_WITH_TIMEOUT((output += app.readAll()).contains("Start by Home"), 10000);
    QTRY_COMPARE(readFile(record), QByteArray("1:[] option=2\n"));
    QCOMPARE(output.contains("dbus interface connected"), compositor != QLatin1String("absent"));
    QVERIFY2(!output.contains("module \"com.orvana.basewidgets\""), output.constData());
    QVERIFY2(!app.waitForFinished(300), "the application keeps running");
    app.terminate();
    QVERIFY(app.waitForFinished(5000));
}

int main(int argc, char* argv[])
{
    if (RestartChild::isChild())
        return RestartChild::run(argc, argv);
    ORVANA::ApplicationBootstrap::ensure();
    TestSwitch test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_switch.moc"
