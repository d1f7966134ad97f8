// The switch application against a fake compositor on the private system bus.
#include "compositorprocess.h"
#include "restartchild.h"
#include "switchpage.h"
#include "zelvik_support_workspace.h"

#include <applicationbootstrap.h>
#include <orvanaguicache.h>

#include <QFile>
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

} // namespace

class TestSwitchApp : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();

    void pageShowsCompositorState_data();
    void pageShowsCompositorState();
    void userTapsSendSetSwitch_data();
    void userTapsSendSetSwitch();
    void tapsWithoutCompositorChangeOnlyThePage();
    void restartEndsWithStatusZero_data();
    void restartEndsWithStatusZero();
    void startsAgentService();
    void launchCompleteLogsHomeStartOnly_data();
    void launchCompleteLogsHomeStartOnly();
    void programStartsAndKeepsRunning_data();
    void programStartsAndKeepsRunning();

private:
    bool openPage(const QString& compositor);

    QTemporaryDir m_temp;
    CompositorProcess m_compositor;
    std::unique_ptr<zelvik_support_Workspace> m_workspace;
};

void TestSwitchApp::initTestCase()
{
    QVERIFY(m_temp.isValid());
    view()->engine()->addImportPath(QStringLiteral(ZELVIK_QML_DIR));
    qputenv("FAKE_AGENT_RECORD", m_temp.filePath(QStringLiteral("agent-starts")).toLocal8Bit());
}

void TestSwitchApp::cleanup()
{
    // A process has one workspace; here the next one must not find the old page still bound
    // to "sd" (publishing a new "sd" would make the old page read the switch again).
    view()->setSource(QUrl());
    m_workspace.reset();
    m_compositor.stop();
}

// compositor: "on", "off" or "absent"
bool TestSwitchApp::openPage(const QString& compositor)
{
    if (compositor != QLatin1String("absent") && !m_compositor.start(compositor == QLatin1String("on")))
        return false;
    m_workspace.reset(new zelvik_support_Workspace);
    return SwitchPage(view()).waitForFrame();
}

void TestSwitchApp::pageShowsCompositorState_data()
{
    QTest::addColumn<QString>("compositor");
    QTest::addColumn<bool>("expectedOn");
    QTest::addColumn<QStringList>("expectedCalls");
    QTest::newRow("on") << "on" << true << QStringList{"getZelvikSwitch"};
    QTest::newRow("off") << "off" << false << QStringList{"getZelvikSwitch"};
    QTest::newRow("absent") << "absent" << false << QStringList{};
}

void TestSwitchApp::pageShowsCompositorState()
{
    QFETCH(QString, compositor);
    QFETCH(bool, expectedOn);
    QFETCH(QStringList, expectedCalls);
    QVERIFY(openPage(compositor));
    SwitchPage page(view());

    QCOMPARE(page.switchOn(), expectedOn);
    QVERIFY(!page.buttonEnabled());
    QTRY_COMPARE(page.drawnSwitchState(), QString(expectedOn ? "on" : "off"));
    QVERIFY(page.saveArtifact(QStringLiteral("page-") + compositor));
    QCOMPARE(m_compositor.calls(), expectedCalls);
}

void TestSwitchApp::userTapsSendSetSwitch_data()
{
    QTest::addColumn<bool>("startOn");
    QTest::newRow("from on") << true;
    QTest::newRow("from off") << false;
}

void TestSwitchApp::userTapsSendSetSwitch()
{
    QFETCH(bool, startOn);
    QVERIFY(openPage(startOn ? "on" : "off"));
    SwitchPage page(view());
    const QString first = startOn ? "setZelvikSwitch false" : "setZelvikSwitch true";
    const QString second = startOn ? "setZelvikSwitch true" : "setZelvikSwitch false";

    page.tapSwitch();
    QCOMPARE(page.switchOn(), !startOn);
    QVERIFY(page.buttonEnabled());
    QTRY_COMPARE(m_compositor.calls(), (QStringList{"getZelvikSwitch", first}));
    QTRY_COMPARE(page.drawnSwitchState(), QString(startOn ? "off" : "on"));
    QVERIFY(page.saveArtifact(QStringLiteral("tapped-") + (startOn ? "from-on" : "from-off")));

    page.tapSwitch();
    QCOMPARE(page.switchOn(), startOn);
    QVERIFY(page.buttonEnabled());
    QTRY_COMPARE(m_compositor.calls(), (QStringList{"getZelvikSwitch", first, second}));
}

void TestSwitchApp::tapsWithoutCompositorChangeOnlyThePage()
{
    QVERIFY(openPage("absent"));
    SwitchPage page(view());
    page.tapSwitch();
    QVERIFY(page.switchOn());
    QVERIFY(page.buttonEnabled());
    page.tapSwitch();
    QVERIFY(!page.switchOn());
    QVERIFY(page.buttonEnabled());
}

void TestSwitchApp::restartEndsWithStatusZero_data()
{
    QTest::addColumn<bool>("withCompositor");
    QTest::newRow("compositor present") << true;
    QTest::newRow("compositor absent") << false;
}

void TestSwitchApp::restartEndsWithStatusZero()
{
    QFETCH(bool, withCompositor);
    if (withCompositor)
        QVERIFY(m_compositor.start(false));

    QProcess child;
    QVERIFY(RestartChild::start(child));
    QCOMPARE(child.exitStatus(), QProcess::NormalExit);
    QCOMPARE(child.exitCode(), 0);
    if (withCompositor) {
        QTRY_COMPARE(m_compositor.calls(),
                     (QStringList{"getZelvikSwitch", "setZelvikSwitch true", "restartSystemMain"}));
    }
}

void TestSwitchApp::startsAgentService()
{
    const QString record = m_temp.filePath(QStringLiteral("agent-starts"));
    QFile::remove(record);
    QVERIFY(openPage("off"));
    // One empty argument, started as a service.
    QTRY_COMPARE(readFile(record), QByteArray("1:[] option=2\n"));
}

void TestSwitchApp::launchCompleteLogsHomeStartOnly_data()
{
    QTest::addColumn<int>("option");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("from home") << 0 << QStringList{"Start by Home"};
    QTest::newRow("from application") << 1 << QStringList{};
    QTest::newRow("as service") << 2 << QStringList{};
    QTest::newRow("restored") << 3 << QStringList{};
}

void TestSwitchApp::launchCompleteLogsHomeStartOnly()
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

void TestSwitchApp::programStartsAndKeepsRunning_data()
{
    QTest::addColumn<bool>("withCompositor");
    QTest::newRow("compositor present") << true;
    QTest::newRow("compositor absent") << false;
}

// The built program from a folder of its own, with the stand-in agent beside it.
void TestSwitchApp::programStartsAndKeepsRunning()
{
    QFETCH(bool, withCompositor);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("bin")));
    const QString program = dir.filePath(QStringLiteral("bin/zelvik_support"));
    QVERIFY(QFile::copy(QStringLiteral(ZELVIK_SUPPORT_BINARY), program));
    QVERIFY(QFile::copy(QCoreApplication::applicationDirPath() + "/zelvik_support_server",
                        dir.filePath(QStringLiteral("bin/zelvik_support_server"))));
    QVERIFY(QFile::link(QStringLiteral(ZELVIK_QML_DIR), dir.filePath(QStringLiteral("qml"))));
    if (withCompositor)
        QVERIFY(m_compositor.start(true));

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
    QCOMPARE(output.contains("dbus interface connected"), withCompositor);
    QVERIFY2(!output.contains("module \"com.orvana.basewidgets\""), output.constData());
    if (withCompositor)
        QTRY_COMPARE(m_compositor.calls(), QStringList{"getZelvikSwitch"});

    QTest::qWait(300);
    QCOMPARE(app.state(), QProcess::Running);
    app.terminate();
    QVERIFY(app.waitForFinished(5000));
}

int main(int argc, char* argv[])
{
    if (RestartChild::isChild())
        return RestartChild::run(argc, argv);
    ORVANA::ApplicationBootstrap::ensure();
    TestSwitchApp test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_switchapp.moc"
