// The platform system classes against orvana-sim: round trips, persistence, absence, threads.
#include "simprocess.h"

#include <caudiomanager.h>
#include <cnetworkmanager.h>
#include <cosinfo.h>
#include <cprocessmanager.h>
#include <csystemconfig.h>
#include <csystemdeviceinfo.h>
#include <csystemdisplaysettings.h>
#include <csystempackagemanager.h>
#include <csystempowermanager.h>
#include <csystemuserauthenmanager.h>
#include <ctime.h>

#include <QAtomicInt>
#include <QElapsedTimer>
#include <QFile>
#include <QThread>
#include <QtTest>

#include <memory>
#include <vector>

using Auth = CSystemUserAuthenManager;

class TestSimPlatform : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();

    void powerManager();
    void lockState();
    void passwords_data();
    void passwords();
    void passwordNeverStored();
    void deviceFacts();
    void displaySettings();
    void clock();
    void config_data();
    void config();
    void configKeysAreSeparate();
    void audio();
    void networkAndProcesses();
    void oneObjectManyThreads();
    void stateSurvivesRestart();
    void emptyValuesWithoutService();

private:
    SimProcess m_sim;
    CSystemPowerManager m_power;
    CSystemUserAuthenManager m_auth;
    COsInfo m_os;
    CSystemDeviceInfo m_device;
    CSystemDisplaySettings m_display;
    CTime m_time;
    CSystemConfig m_config;
    CNetworkManager m_network;
    CProcessManager m_processes;
    CSystemPackageManager m_packages;
    CAudioManager m_audio;
};

void TestSimPlatform::initTestCase()
{
    QVERIFY2(!SimProcess::root().isEmpty(), "run under scripts/phone-env");
    QVERIFY(m_sim.start());
}

void TestSimPlatform::cleanupTestCase()
{
    m_sim.stop();
}

void TestSimPlatform::powerManager()
{
    for (auto state : {CSystemPowerManager::DisplayDim, CSystemPowerManager::DisplayOff, CSystemPowerManager::DisplayOn}) {
        QVERIFY(m_power.setDisplayState(state));
        QCOMPARE(m_power.displayState(), state);
    }
    QVERIFY(!m_power.setDisplayState(CSystemPowerManager::DisplayState(7)));
    QCOMPARE(m_power.displayState(), CSystemPowerManager::DisplayOn);
}

void TestSimPlatform::lockState()
{
    QVERIFY(m_auth.setScreenState(CUserAuthenManager::ScreenLocked));
    QCOMPARE(m_auth.screenState(), CUserAuthenManager::ScreenLocked);
    QVERIFY(m_auth.setScreenState(CUserAuthenManager::ScreenUnlocked));
    QCOMPARE(m_auth.screenState(), CUserAuthenManager::ScreenUnlocked);
    QVERIFY(!m_auth.setScreenState(CUserAuthenManager::ScreenState(-3)));
}

void TestSimPlatform::passwords_data()
{
    // Rows run in order: each starts from the password the rows above left.
    QTest::addColumn<QString>("password");
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("code");
    QTest::addColumn<bool>("exists");
    QTest::newRow("empty weak") << QString() << int(Auth::PasswordWeak) << int(Auth::AuthenPasswordIsEmpty) << false;
    QTest::newRow("weak with letters") << QStringLiteral("12ab") << int(Auth::PasswordWeak) << int(Auth::AuthenPasswordTypeMismatch) << false;
    QTest::newRow("weak too short") << QStringLiteral("123") << int(Auth::PasswordWeak) << int(Auth::AuthenPasswordTypeMismatch) << false;
    QTest::newRow("unknown type") << QStringLiteral("1234") << 9 << int(Auth::AuthenTypeIsInvalid) << false;
    QTest::newRow("weak") << QStringLiteral("1234") << int(Auth::PasswordWeak) << int(Auth::AuthenOK) << true;
    QTest::newRow("same again") << QStringLiteral("1234") << int(Auth::PasswordWeak) << int(Auth::AuthenPasswordEqual) << true;
    QTest::newRow("strong without digit") << QStringLiteral("abcdefg") << int(Auth::PasswordStrong) << int(Auth::AuthenPasswordTypeMismatch) << true;
    QTest::newRow("strong") << QStringLiteral("abc123") << int(Auth::PasswordStrong) << int(Auth::AuthenOK) << true;
    QTest::newRow("graphic repeating a point") << QStringLiteral("1337") << int(Auth::PasswordGraphic) << int(Auth::AuthenPasswordTypeMismatch) << true;
    QTest::newRow("graphic") << QStringLiteral("1357") << int(Auth::PasswordGraphic) << int(Auth::AuthenOK) << true;
    QTest::newRow("none with text") << QStringLiteral("1") << int(Auth::PasswordNone) << int(Auth::AuthenPasswordTypeMismatch) << true;
    QTest::newRow("none") << QString() << int(Auth::PasswordNone) << int(Auth::AuthenOK) << false;
}

void TestSimPlatform::passwords()
{
    QFETCH(QString, password);
    QFETCH(int, type);
    QFETCH(int, code);
    QFETCH(bool, exists);
    QCOMPARE(int(m_auth.setPassword(password, Auth::PasswordType(type))), code);
    QCOMPARE(m_auth.passwordExists(), exists);
}

void TestSimPlatform::passwordNeverStored()
{
    const QString secret = QStringLiteral("tulip42secret");
    QCOMPARE(m_auth.setPassword(secret, Auth::PasswordStrong), Auth::AuthenOK);
    QFile state(SimProcess::root() + QStringLiteral("/data/sim/state.json"));
    QVERIFY(state.open(QIODevice::ReadOnly));
    QVERIFY(!state.readAll().contains(secret.toUtf8()));
    QVERIFY(!SimProcess::logText().contains(secret));
    QCOMPARE(m_auth.setPassword(QString(), Auth::PasswordNone), Auth::AuthenOK);
}

void TestSimPlatform::deviceFacts()
{
    QCOMPARE(m_os.osVersion(), QStringLiteral("3.0.0-sim"));
    QVERIFY(QRegularExpression(QStringLiteral("^SIM[0-9A-F]{12}$")).match(m_device.uniqueDeviceId()).hasMatch());
}

void TestSimPlatform::displaySettings()
{
    QVERIFY(m_display.setBlankTimeout(120));
    QVERIFY(m_display.setDimTimeout(15));
    QVERIFY(!m_display.setBlankTimeout(-1));
    QCOMPARE(m_display.blankTimeout(), 120);
    QCOMPARE(m_display.dimTimeout(), 15);
    for (bool on : {true, false, true}) {
        QVERIFY(m_display.setAmbientLightSensorEnabled(on));
        QCOMPARE(m_display.ambientLightSensorEnabled(), on);
    }
}

void TestSimPlatform::clock()
{
    const QDateTime when(QDate(2030, 1, 2), QTime(3, 4, 5), Qt::UTC);
    QVERIFY(m_time.setTime(when));
    const qint64 now = SimProcess::value(SimProcess::system(QStringLiteral("time"))).toLongLong();
    QVERIFY(qAbs(now - when.toMSecsSinceEpoch()) < 5000);
    QVERIFY(!m_time.setTime(QDateTime()));
    for (auto status : {CTime::AutoSystemTimeOff, CTime::AutoSystemTimeOn}) {
        QVERIFY(m_time.setAutoSystemTime(status));
        QCOMPARE(m_time.autoSystemTime(), status);
    }
    QVERIFY(!m_time.setAutoSystemTime(CTime::AutoSystemTimeStatus(5)));
    QCOMPARE(m_time.autoSystemTime(), CTime::AutoSystemTimeOn);
}

void TestSimPlatform::config_data()
{
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<bool>("kept");
    QTest::newRow("true") << QVariant(true) << true;
    QTest::newRow("false") << QVariant(false) << true;
    QTest::newRow("int") << QVariant(-5) << true;
    QTest::newRow("uint") << QVariant(4000000000u) << true;
    QTest::newRow("long long") << QVariant(qlonglong(1) << 60) << true;
    QTest::newRow("unsigned long long") << QVariant(~qulonglong(0)) << true;
    QTest::newRow("double") << QVariant(2.5) << true;
    QTest::newRow("text") << QVariant(QStringLiteral("héllo, 世界")) << true;
    QTest::newRow("empty text") << QVariant(QString()) << true;
    QTest::newRow("text list") << QVariant(QStringList{QStringLiteral("a"), QString(), QStringLiteral("c")}) << true;
    QTest::newRow("date") << QVariant(QDateTime::currentDateTime()) << false;
    QTest::newRow("invalid") << QVariant() << false;
}

void TestSimPlatform::config()
{
    QFETCH(QVariant, value);
    QFETCH(bool, kept);
    const QString key = QString::fromLatin1(QTest::currentDataTag());
    QCOMPARE(m_config.setValue(QStringLiteral("com.test"), QStringLiteral("group"), key, value), kept);
    const QVariant back = m_config.value(QStringLiteral("com.test"), QStringLiteral("group"), key);
    if (!kept) {
        QVERIFY(!back.isValid());
        return;
    }
    QCOMPARE(back.userType(), value.userType());
    QCOMPARE(back, value);
}

void TestSimPlatform::configKeysAreSeparate()
{
    QVERIFY(!m_config.value(QStringLiteral("never"), QStringLiteral("set"), QStringLiteral("key")).isValid());
    QVERIFY(m_config.setValue(QStringLiteral("a/b"), QStringLiteral("c"), QStringLiteral("k"), 1));
    QVERIFY(m_config.setValue(QStringLiteral("a"), QStringLiteral("b/c"), QStringLiteral("k"), 2));
    QCOMPARE(m_config.value(QStringLiteral("a/b"), QStringLiteral("c"), QStringLiteral("k")), QVariant(1));
    QCOMPARE(m_config.value(QStringLiteral("a"), QStringLiteral("b/c"), QStringLiteral("k")), QVariant(2));
}

void TestSimPlatform::audio()
{
    QVERIFY(m_audio.setVolume(1, 40));
    QCOMPARE(m_audio.volume(1), 40);
    QCOMPARE(m_audio.volumeByStep(1), 6);
    QVERIFY(m_audio.setVolumeByStep(3, 15));
    QCOMPARE(m_audio.volume(3), 100);
    QCOMPARE(m_audio.volumeByStep(3), 15);
    QVERIFY(!m_audio.setVolume(9, 10));
    QVERIFY(!m_audio.setVolume(0, 101));
    QVERIFY(!m_audio.setVolumeByStep(0, 16));
    QCOMPARE(m_audio.volumeSteps(), 15);
    QVERIFY(m_audio.setAudioOutputPort(2));
    QVERIFY(m_audio.setAudioInputPort(1));
    QVERIFY(!m_audio.setAudioOutputPort(4));
    QVERIFY(!m_audio.setAudioInputPort(-1));
    QCOMPARE(m_audio.audioOutputPort(), 2);
    QCOMPARE(m_audio.audioInputPort(), 1);
    QCOMPARE(m_audio.volumeActiveRole(), 2);
}

void TestSimPlatform::networkAndProcesses()
{
    QVERIFY(!m_network.isNetworkAvailable());
    // No orvana-screen in this test: no applications run.
    QCOMPARE(m_processes.processList(), QList<int>());
    QCOMPARE(m_processes.sopidByPid(1), QString());
}

void TestSimPlatform::oneObjectManyThreads()
{
    QVERIFY(m_audio.setVolume(4, 33));
    QVERIFY(m_display.setDimTimeout(21));
    QAtomicInt wrong;
    std::vector<std::unique_ptr<QThread>> threads;
    for (int t = 0; t < 8; ++t) {
        threads.emplace_back(QThread::create([this, &wrong]() {
            for (int i = 0; i < 40; ++i) {
                if (m_audio.volume(4) != 33 || m_display.dimTimeout() != 21 || m_os.osVersion().isEmpty())
                    wrong.ref();
            }
        }));
        threads.back()->start();
    }
    for (auto& thread : threads)
        QVERIFY(thread->wait(30000));
    QCOMPARE(wrong.loadAcquire(), 0);
}

void TestSimPlatform::stateSurvivesRestart()
{
    const QString id = m_device.uniqueDeviceId();
    QVERIFY(m_power.setDisplayState(CSystemPowerManager::DisplayDim));
    QVERIFY(m_auth.setScreenState(CUserAuthenManager::ScreenLocked));
    QCOMPARE(m_auth.setPassword(QStringLiteral("2468"), Auth::PasswordWeak), Auth::AuthenOK);
    QVERIFY(m_display.setBlankTimeout(77));
    QVERIFY(m_audio.setVolume(5, 12));
    QVERIFY(m_config.setValue(QStringLiteral("com.test"), QStringLiteral("g"), QStringLiteral("kept"), QStringLiteral("yes")));
    QVERIFY(m_time.setAutoSystemTime(CTime::AutoSystemTimeOff));
    SimProcess::compositor(QStringLiteral("ZelvikInterfacePre"), QStringLiteral("setZelvikSwitch"), {true});

    m_sim.stop();
    QVERIFY(m_sim.start());

    QCOMPARE(m_device.uniqueDeviceId(), id);
    QCOMPARE(m_power.displayState(), CSystemPowerManager::DisplayDim);
    QCOMPARE(m_auth.screenState(), CUserAuthenManager::ScreenLocked);
    QVERIFY(m_auth.passwordExists());
    QCOMPARE(m_auth.setPassword(QStringLiteral("2468"), Auth::PasswordWeak), Auth::AuthenPasswordEqual);
    QCOMPARE(m_display.blankTimeout(), 77);
    QCOMPARE(m_audio.volume(5), 12);
    QCOMPARE(m_config.value(QStringLiteral("com.test"), QStringLiteral("g"), QStringLiteral("kept")), QVariant(QStringLiteral("yes")));
    QCOMPARE(m_time.autoSystemTime(), CTime::AutoSystemTimeOff);
    QCOMPARE(SimProcess::value(SimProcess::zelvik(QStringLiteral("getZelvikSwitch"))), QVariant(true));
}

void TestSimPlatform::emptyValuesWithoutService()
{
    m_sim.stop();
    QElapsedTimer clock;
    clock.start();
    QCOMPARE(m_power.displayState(), CSystemPowerManager::DisplayState(0));
    QVERIFY(!m_power.setDisplayState(CSystemPowerManager::DisplayOn));
    QCOMPARE(m_auth.screenState(), CUserAuthenManager::ScreenState(0));
    QVERIFY(!m_auth.passwordExists());
    // No answer is a failed reply, never a success.
    QCOMPARE(m_auth.setPassword(QStringLiteral("1234"), Auth::PasswordWeak), Auth::AuthenReplyError);
    QCOMPARE(m_os.osVersion(), QString());
    QCOMPARE(m_device.uniqueDeviceId(), QString());
    QCOMPARE(m_display.blankTimeout(), 0);
    QCOMPARE(m_display.dimTimeout(), 0);
    QVERIFY(!m_display.ambientLightSensorEnabled());
    QVERIFY(!m_display.setBlankTimeout(5));
    QVERIFY(!m_time.setTime(QDateTime::currentDateTime()));
    QCOMPARE(m_time.autoSystemTime(), CTime::AutoSystemTimeStatus(0));
    QVERIFY(!m_config.value(QStringLiteral("com.test"), QStringLiteral("g"), QStringLiteral("kept")).isValid());
    QVERIFY(!m_config.setValue(QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c"), true));
    QVERIFY(!m_network.isNetworkAvailable());
    QCOMPARE(m_processes.processList(), QList<int>());
    QCOMPARE(m_processes.sopidByPid(1), QString());
    QVERIFY(!m_packages.isPackageInstalled(QStringLiteral("x")));
    QVERIFY(!m_packages.isPackageUninstallable(QStringLiteral("x")));
    QVERIFY(!m_packages.install(QStringLiteral("/nonexistent.opk"), true));
    QVERIFY(!m_packages.uninstall(QStringLiteral("x")));
    QVERIFY(!m_packages.clearAppData(QStringLiteral("x")));
    QCOMPARE(m_audio.volume(0), 0);
    QCOMPARE(m_audio.volumeSteps(), 0);
    QCOMPARE(m_audio.volumeActiveRole(), 0);
    QVERIFY(!m_audio.setVolume(0, 1));
    QVERIFY2(clock.elapsed() < 2000, qPrintable(QString::number(clock.elapsed())));
}

QTEST_GUILESS_MAIN(TestSimPlatform)
#include "tst_simplatform.moc"
