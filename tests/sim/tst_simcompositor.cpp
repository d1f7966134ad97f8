// The compositor, IOManager and control interfaces of orvana-sim, against the real program.
#include "fakescreen.h"
#include "simprocess.h"

#include <QDBusArgument>
#include <QDBusMetaType>
#include <QDBusVariant>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QStorageInfo>
#include <QtTest>

#include <signal.h>

namespace {
const QString kZelvik = QStringLiteral("ZelvikInterface");
const QString kCompositor = QStringLiteral("CompositorInterface");
const QString kPre = QStringLiteral("ZelvikInterfacePre");

bool writeFile(const QString& path, const QByteArray& data)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(data) == data.size();
}

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

bool boolOf(const QDBusMessage& reply)
{
    const QVariant v = SimProcess::value(reply);
    return v.userType() == QMetaType::Bool && v.toBool();
}

QString packageText(const QString& sopid)
{
    return QStringLiteral("{\"sopid\": \"%1\", \"apps\": [{\"uiappid\": \"main\", \"name\": \"Main\", "
                          "\"qml\": \"import QtQuick 2.0\\nItem {}\"}]}")
        .arg(sopid);
}
}

class TestSimCompositor : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();

    void replyTypes_data();
    void replyTypes();
    void switchRoundTrip();
    void panelsPerId();
    void toastFromApplication();

    void filesAndFolders();
    void emptyPathsFail_data();
    void emptyPathsFail();
    void moveAcrossFileSystems();
    void dirCopyIntoItselfRefused();

    void killRefused_data();
    void killRefused();
    void killSparesUnrelatedProcess();
    void killEndsAgent();
    void killForcesStubbornAgent();
    void killSparesCaller();

    void statePushedWhenScreenAppears();
    void keyEventTexts_data();
    void keyEventTexts();
    void powerAndVolumeKeys();
    void otherKeysTouchAndText();
    void launchAndQuit();
    void screenQueries();
    void absentScreenAnswersEmptyAtOnce();

    void orientation_data();
    void orientation();
    void sensorReadingsHeldUntilRecovered();

    void logLines_data();
    void logLines();
    void logRotates();

private:
    // Makes sure everything the sim sent to the screen so far has arrived.
    void flushScreen();
    QString base() const { return SimProcess::root() + QStringLiteral("/files"); }

    SimProcess m_sim;
    FakeScreen m_screen;
};

void TestSimCompositor::initTestCase()
{
    QVERIFY2(!SimProcess::root().isEmpty(), "run under scripts/phone-env");
    qDBusRegisterMetaType<QList<int>>();
    QVERIFY(m_sim.start());
}

void TestSimCompositor::cleanupTestCase()
{
    m_sim.stop();
}

void TestSimCompositor::replyTypes_data()
{
    QTest::addColumn<QString>("service");
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("interface");
    QTest::addColumn<QString>("method");
    QTest::addColumn<QVariantList>("args");
    QTest::addColumn<QString>("signature");

    const QString c = QStringLiteral("com.orvana.compositor");
    const QString p = QStringLiteral("/com/orvana/compositor");
    const QString ci = QStringLiteral("com.orvana.compositor.CompositorInterface");
    const QString zi = QStringLiteral("com.orvana.compositor.ZelvikInterface");
    const QString pi = QStringLiteral("com.orvana.compositor.ZelvikInterfacePre");
    const QString nowhere = QStringLiteral("/nonexistent/zelvik");
    struct Row { QString interface; const char* method; QVariantList args; const char* signature; };
    const QList<Row> rows = {
        {ci, "killProcessesByPid", {0}, "b"},
        {ci, "getPanelState", {1}, "b"},
        {ci, "setPanelState", {3, false}, ""},
        {zi, "getZelvikSwitch", {}, "b"},
        {zi, "getScreenImage", {}, "ay"},
        {zi, "getTopWindowPid", {}, "i"},
        {zi, "sendKeyEvent", {QStringLiteral("6,65,0,,true,")}, ""},
        {zi, "sendKeyEventWithUInput", {1, 30}, ""},
        {zi, "sendTouchEventWithUInput", {1, 0, 0, 10, 20}, ""},
        {zi, "emitSendCommitString", {QStringLiteral("x")}, ""},
        {zi, "getLatestToast", {}, "s"},
        {zi, "getScreenOrientation", {}, "i"},
        {zi, "sendOrientationEvent", {1}, ""},
        {zi, "sendAmbientLightEvent", {10}, ""},
        {zi, "sendProximityEvent", {false}, ""},
        {zi, "recoverOrientationSensor", {}, ""},
        {zi, "recoverAmbientLightSensor", {}, ""},
        {zi, "recoverProximitySensor", {}, ""},
        {zi, "fileExist", {nowhere}, "b"},
        {zi, "fileRemove", {nowhere}, "b"},
        {zi, "mkdir", {QString()}, "b"},
        {zi, "fileMove", {nowhere, nowhere + QStringLiteral("2")}, "b"},
        {zi, "fileCopy", {nowhere, nowhere + QStringLiteral("2")}, "b"},
        {zi, "dirList", {nowhere}, "ay"},
        {zi, "dirRemove", {nowhere}, "b"},
        {zi, "dirCopy", {nowhere, nowhere + QStringLiteral("2")}, "b"},
        {pi, "getZelvikSwitch", {}, "b"},
        {pi, "setZelvikSwitch", {false}, ""},
        {pi, "restartSystemMain", {}, ""},
    };
    for (const Row& row : rows)
        QTest::addRow("%s.%s", qPrintable(row.interface.section(QLatin1Char('.'), -1)), row.method)
            << c << p << row.interface << QString::fromLatin1(row.method) << row.args << QString::fromLatin1(row.signature);
    QTest::newRow("IOManager.sendAppData")
        << QStringLiteral("com.orvana.iomanager") << QStringLiteral("/com/orvana/compositor/IOManager")
        << QStringLiteral("com.orvana.compositor.IOManager") << QStringLiteral("sendAppData")
        << QVariantList{QStringLiteral("PowerLaunchRunApp\t0\tnone\tnone\t")} << QStringLiteral("b");
    QTest::newRow("IOManager.quitApps")
        << QStringLiteral("com.orvana.iomanager") << QStringLiteral("/com/orvana/compositor/IOManager")
        << QStringLiteral("com.orvana.compositor.IOManager") << QStringLiteral("quitApps")
        << QVariantList{QStringList{QStringLiteral("none/none")}} << QStringLiteral("b");
    QTest::newRow("Control.showToast") << QStringLiteral("com.orvana.sim") << QStringLiteral("/com/orvana/sim")
                                       << QStringLiteral("com.orvana.sim.Control") << QStringLiteral("showToast")
                                       << QVariantList{QStringLiteral("types")} << QString();
}

void TestSimCompositor::replyTypes()
{
    QFETCH(QString, service);
    QFETCH(QString, path);
    QFETCH(QString, interface);
    QFETCH(QString, method);
    QFETCH(QVariantList, args);
    QFETCH(QString, signature);
    QElapsedTimer clock;
    clock.start();
    const QDBusMessage reply = SimProcess::call(service, path, interface, method, args);
    QCOMPARE(reply.type(), QDBusMessage::ReplyMessage);
    QCOMPARE(reply.signature(), signature);
    // Without orvana-screen the forwarded methods still answer at once.
    QVERIFY2(clock.elapsed() < 2000, qPrintable(QString::number(clock.elapsed())));
}

void TestSimCompositor::switchRoundTrip()
{
    for (bool on : {true, false, true}) {
        QCOMPARE(SimProcess::compositor(kPre, QStringLiteral("setZelvikSwitch"), {on}).type(), QDBusMessage::ReplyMessage);
        QCOMPARE(SimProcess::value(SimProcess::zelvik(QStringLiteral("getZelvikSwitch"))), QVariant(on));
        QCOMPARE(SimProcess::value(SimProcess::compositor(kPre, QStringLiteral("getZelvikSwitch"))), QVariant(on));
    }
}

void TestSimCompositor::panelsPerId()
{
    SimProcess::compositor(kCompositor, QStringLiteral("setPanelState"), {1, true});
    SimProcess::compositor(kCompositor, QStringLiteral("setPanelState"), {2, false});
    QCOMPARE(SimProcess::value(SimProcess::compositor(kCompositor, QStringLiteral("getPanelState"), {1})), QVariant(true));
    QCOMPARE(SimProcess::value(SimProcess::compositor(kCompositor, QStringLiteral("getPanelState"), {2})), QVariant(false));
    QCOMPARE(SimProcess::value(SimProcess::compositor(kCompositor, QStringLiteral("getPanelState"), {77})), QVariant(false));
    SimProcess::compositor(kCompositor, QStringLiteral("setPanelState"), {1, false});
    QCOMPARE(SimProcess::value(SimProcess::compositor(kCompositor, QStringLiteral("getPanelState"), {1})), QVariant(false));
}

void TestSimCompositor::toastFromApplication()
{
    const QString text = QStringLiteral("Saved · 已保存");
    SimProcess::call(QStringLiteral("com.orvana.sim"), QStringLiteral("/com/orvana/sim"), QStringLiteral("com.orvana.sim.Control"),
                     QStringLiteral("showToast"), {text});
    QCOMPARE(SimProcess::value(SimProcess::zelvik(QStringLiteral("getLatestToast"))).toString(), text);
}

void TestSimCompositor::filesAndFolders()
{
    const QString a = base() + QStringLiteral("/tree/a");
    auto zelvik = [](const char* method, const QVariantList& args) {
        return SimProcess::zelvik(QString::fromLatin1(method), args);
    };
    QVERIFY(boolOf(zelvik("mkdir", {a + QStringLiteral("/b/c")})));
    QVERIFY(QFileInfo(a + QStringLiteral("/b/c")).isDir());
    QVERIFY2(boolOf(zelvik("mkdir", {a + QStringLiteral("/b")})), "an existing folder counts as made");
    QVERIFY(writeFile(a + QStringLiteral("/x.txt"), "alpha"));
    QVERIFY(writeFile(a + QStringLiteral("/.hidden"), "h"));
    QVERIFY2(!boolOf(zelvik("mkdir", {a + QStringLiteral("/x.txt")})), "a file is not a folder");

    QVERIFY(boolOf(zelvik("fileExist", {a + QStringLiteral("/x.txt")})));
    QVERIFY(!boolOf(zelvik("fileExist", {a + QStringLiteral("/nope.txt")})));

    QVERIFY(boolOf(zelvik("fileCopy", {a + QStringLiteral("/x.txt"), a + QStringLiteral("/y.txt")})));
    QCOMPARE(readFile(a + QStringLiteral("/y.txt")), QByteArray("alpha"));
    QVERIFY(writeFile(a + QStringLiteral("/x.txt"), "beta"));
    QVERIFY2(boolOf(zelvik("fileCopy", {a + QStringLiteral("/x.txt"), a + QStringLiteral("/y.txt")})), "replaces the target");
    QCOMPARE(readFile(a + QStringLiteral("/y.txt")), QByteArray("beta"));
    QVERIFY2(boolOf(zelvik("fileCopy", {a + QStringLiteral("/x.txt"), a + QStringLiteral("/./x.txt")})), "onto itself");
    QCOMPARE(readFile(a + QStringLiteral("/x.txt")), QByteArray("beta"));
    QVERIFY(!boolOf(zelvik("fileCopy", {a + QStringLiteral("/nope.txt"), a + QStringLiteral("/z.txt")})));

    QVERIFY(writeFile(a + QStringLiteral("/b/z.txt"), "old"));
    QVERIFY(boolOf(zelvik("fileMove", {a + QStringLiteral("/y.txt"), a + QStringLiteral("/b/z.txt")})));
    QVERIFY(!QFile::exists(a + QStringLiteral("/y.txt")));
    QCOMPARE(readFile(a + QStringLiteral("/b/z.txt")), QByteArray("beta"));
    QVERIFY2(boolOf(zelvik("fileMove", {a + QStringLiteral("/x.txt"), a + QStringLiteral("/x.txt")})), "onto itself");
    QCOMPARE(readFile(a + QStringLiteral("/x.txt")), QByteArray("beta"));

    QCOMPARE(SimProcess::value(zelvik("dirList", {a})).toByteArray(), QByteArray(".hidden\nb/\nx.txt\n"));
    QCOMPARE(SimProcess::value(zelvik("dirList", {a + QStringLiteral("/x.txt")})).toByteArray(), QByteArray());

    const QString copy = base() + QStringLiteral("/tree/copy");
    QVERIFY(boolOf(zelvik("dirCopy", {a, copy})));
    QCOMPARE(readFile(copy + QStringLiteral("/b/z.txt")), QByteArray("beta"));
    QCOMPARE(readFile(copy + QStringLiteral("/.hidden")), QByteArray("h"));
    QVERIFY(QFileInfo(copy + QStringLiteral("/b/c")).isDir());

    QVERIFY2(!boolOf(zelvik("fileRemove", {copy})), "fileRemove leaves folders alone");
    QVERIFY2(!boolOf(zelvik("dirRemove", {copy + QStringLiteral("/x.txt")})), "dirRemove leaves files alone");
    QVERIFY(boolOf(zelvik("dirRemove", {copy})));
    QVERIFY(!QFileInfo::exists(copy));
    QVERIFY(boolOf(zelvik("fileRemove", {a + QStringLiteral("/x.txt")})));
    QVERIFY(!QFileInfo::exists(a + QStringLiteral("/x.txt")));

    // A link to a folder is not followed into.
    QVERIFY(QFile::link(a, base() + QStringLiteral("/tree/link")));
    QVERIFY(!boolOf(zelvik("dirRemove", {base() + QStringLiteral("/tree/link")})));
    QVERIFY(QFileInfo(a + QStringLiteral("/b/z.txt")).isFile());
}

void TestSimCompositor::emptyPathsFail_data()
{
    QTest::addColumn<QString>("method");
    QTest::addColumn<int>("arguments");
    for (const char* method : {"fileExist", "fileRemove", "mkdir", "dirRemove"})
        QTest::newRow(method) << QString::fromLatin1(method) << 1;
    for (const char* method : {"fileMove", "fileCopy", "dirCopy"})
        QTest::newRow(method) << QString::fromLatin1(method) << 2;
}

void TestSimCompositor::emptyPathsFail()
{
    QFETCH(QString, method);
    QFETCH(int, arguments);
    // An empty path must not turn into the simulator's working folder.
    QVERIFY(QDir::setCurrent(SimProcess::root()));
    QVariantList args{QString()};
    if (arguments == 2)
        args << base() + QStringLiteral("/empty-target");
    const QDBusMessage reply = SimProcess::zelvik(method, args);
    QCOMPARE(reply.signature(), QStringLiteral("b"));
    QVERIFY(!boolOf(reply));
    QVERIFY(!QFileInfo::exists(base() + QStringLiteral("/empty-target")));
    QCOMPARE(SimProcess::value(SimProcess::zelvik(QStringLiteral("dirList"), {QString()})).toByteArray(), QByteArray());
}

void TestSimCompositor::moveAcrossFileSystems()
{
    const QString other = QStringLiteral("/dev/shm");
    if (!QFileInfo(other).isDir() || QStorageInfo(other).device() == QStorageInfo(SimProcess::root()).device())
        QSKIP("no second file system at hand");
    QByteArray data(3 * 1024 * 1024, Qt::Uninitialized);
    QRandomGenerator gen(7);
    for (char& c : data)
        c = char(gen.generate());
    const QString source = base() + QStringLiteral("/cross.bin");
    const QString target = other + QStringLiteral("/zelvik-sim-test-%1.bin").arg(QCoreApplication::applicationPid());
    QVERIFY(writeFile(source, data));
    QVERIFY(boolOf(SimProcess::zelvik(QStringLiteral("fileMove"), {source, target})));
    const QByteArray moved = readFile(target);
    QFile::remove(target);
    QVERIFY(moved == data);
    QVERIFY(!QFileInfo::exists(source));
}

void TestSimCompositor::dirCopyIntoItselfRefused()
{
    const QString source = base() + QStringLiteral("/loop");
    QVERIFY(writeFile(source + QStringLiteral("/f"), "f"));
    QVERIFY(!boolOf(SimProcess::zelvik(QStringLiteral("dirCopy"), {source, source + QStringLiteral("/inner")})));
    QVERIFY(!QFileInfo::exists(source + QStringLiteral("/inner")));
}

void TestSimCompositor::killRefused_data()
{
    QTest::addColumn<qint64>("pid");
    QTest::newRow("zero") << qint64(0);
    QTest::newRow("negative") << qint64(-1);
    QTest::newRow("the simulator itself") << m_sim.pid();
    QTest::newRow("not running") << qint64(4194300);
}

void TestSimCompositor::killRefused()
{
    QFETCH(qint64, pid);
    const QDBusMessage reply = SimProcess::compositor(kCompositor, QStringLiteral("killProcessesByPid"), {int(pid)});
    QCOMPARE(reply.signature(), QStringLiteral("b"));
    QVERIFY(!boolOf(reply));
    QCOMPARE(::kill(pid_t(m_sim.pid()), 0), 0);
}

void TestSimCompositor::killSparesUnrelatedProcess()
{
    QProcess sleeper;
    sleeper.start(QStringLiteral("sleep"), {QStringLiteral("30")});
    QVERIFY(sleeper.waitForStarted());
    QVERIFY(!boolOf(SimProcess::compositor(kCompositor, QStringLiteral("killProcessesByPid"), {int(sleeper.processId())})));
    QVERIFY2(!sleeper.waitForFinished(300), "a stale id of another program must not be killed");
    QVERIFY(SimProcess::logText().contains(QStringLiteral("kill of process %1 refused: not an agent process").arg(sleeper.processId())));
    sleeper.kill();
    sleeper.waitForFinished();
}

void TestSimCompositor::killEndsAgent()
{
    const QString agent = SimProcess::root() + QStringLiteral("/agent-bin/zelvik_support_server");
    QDir().mkpath(QFileInfo(agent).absolutePath());
    QFile::remove(agent);
    QVERIFY(QFile::copy(QStandardPaths::findExecutable(QStringLiteral("sleep")), agent));
    QProcess process;
    process.start(agent, {QStringLiteral("30")});
    QVERIFY(process.waitForStarted());
    const qint64 pid = process.processId();
    QVERIFY(boolOf(SimProcess::compositor(kCompositor, QStringLiteral("killProcessesByPid"), {int(pid)})));
    // The call's event loop may already have seen the process end.
    QVERIFY(process.state() == QProcess::NotRunning || process.waitForFinished(1000));
    QCOMPARE(process.exitStatus(), QProcess::CrashExit);
    QVERIFY(SimProcess::logText().contains(QStringLiteral("agent process %1 ended").arg(pid)));
}

void TestSimCompositor::killForcesStubbornAgent()
{
    const QString agent = SimProcess::root() + QStringLiteral("/agent-bin/zelvik_support_server");
    QFile::remove(agent);
    QVERIFY(QFile::copy(QStandardPaths::findExecutable(QStringLiteral("bash")), agent));
    QProcess process;
    process.start(agent, {QStringLiteral("-c"), QStringLiteral("trap '' TERM; while :; do sleep 0.1; done")});
    QVERIFY(process.waitForStarted());
    QTest::qWait(200);
    QElapsedTimer clock;
    clock.start();
    QVERIFY(boolOf(SimProcess::compositor(kCompositor, QStringLiteral("killProcessesByPid"), {int(process.processId())})));
    QVERIFY(clock.elapsed() >= 1500);
    // The call's event loop may already have seen the process end.
    QVERIFY(process.state() == QProcess::NotRunning || process.waitForFinished(1000));
}

void TestSimCompositor::killSparesCaller()
{
    // An agent asking to kill its own id (a reused "selfPid") lives on.
    const QString agent = SimProcess::root() + QStringLiteral("/agent-bin/zelvik_support_server");
    QFile::remove(agent);
    QVERIFY(QFile::copy(QStandardPaths::findExecutable(QStringLiteral("dbus-send")), agent));
    QProcess process;
    process.start(QStringLiteral("bash"), {QStringLiteral("-c"),
                                           QStringLiteral("exec '%1' --system --print-reply=literal --dest=com.orvana.compositor "
                                                          "/com/orvana/compositor com.orvana.compositor.CompositorInterface."
                                                          "killProcessesByPid int32:$$").arg(agent)});
    QVERIFY(process.waitForFinished(10000));
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.readAllStandardOutput().trimmed(), QByteArray("boolean false"));
    QVERIFY(SimProcess::logText().contains(QStringLiteral("refused: the caller itself")));
}

void TestSimCompositor::flushScreen()
{
    const QString marker = QStringLiteral("flush-%1").arg(QRandomGenerator::global()->generate());
    SimProcess::zelvik(QStringLiteral("emitSendCommitString"), {marker});
    QTRY_VERIFY(m_screen.calls.contains(QStringLiteral("commitString:") + marker));
    m_screen.calls.clear();
}

void TestSimCompositor::statePushedWhenScreenAppears()
{
    SimProcess::compositor(kCompositor, QStringLiteral("setPanelState"), {1, true});
    QVERIFY(m_screen.attach());
    for (const char* call : {"setDisplayOn:true", "setPanelOpen:true", "setOrientation:1", "setProximityNear:false"})
        QTRY_VERIFY2(m_screen.calls.contains(QLatin1String(call)), call);
    SimProcess::compositor(kCompositor, QStringLiteral("setPanelState"), {1, false});
    QTRY_VERIFY(m_screen.calls.contains(QStringLiteral("setPanelOpen:false")));
    flushScreen();
}

void TestSimCompositor::keyEventTexts_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("forwarded");
    QTest::newRow("press") << QStringLiteral("6,65,0,,true,") << QStringLiteral("sendKeyEvent:6,65,0,,true");
    QTest::newRow("release of Back") << QStringLiteral("7,16777313,0,,true,") << QStringLiteral("sendKeyEvent:7,16777313,0,,true");
    QTest::newRow("text with commas") << QStringLiteral("6,65,0,a,b,false,1") << QStringLiteral("sendKeyEvent:6,65,0,a,b,false");
    QTest::newRow("modifiers") << QStringLiteral("51,66,33554432,B,true,") << QStringLiteral("sendKeyEvent:51,66,33554432,B,true");
    QTest::newRow("type not a number") << QStringLiteral("x,65,0,,true,") << QString();
    QTest::newRow("too few fields") << QStringLiteral("6,65") << QString();
    QTest::newRow("empty") << QString() << QString();
    QTest::newRow("key with sign") << QStringLiteral("6,+65,0,,true,") << QString();
}

void TestSimCompositor::keyEventTexts()
{
    QFETCH(QString, text);
    QFETCH(QString, forwarded);
    SimProcess::zelvik(QStringLiteral("sendKeyEvent"), {text});
    const QString marker = QStringLiteral("after-key");
    SimProcess::zelvik(QStringLiteral("emitSendCommitString"), {marker});
    QTRY_VERIFY(m_screen.calls.contains(QStringLiteral("commitString:") + marker));
    const QStringList keys = m_screen.calls.filter(QStringLiteral("sendKeyEvent:"));
    m_screen.calls.clear();
    QCOMPARE(keys, forwarded.isEmpty() ? QStringList() : QStringList{forwarded});
}

void TestSimCompositor::powerAndVolumeKeys()
{
    const QString uinput = QStringLiteral("sendKeyEventWithUInput");
    SimProcess::system(QStringLiteral("setDisplayState"), {1});
    SimProcess::system(QStringLiteral("setVolume"), {2, 60});
    flushScreen();

    SimProcess::zelvik(uinput, {1, 116});
    SimProcess::zelvik(uinput, {0, 116});
    QCOMPARE(SimProcess::value(SimProcess::system(QStringLiteral("displayState"))), QVariant(0));
    QTRY_COMPARE(m_screen.calls.filter(QStringLiteral("setDisplayOn")), QStringList{QStringLiteral("setDisplayOn:false")});
    SimProcess::zelvik(uinput, {1, 116});
    QCOMPARE(SimProcess::value(SimProcess::system(QStringLiteral("displayState"))), QVariant(1));

    SimProcess::zelvik(uinput, {1, 115});
    SimProcess::zelvik(uinput, {0, 115});
    QCOMPARE(SimProcess::value(SimProcess::system(QStringLiteral("volumeByStep"), {2})), QVariant(10));
    QCOMPARE(SimProcess::value(SimProcess::zelvik(QStringLiteral("getLatestToast"))), QVariant(QStringLiteral("Volume 10/15")));
    QTRY_VERIFY(m_screen.calls.contains(QStringLiteral("showToast:Volume 10/15")));
    // A held key repeats (type 2).
    SimProcess::zelvik(uinput, {1, 114});
    SimProcess::zelvik(uinput, {2, 114});
    SimProcess::zelvik(uinput, {0, 114});
    QCOMPARE(SimProcess::value(SimProcess::system(QStringLiteral("volumeByStep"), {2})), QVariant(8));
    QCOMPARE(SimProcess::value(SimProcess::system(QStringLiteral("volume"), {2})), QVariant(53));
    flushScreen();
    QVERIFY(m_screen.calls.filter(QStringLiteral("sendKey:")).isEmpty());
}

void TestSimCompositor::otherKeysTouchAndText()
{
    SimProcess::zelvik(QStringLiteral("sendKeyEventWithUInput"), {1, 30});
    SimProcess::zelvik(QStringLiteral("sendKeyEventWithUInput"), {0, 30});
    SimProcess::zelvik(QStringLiteral("sendTouchEventWithUInput"), {1, 0, 0, 10, 20});
    SimProcess::zelvik(QStringLiteral("sendTouchEventWithUInput"), {2, 0, 0, 15, 25});
    SimProcess::zelvik(QStringLiteral("sendTouchEventWithUInput"), {0, 0, 0, 15, 25});
    SimProcess::zelvik(QStringLiteral("emitSendCommitString"), {QStringLiteral("你好, world")});
    const QStringList expected = {QStringLiteral("sendKey:1,30"), QStringLiteral("sendKey:0,30"),
                                  QStringLiteral("sendTouch:1,0,0,10,20"), QStringLiteral("sendTouch:2,0,0,15,25"),
                                  QStringLiteral("sendTouch:0,0,0,15,25"), QStringLiteral("commitString:你好, world")};
    QTRY_COMPARE(m_screen.calls, expected);
    m_screen.calls.clear();
}

void TestSimCompositor::launchAndQuit()
{
    const QString file = base() + QStringLiteral("/com.test.app.opk");
    QVERIFY(writeFile(file, packageText(QStringLiteral("com.test.app")).toUtf8()));
    QVERIFY(boolOf(SimProcess::system(QStringLiteral("install"), {file, true})));

    auto io = [](const QString& method, const QVariant& arg) {
        return SimProcess::call(QStringLiteral("com.orvana.iomanager"), QStringLiteral("/com/orvana/compositor/IOManager"),
                                QStringLiteral("com.orvana.compositor.IOManager"), method, {arg});
    };
    QVERIFY(boolOf(io(QStringLiteral("sendAppData"), QStringLiteral("PowerLaunchRunApp\t1000\tcom.test.app\tmain\t"))));
    QVERIFY(boolOf(io(QStringLiteral("sendAppData"), QStringLiteral("PowerLaunchRunApp\t0\tcom.test.app\tmain\ta\tb"))));
    QVERIFY(!boolOf(io(QStringLiteral("sendAppData"), QStringLiteral("PowerLaunchRunApp\t0\tcom.not.there\tmain\t"))));
    QVERIFY(!boolOf(io(QStringLiteral("sendAppData"), QStringLiteral("RunApp\t0\tcom.test.app\tmain\t"))));
    QVERIFY(!boolOf(io(QStringLiteral("sendAppData"), QStringLiteral("PowerLaunchRunApp\tx\tcom.test.app\tmain\t"))));
    QVERIFY(!boolOf(io(QStringLiteral("sendAppData"), QString())));
    QVERIFY(boolOf(io(QStringLiteral("quitApps"), QStringList{QStringLiteral("com.test.app/main")})));
    const QStringList expected = {QStringLiteral("launch:com.test.app,main,,1000"), QStringLiteral("launch:com.test.app,main,a|b,0"),
                                  QStringLiteral("quit:com.test.app/main")};
    QCOMPARE(m_screen.calls, expected);
    m_screen.calls.clear();
}

void TestSimCompositor::screenQueries()
{
    QCOMPARE(SimProcess::value(SimProcess::zelvik(QStringLiteral("getScreenImage"))).toByteArray(), QByteArray("\x89PNG", 4));
    QCOMPARE(SimProcess::value(SimProcess::zelvik(QStringLiteral("getTopWindowPid"))), QVariant(4242));
    const QDBusMessage list = SimProcess::system(QStringLiteral("processList"));
    QCOMPARE(list.signature(), QStringLiteral("ai"));
    QCOMPARE(qdbus_cast<QList<int>>(SimProcess::value(list).value<QDBusArgument>()), (QList<int>{11, 12}));
    QCOMPARE(SimProcess::value(SimProcess::system(QStringLiteral("sopidByPid"), {11})), QVariant(QStringLiteral("pkg.11")));
}

void TestSimCompositor::absentScreenAnswersEmptyAtOnce()
{
    m_screen.detach();
    QElapsedTimer clock;
    clock.start();
    QCOMPARE(SimProcess::value(SimProcess::zelvik(QStringLiteral("getScreenImage"))).toByteArray(), QByteArray());
    QCOMPARE(SimProcess::value(SimProcess::zelvik(QStringLiteral("getTopWindowPid"))), QVariant(0));
    QCOMPARE(SimProcess::system(QStringLiteral("processList")).signature(), QStringLiteral("ai"));
    QCOMPARE(SimProcess::value(SimProcess::system(QStringLiteral("sopidByPid"), {11})), QVariant(QString()));
    const QDBusMessage launched = SimProcess::call(
        QStringLiteral("com.orvana.iomanager"), QStringLiteral("/com/orvana/compositor/IOManager"),
        QStringLiteral("com.orvana.compositor.IOManager"), QStringLiteral("sendAppData"),
        {QStringLiteral("PowerLaunchRunApp\t0\tcom.test.app\tmain\t")});
    QCOMPARE(launched.signature(), QStringLiteral("b"));
    QVERIFY(!boolOf(launched));
    QVERIFY2(clock.elapsed() < 2000, qPrintable(QString::number(clock.elapsed())));
}

void TestSimCompositor::orientation_data()
{
    QTest::addColumn<bool>("allowed");
    QTest::addColumn<int>("reading");
    QTest::addColumn<int>("expected");
    QTest::newRow("1 upright") << true << 1 << 1;
    QTest::newRow("2 to 4") << true << 2 << 4;
    QTest::newRow("3 to 2") << true << 3 << 2;
    QTest::newRow("4 to 8") << true << 4 << 8;
    QTest::newRow("0 ignored") << true << 0 << 1;
    QTest::newRow("5 ignored") << true << 5 << 1;
    QTest::newRow("not allowed") << false << 2 << 1;
}

void TestSimCompositor::orientation()
{
    QFETCH(bool, allowed);
    QFETCH(int, reading);
    QFETCH(int, expected);
    QVERIFY(boolOf(SimProcess::system(QStringLiteral("setConfigValue"),
                                      {QStringLiteral("com.orvana.settings.rotationAllowed"), QStringLiteral("group"),
                                       QStringLiteral("SYSTEM_ROTATIONALLOWED"), QVariant::fromValue(QDBusVariant(allowed))})));
    SimProcess::zelvik(QStringLiteral("recoverOrientationSensor"));
    QCOMPARE(SimProcess::value(SimProcess::zelvik(QStringLiteral("getScreenOrientation"))), QVariant(1));
    SimProcess::zelvik(QStringLiteral("sendOrientationEvent"), {reading});
    QCOMPARE(SimProcess::value(SimProcess::zelvik(QStringLiteral("getScreenOrientation"))), QVariant(expected));
}

void TestSimCompositor::sensorReadingsHeldUntilRecovered()
{
    auto stateValue = [](const char* key) {
        QFile file(SimProcess::root() + QStringLiteral("/data/sim/state.json"));
        file.open(QIODevice::ReadOnly);
        return QJsonDocument::fromJson(file.readAll()).object().value(QLatin1String(key));
    };
    SimProcess::zelvik(QStringLiteral("sendAmbientLightEvent"), {300});
    SimProcess::zelvik(QStringLiteral("sendProximityEvent"), {true});
    QTest::qWait(100);
    QCOMPARE(stateValue("ambientLight").toInt(), 300);
    QCOMPARE(stateValue("proximityNear").toBool(), true);
    SimProcess::zelvik(QStringLiteral("recoverAmbientLightSensor"));
    SimProcess::zelvik(QStringLiteral("recoverProximitySensor"));
    QCOMPARE(stateValue("ambientLight").toInt(), -1);
    QCOMPARE(stateValue("proximityNear").toBool(), false);
}

void TestSimCompositor::logLines_data()
{
    QTest::addColumn<QString>("line");
    for (const char* line : {"orvana-sim started", "automation switch on", "panel 1 open", "toast: Saved · 已保存",
                             "make folder \"", "copy \"", "move \"", "remove folder \"", "kill of process 0 refused",
                             "killing agent process", "key 116 press", "display off", "touch press slot 0 at 10,20",
                             "touch release slot 0 at 15,25", "launch com.test.app/main for user 1000",
                             "quit com.test.app/main", "package com.test.app installed", "screen orientation 4",
                             "restart of system-main requested", "proximity reading near"})
        QTest::newRow(line) << QString::fromUtf8(line);
}

void TestSimCompositor::logLines()
{
    QFETCH(QString, line);
    const QStringList lines = SimProcess::logText().split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QVERIFY(!lines.isEmpty());
    static const QRegularExpression shape(QStringLiteral("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d{3} orvana-sim\\[\\d+\\]: "));
    for (const QString& l : lines)
        QVERIFY2(shape.match(l).hasMatch(), qPrintable(l));
    QVERIFY2(!lines.filter(line).isEmpty(), qPrintable(line));
}

void TestSimCompositor::logRotates()
{
    m_sim.stop();
    QVERIFY(m_sim.start({QStringLiteral("ORVANA_SIM_LOG_LIMIT=400")}));
    for (int i = 0; i < 30; ++i)
        SimProcess::call(QStringLiteral("com.orvana.sim"), QStringLiteral("/com/orvana/sim"), QStringLiteral("com.orvana.sim.Control"),
                         QStringLiteral("showToast"), {QStringLiteral("rotation %1\nforged line").arg(i)});
    const QString rotated = SimProcess::logPath() + QStringLiteral(".1");
    QVERIFY(QFileInfo::exists(rotated));
    QVERIFY(QFileInfo(SimProcess::logPath()).size() < 400 + 200);
    QVERIFY(QFileInfo(rotated).size() > 400);
    QVERIFY(SimProcess::logText().contains(QStringLiteral("toast: rotation 29 forged line\n")));
    m_sim.stop();
    QVERIFY(m_sim.start());
}

QTEST_GUILESS_MAIN(TestSimCompositor)
#include "tst_simcompositor.moc"
