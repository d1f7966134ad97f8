// The switch application against the simulated phone's compositor (orvana-sim, started here so
// that a test can also go without it), in-process and as the built program.
#include "simprocess.h"
#include "zelvik_support_workspace.h"

#include <applicationbootstrap.h>
#include <orvanaguicache.h>

#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickView>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <memory>

namespace {
QQuickView* view() { return ORVANA::OrvanaGuiCache::qQuickView(); }
QQuickItem* item(const char* name) { return view()->rootObject() ? view()->rootObject()->findChild<QQuickItem*>(QLatin1String(name)) : nullptr; }
bool switchOn() { return item("layoutSwitch")->property("switchOn").toBool(); }
bool buttonEnabled() { return item("rbsystemmian")->isEnabled(); }

// The page is (re)loaded: waits until it has been drawn.
bool waitForFrame()
{
    if (!QTest::qWaitForWindowExposed(view()))
        return false;
    QSignalSpy frames(view(), &QQuickWindow::frameSwapped);
    view()->update();
    return frames.wait(5000) && item("layoutSwitch") && item("rbsystemmian");
}

// As a finger would.
void tap(const char* name)
{
    QQuickItem* target = item(name);
    QTest::mouseClick(view(), Qt::LeftButton, Qt::NoModifier, target->mapToScene(QPointF(target->width() / 2, target->height() / 2)).toPoint());
}

QStringList messages;
void collectMessage(QtMsgType, const QMessageLogContext&, const QString& text) { messages << text; }

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// What the agent reads at its start-up, on its own interface.
QVariant agentSwitch() { return SimProcess::value(SimProcess::zelvik(QStringLiteral("getZelvikSwitch"))); }
int logCount(const QString& line) { return SimProcess::logText().count(line); }

// The restart button ends the process, so it is tapped in a child: this program run again with
// SWITCH_TEST_RESTART_CHILD set, which taps the switch, then the button, in the application's
// own event loop. Exit codes 3-5: it did not get as far as the button or did not end.
const char childVariable[] = "SWITCH_TEST_RESTART_CHILD";
int restartChild(int argc, char* argv[])
{
    ORVANA::ApplicationBootstrap::ensure();
    view()->engine()->addImportPath(QStringLiteral(ZELVIK_QML_DIR));
    zelvik_support_Workspace workspace;
    QTimer::singleShot(0, [] {
        if (!waitForFrame())
            return QCoreApplication::exit(4);
        tap("layoutSwitch");
        if (!buttonEnabled())
            return QCoreApplication::exit(5);
        tap("rbsystemmian");
    });
    QTimer::singleShot(15000, [] { QCoreApplication::exit(3); });
    return ORVANA::OrvanaGuiCache::qApplication(argc, argv, &workspace);
}
} // namespace

class TestSwitch : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        view()->engine()->addImportPath(QStringLiteral(ZELVIK_QML_DIR));
    }

    void cleanup()
    {
        // A process has one workspace; the next one must not find the old page still bound to "sd".
        view()->setSource(QUrl());
        m_workspace.reset();
        m_sim.stop();
    }

    void tapsSetTheSwitch_data()
    {
        QTest::addColumn<QString>("compositor");
        for (const char* state : {"on", "off", "absent"})
            QTest::newRow(state) << state;
    }

    // The page shows the compositor's state (off without one) and the restart button disabled until
    // a tap; without the compositor, taps change the page only.
    void tapsSetTheSwitch()
    {
        QFETCH(QString, compositor);
        QVERIFY(openPage(compositor));
        const bool start = compositor == QLatin1String("on");
        const bool present = compositor != QLatin1String("absent");
        QCOMPARE(switchOn(), start);
        QVERIFY(!buttonEnabled());
        for (const bool on : {!start, start}) {
            const QString line = QStringLiteral("automation switch ") + (on ? "on" : "off");
            const int before = logCount(line);
            tap("layoutSwitch");
            QCOMPARE(switchOn(), on);
            QVERIFY(buttonEnabled());
            QCOMPARE(present ? agentSwitch() : QVariant(on), QVariant(on));
            QCOMPARE(logCount(line), before + present);
        }
        if (present) {
            // Kept by the compositor: a new page starts from the last state.
            tap("layoutSwitch");
            view()->setSource(QUrl());
            m_workspace.reset(new zelvik_support_Workspace);
            QVERIFY(waitForFrame());
            QCOMPARE(switchOn(), !start);
        }
    }

    void restartEndsWithStatusZero_data()
    {
        QTest::addColumn<QString>("compositor");
        QTest::newRow("compositor present") << "off";
        QTest::newRow("compositor absent") << "absent";
    }

    void restartEndsWithStatusZero()
    {
        QFETCH(QString, compositor);
        QVERIFY(startCompositor(compositor));
        qputenv(childVariable, "1");
        const int status = QProcess::execute(QCoreApplication::applicationFilePath(), QStringList());
        qunsetenv(childVariable);
        QCOMPARE(status, 0);
        if (compositor != QLatin1String("absent")) {
            QCOMPARE(agentSwitch(), QVariant(true));
            QCOMPARE(logCount(QStringLiteral("restart of system-main requested")), 1);
        }
    }

    // Options: from home, from an application, as a service, restored.
    void launchCompleteLogsHomeStartOnly()
    {
        QVERIFY(openPage("absent"));
        messages.clear();
        const QtMessageHandler previous = qInstallMessageHandler(collectMessage);
        for (int option = 0; option < 4; ++option) {
            m_workspace->onLaunchComplete(static_cast<ORVANA::CWorkspace::Option>(option), {});
            messages << QString::number(option);
        }
        qInstallMessageHandler(previous);
        QCOMPARE(messages, (QStringList{"Start by Home", "0", "1", "2", "3"}));
    }
    void programStartsAndKeepsRunning_data() { restartEndsWithStatusZero_data(); }

    // The built program from a folder of its own, with the stand-in agent and the QML modules beside
    // it. It starts the agent with one empty argument, as a service.
    void programStartsAndKeepsRunning()
    {
        QFETCH(QString, compositor);
        QTemporaryDir dir;
        QVERIFY(dir.isValid() && QDir(dir.path()).mkdir(QStringLiteral("bin")));
        const QString program = dir.filePath(QStringLiteral("bin/zelvik_support"));
        QVERIFY(QFile::copy(QStringLiteral(ZELVIK_SUPPORT_BINARY), program));
        QVERIFY(QFile::copy(QCoreApplication::applicationDirPath() + "/zelvik_support_server", dir.filePath(QStringLiteral("bin/zelvik_support_server"))));
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

private:
    // compositor: "on", "off" or "absent"

    bool startCompositor(const QString& compositor)
    {
        return compositor == QLatin1String("absent")
            || (m_sim.start()
                && SimProcess::compositor(QStringLiteral("ZelvikInterfacePre"), QStringLiteral("setZelvikSwitch"), {compositor == QLatin1String("on")})
                           .type() == QDBusMessage::ReplyMessage);
    }

    bool openPage(const QString& compositor)
    {
        if (!startCompositor(compositor))
            return false;
        m_workspace.reset(new zelvik_support_Workspace);
        return waitForFrame();
    }

    SimProcess m_sim;
    std::unique_ptr<zelvik_support_Workspace> m_workspace;
};
int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsSet(childVariable))
        return restartChild(argc, argv);
    ORVANA::ApplicationBootstrap::ensure();
    TestSwitch test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_switch.moc"
