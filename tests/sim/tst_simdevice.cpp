// orvana-sim's ConnMan, packages and backlight, against the real program.
#include "simprocess.h"

#include <cnetworkmanager.h>
#include <csystempackagemanager.h>

#include <QDBusArgument>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QtTest>

namespace {
struct Service
{
    QDBusObjectPath path;
    QVariantMap properties;
};

const QDBusArgument& operator>>(const QDBusArgument& argument, Service& service)
{
    argument.beginStructure();
    argument >> service.path >> service.properties;
    argument.endStructure();
    return argument;
}

QDBusArgument& operator<<(QDBusArgument& argument, const Service& service)
{
    argument.beginStructure();
    argument << service.path << service.properties;
    argument.endStructure();
    return argument;
}
}
Q_DECLARE_METATYPE(Service)

namespace {
const QString kWifi = QStringLiteral("/net/connman/technology/wifi");

QDBusMessage connman(const QString& path, const QString& interface, const QString& method,
                     const QVariantList& args = QVariantList())
{
    return SimProcess::call(QStringLiteral("net.connman"), path, QStringLiteral("net.connman.") + interface, method, args);
}

QList<Service> services()
{
    const QDBusMessage reply = connman(QStringLiteral("/"), QStringLiteral("Manager"), QStringLiteral("GetServices"));
    if (reply.signature() != QLatin1String("a(oa{sv})"))
        return {};
    return qdbus_cast<QList<Service>>(SimProcess::value(reply).value<QDBusArgument>());
}

QStringList names(const QList<Service>& list)
{
    QStringList result;
    for (const Service& s : list)
        result << s.properties.value(QStringLiteral("Name"), QStringLiteral("<hidden>")).toString();
    return result;
}

QVariantMap properties(const QString& path, const QString& interface)
{
    const QDBusMessage reply = connman(path, interface, QStringLiteral("GetProperties"));
    return qdbus_cast<QVariantMap>(SimProcess::value(reply).value<QDBusArgument>());
}

bool wifiPowered()
{
    return properties(kWifi, QStringLiteral("Technology")).value(QStringLiteral("Powered")).toBool();
}

QDBusMessage setPowered(const QVariant& value, const QString& name = QStringLiteral("Powered"))
{
    return connman(kWifi, QStringLiteral("Technology"), QStringLiteral("SetProperty"),
                   {name, QVariant::fromValue(QDBusVariant(value))});
}

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

QByteArray package(const QString& sopid, const QString& extra = QString())
{
    return QStringLiteral("{\"sopid\": \"%1\", %2 \"apps\": [{\"uiappid\": \"main\", \"name\": \"Main\", "
                          "\"qml\": \"import QtQuick 2.0\\nItem {}\"}]}")
        .arg(sopid, extra)
        .toUtf8();
}
}

class TestSimDevice : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();

    void wifiServicesHiddenWhilePoweredOff();
    void powerOnTakesAMoment();
    void servicesInListOrder();
    void connectMakesNetworkAvailable();
    void powerOffDisconnects();
    void badRequestsAnswerErrors();
    void networkListFromState();

    void installAndQuery();
    void badPackagesRefused_data();
    void badPackagesRefused();
    void clearAppData();
    void uninstall();
    void keptPackageNotUninstallable();
    void missingPackagesInstalledAtStart();

    void defaultBacklight();
    void backlightDevices_data();
    void backlightDevices();
    void brightnessKeptWhenItFits();

private:
    bool restart(const QStringList& environment = QStringList(), const QString& program = QString());
    QString files() const { return SimProcess::root() + QStringLiteral("/files"); }
    QString backlights() const { return SimProcess::root() + QStringLiteral("/sys/class/backlight"); }

    SimProcess m_sim;
    CNetworkManager m_network;
    CSystemPackageManager m_packages;
};

bool TestSimDevice::restart(const QStringList& environment, const QString& program)
{
    m_sim.stop();
    return m_sim.start(environment, program);
}

void TestSimDevice::initTestCase()
{
    QVERIFY2(!SimProcess::root().isEmpty(), "run under scripts/phone-env");
    qDBusRegisterMetaType<Service>();
    qDBusRegisterMetaType<QList<Service>>();
    QVERIFY(m_sim.start());
}

void TestSimDevice::cleanupTestCase()
{
    m_sim.stop();
}

void TestSimDevice::wifiServicesHiddenWhilePoweredOff()
{
    QVERIFY(!wifiPowered());
    QCOMPARE(names(services()), QStringList{QStringLiteral("Wired")});
}

void TestSimDevice::powerOnTakesAMoment()
{
    QElapsedTimer clock;
    clock.start();
    QCOMPARE(setPowered(true).type(), QDBusMessage::ReplyMessage);
    QVERIFY(!wifiPowered());
    QTRY_VERIFY(wifiPowered());
    QVERIFY(clock.elapsed() >= 250);
    QCOMPARE(setPowered(true).type(), QDBusMessage::ReplyMessage);
    QVERIFY(wifiPowered());
}

void TestSimDevice::servicesInListOrder()
{
    const QList<Service> list = services();
    const QStringList expected = {QStringLiteral("Wired"), QStringLiteral("Orvana-Open"), QStringLiteral("Orvana-Guest"),
                                  QStringLiteral("Orvana-Guest"), QStringLiteral("Orvana-Secure"), QStringLiteral("<hidden>")};
    QCOMPARE(names(list), expected);
    QCOMPARE(list.at(0).properties.value(QStringLiteral("Type")).toString(), QStringLiteral("ethernet"));
    QCOMPARE(list.at(1).properties.value(QStringLiteral("Type")).toString(), QStringLiteral("wifi"));
    QSet<QString> paths;
    for (const Service& s : list)
        paths.insert(s.path.path());
    QCOMPARE(paths.size(), list.size());
}

void TestSimDevice::connectMakesNetworkAvailable()
{
    QVERIFY(!m_network.isNetworkAvailable());
    const QList<Service> list = services();
    const QString first = list.at(2).path.path();
    const QString second = list.at(3).path.path();
    QCOMPARE(connman(first, QStringLiteral("Service"), QStringLiteral("Connect")).type(), QDBusMessage::ReplyMessage);
    QVERIFY(m_network.isNetworkAvailable());
    QCOMPARE(properties(first, QStringLiteral("Service")).value(QStringLiteral("State")).toString(), QStringLiteral("online"));
    QCOMPARE(properties(second, QStringLiteral("Service")).value(QStringLiteral("State")).toString(), QStringLiteral("idle"));
    QVERIFY(properties(kWifi, QStringLiteral("Technology")).value(QStringLiteral("Connected")).toBool());
    // One Wi-Fi connection at a time.
    QCOMPARE(connman(second, QStringLiteral("Service"), QStringLiteral("Connect")).type(), QDBusMessage::ReplyMessage);
    QCOMPARE(properties(first, QStringLiteral("Service")).value(QStringLiteral("State")).toString(), QStringLiteral("idle"));
    QCOMPARE(connman(list.at(0).path.path(), QStringLiteral("Service"), QStringLiteral("Connect")).type(),
             QDBusMessage::ReplyMessage);
    QVERIFY(m_network.isNetworkAvailable());
    connman(list.at(0).path.path(), QStringLiteral("Service"), QStringLiteral("Disconnect"));
}

void TestSimDevice::powerOffDisconnects()
{
    const QString wifiService = services().at(3).path.path();
    QVERIFY(m_network.isNetworkAvailable());
    QCOMPARE(setPowered(false).type(), QDBusMessage::ReplyMessage);
    QVERIFY(!wifiPowered());
    QVERIFY(!m_network.isNetworkAvailable());
    QCOMPARE(names(services()), QStringList{QStringLiteral("Wired")});
    const QDBusMessage refused = connman(wifiService, QStringLiteral("Service"), QStringLiteral("Connect"));
    QCOMPARE(refused.type(), QDBusMessage::ErrorMessage);
    QCOMPARE(refused.errorName(), QStringLiteral("net.connman.Error.NotFound"));
    QVERIFY(!m_network.isNetworkAvailable());
}

void TestSimDevice::badRequestsAnswerErrors()
{
    QCOMPARE(setPowered(QStringLiteral("yes")).type(), QDBusMessage::ErrorMessage);
    QCOMPARE(setPowered(true, QStringLiteral("Tethering")).errorName(), QStringLiteral("net.connman.Error.InvalidArguments"));
    QCOMPARE(connman(QStringLiteral("/net/connman/service/none"), QStringLiteral("Service"), QStringLiteral("Connect")).type(),
             QDBusMessage::ErrorMessage);
}

void TestSimDevice::networkListFromState()
{
    m_sim.stop();
    const QString path = SimProcess::root() + QStringLiteral("/data/sim/state.json");
    QJsonObject state = QJsonDocument::fromJson(readFile(path)).object();
    state.insert(QStringLiteral("networks"),
                 QJsonArray{QJsonObject{{QStringLiteral("name"), QStringLiteral("Lab")}, {QStringLiteral("type"), QStringLiteral("wifi")}},
                            QJsonObject{{QStringLiteral("name"), QStringLiteral("Café Ω")}, {QStringLiteral("type"), QStringLiteral("wifi")}}});
    state.insert(QStringLiteral("wifiPowered"), true);
    QVERIFY(writeFile(path, QJsonDocument(state).toJson()));
    QVERIFY(m_sim.start());
    QCOMPARE(names(services()), (QStringList{QStringLiteral("Lab"), QStringLiteral("Café Ω")}));
    QCOMPARE(connman(services().at(1).path.path(), QStringLiteral("Service"), QStringLiteral("Connect")).type(),
             QDBusMessage::ReplyMessage);
    QVERIFY(m_network.isNetworkAvailable());
}

void TestSimDevice::installAndQuery()
{
    const QString file = files() + QStringLiteral("/app.opk");
    QVERIFY(writeFile(file, package(QStringLiteral("com.test.app"))));
    QVERIFY(!m_packages.isPackageInstalled(QStringLiteral("com.test.app")));
    QVERIFY(m_packages.install(file, true));
    QVERIFY(m_packages.isPackageInstalled(QStringLiteral("com.test.app")));
    QVERIFY(m_packages.isPackageUninstallable(QStringLiteral("com.test.app")));
    QVERIFY(QFileInfo(SimProcess::root() + QStringLiteral("/data/packages/com.test.app.opk")).isFile());
    QVERIFY(QFileInfo(SimProcess::root() + QStringLiteral("/data/appdata/com.test.app")).isDir());
    QVERIFY2(!m_packages.install(file, false), "installed already, no replace");
    QVERIFY(m_packages.install(file, true));
    QVERIFY(!m_packages.isPackageInstalled(QStringLiteral("com.test")));
    QVERIFY(SimProcess::logText().contains(QStringLiteral("package com.test.app installed")));
}

void TestSimDevice::badPackagesRefused_data()
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

void TestSimDevice::badPackagesRefused()
{
    QFETCH(QByteArray, content);
    const QString file = files() + QStringLiteral("/bad.opk");
    QVERIFY(writeFile(file, content));
    const QStringList before = QDir(SimProcess::root() + QStringLiteral("/data/packages")).entryList(QDir::Files);
    QVERIFY(!m_packages.install(file, true));
    QCOMPARE(QDir(SimProcess::root() + QStringLiteral("/data/packages")).entryList(QDir::Files), before);
    QVERIFY(!QFileInfo::exists(SimProcess::root() + QStringLiteral("/evil.opk")));
    QVERIFY(!m_packages.install(files(), true));
    QVERIFY(!m_packages.install(QString(), true));
    QVERIFY(!m_packages.install(files() + QStringLiteral("/missing.opk"), true));
}

void TestSimDevice::clearAppData()
{
    const QString data = SimProcess::root() + QStringLiteral("/data/appdata/com.test.app");
    QVERIFY(writeFile(data + QStringLiteral("/db/notes.txt"), "notes"));
    QVERIFY(m_packages.clearAppData(QStringLiteral("com.test.app")));
    QVERIFY(QFileInfo(data).isDir());
    QCOMPARE(QDir(data).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden), QStringList());
    QVERIFY(!m_packages.clearAppData(QStringLiteral("com.not.installed")));
    QVERIFY(!m_packages.clearAppData(QStringLiteral("../data")));
}

void TestSimDevice::uninstall()
{
    QVERIFY(m_packages.uninstall(QStringLiteral("com.test.app")));
    QVERIFY(!m_packages.isPackageInstalled(QStringLiteral("com.test.app")));
    QVERIFY(!QFileInfo::exists(SimProcess::root() + QStringLiteral("/data/appdata/com.test.app")));
    QVERIFY(!m_packages.uninstall(QStringLiteral("com.test.app")));
    QVERIFY(!m_packages.uninstall(QString()));
    QVERIFY(SimProcess::logText().contains(QStringLiteral("package com.test.app uninstalled")));
}

void TestSimDevice::keptPackageNotUninstallable()
{
    const QString file = files() + QStringLiteral("/home.opk");
    QVERIFY(writeFile(file, package(QStringLiteral("com.test.home"), QStringLiteral("\"uninstallable\": false,"))));
    QVERIFY(m_packages.install(file, true));
    QVERIFY(!m_packages.isPackageUninstallable(QStringLiteral("com.test.home")));
    QVERIFY(!m_packages.uninstall(QStringLiteral("com.test.home")));
    QVERIFY(m_packages.isPackageInstalled(QStringLiteral("com.test.home")));
}

void TestSimDevice::missingPackagesInstalledAtStart()
{
    // orvana-sim installs "<its folder>/../share/orvana/packages/*.opk" that are missing.
    const QString prefix = SimProcess::root() + QStringLiteral("/prefix");
    const QString program = prefix + QStringLiteral("/bin/orvana-sim");
    QDir().mkpath(prefix + QStringLiteral("/bin"));
    QVERIFY(QFile::copy(SimProcess::defaultProgram(), program));
    QVERIFY(writeFile(prefix + QStringLiteral("/share/orvana/packages/demo.opk"), package(QStringLiteral("com.test.demo"))));
    QVERIFY(writeFile(prefix + QStringLiteral("/share/orvana/packages/broken.opk"), "{"));
    QVERIFY(restart({}, program));
    QVERIFY(m_packages.isPackageInstalled(QStringLiteral("com.test.demo")));
    QVERIFY(m_packages.uninstall(QStringLiteral("com.test.demo")));
    QVERIFY(restart({}, program));
    QVERIFY(m_packages.isPackageInstalled(QStringLiteral("com.test.demo")));
    QVERIFY(restart());
}

void TestSimDevice::defaultBacklight()
{
    QCOMPARE(readFile(backlights() + QStringLiteral("/panel/max_brightness")), QByteArray("255\n"));
    QCOMPARE(readFile(backlights() + QStringLiteral("/panel/brightness")), QByteArray("255\n"));
}

void TestSimDevice::backlightDevices_data()
{
    QTest::addColumn<QString>("setting");
    QTest::addColumn<QStringList>("devices");
    QTest::newRow("none") << QStringLiteral("none") << QStringList();
    QTest::newRow("two") << QStringLiteral("a:255,b:100") << QStringList{QStringLiteral("a"), QStringLiteral("b")};
    QTest::newRow("bad entries skipped") << QStringLiteral("x,../y:5,c:7,d:-1") << QStringList{QStringLiteral("c")};
}

void TestSimDevice::backlightDevices()
{
    QFETCH(QString, setting);
    QFETCH(QStringList, devices);
    m_sim.stop();
    QVERIFY(QDir(backlights()).removeRecursively());
    QVERIFY(m_sim.start({QStringLiteral("ORVANA_SIM_BACKLIGHTS=") + setting}));
    QCOMPARE(QDir(backlights()).entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name), devices);
    for (const QString& device : devices) {
        const QByteArray max = readFile(backlights() + QLatin1Char('/') + device + QStringLiteral("/max_brightness"));
        QCOMPARE(readFile(backlights() + QLatin1Char('/') + device + QStringLiteral("/brightness")), max);
    }
    QVERIFY(!QFileInfo::exists(SimProcess::root() + QStringLiteral("/sys/class/y")));
}

void TestSimDevice::brightnessKeptWhenItFits()
{
    QVERIFY(restart({QStringLiteral("ORVANA_SIM_BACKLIGHTS=a:255")}));
    QVERIFY(writeFile(backlights() + QStringLiteral("/a/brightness"), "42\n"));
    QVERIFY(restart({QStringLiteral("ORVANA_SIM_BACKLIGHTS=a:255")}));
    QCOMPARE(readFile(backlights() + QStringLiteral("/a/brightness")), QByteArray("42\n"));
    QVERIFY(restart({QStringLiteral("ORVANA_SIM_BACKLIGHTS=a:30")}));
    QCOMPARE(readFile(backlights() + QStringLiteral("/a/brightness")), QByteArray("30\n"));
    QCOMPARE(readFile(backlights() + QStringLiteral("/a/max_brightness")), QByteArray("30\n"));
}

QTEST_GUILESS_MAIN(TestSimDevice)
#include "tst_simdevice.moc"
