#include "simulator.h"

#include "audiocontrol.h"
#include "backlight.h"
#include "compositoradaptor.h"
#include "configstore.h"
#include "connmanmanageradaptor.h"
#include "connmanserviceadaptor.h"
#include "connmantechnologyadaptor.h"
#include "connmantypes.h"
#include "controladaptor.h"
#include "devicepath.h"
#include "devicestate.h"
#include "iomanageradaptor.h"
#include "keyinput.h"
#include "locksettings.h"
#include "networks.h"
#include "packagestore.h"
#include "phone.h"
#include "processkiller.h"
#include "screenlink.h"
#include "sensors.h"
#include "systemadaptor.h"
#include "systemlog.h"
#include "zelvikadaptor.h"
#include "zelvikpreadaptor.h"

#include <QCoreApplication>
#include <QDBusConnectionInterface>
#include <QDBusMetaType>
#include <QRandomGenerator>

using ORVANA::devicePath;

namespace {
// "com.orvana.compositor" comes last: its arrival tells that everything else is there.
const char* const kServiceNames[] = {"com.orvana.sim", "com.orvana.iomanager", "net.connman", "com.orvana.compositor"};
}

Simulator::Simulator(QObject* parent)
    : QObject(parent)
    , m_context{QDBusConnection::systemBus(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                nullptr, nullptr, nullptr, nullptr, nullptr, nullptr}
{
    SimContext& c = m_context;
    c.state = new DeviceState(devicePath(QStringLiteral("/data/sim/state.json")));
    c.log = new SystemLog(devicePath(QStringLiteral("/data/log/message")), SystemLog::configuredLimit());
    c.screen = new ScreenLink(c.bus, this);
    c.phone = new Phone(c.state, c.log, c.screen, this);
    c.config = new ConfigStore(c.state);
    c.audio = new AudioControl(c.state, c.log);
    c.lock = new LockSettings(c.state, c.log);
    c.sensors = new Sensors(c.state, c.config, c.log, c.screen, this);
    c.keys = new KeyInput(c.phone, c.audio);
    c.packages = new PackageStore(devicePath(QStringLiteral("/data/packages")), devicePath(QStringLiteral("/data/appdata")),
                                  c.log, c.screen);
    c.networks = new Networks(c.state, c.log, this);
    c.killer = new ProcessKiller(this);
}

Simulator::~Simulator()
{
    delete m_context.keys;
    delete m_context.packages;
    delete m_context.lock;
    delete m_context.audio;
    delete m_context.config;
    delete m_context.log;
    delete m_context.state;
}

QObject* Simulator::exportObject(const QString& path)
{
    auto* object = new QObject(this);
    object->setObjectName(path);
    return object;
}

bool Simulator::registerObjects()
{
    SimContext& c = m_context;
    QObject* compositor = exportObject(QStringLiteral("/com/orvana/compositor"));
    new CompositorAdaptor(c, compositor);
    new ZelvikAdaptor(c, compositor);
    new ZelvikPreAdaptor(c, compositor);
    QObject* iomanager = exportObject(QStringLiteral("/com/orvana/compositor/IOManager"));
    new IOManagerAdaptor(c, iomanager);
    QObject* system = exportObject(QStringLiteral("/com/orvana/sim"));
    new SystemAdaptor(c, system);
    new ControlAdaptor(c, system);
    new ConnmanManagerAdaptor(c.networks, exportObject(QStringLiteral("/")));
    new ConnmanTechnologyAdaptor(c.networks, c.bus, exportObject(QStringLiteral("/net/connman/technology/wifi")));
    for (int i = 0; i < c.networks->count(); ++i)
        new ConnmanServiceAdaptor(c.networks, i, c.bus, exportObject(c.networks->path(i)));

    for (QObject* object : children()) {
        if (!object->objectName().startsWith(QLatin1Char('/')))
            continue;
        if (!c.bus.registerObject(object->objectName(), object, QDBusConnection::ExportAdaptors)) {
            qCritical("orvana-sim: cannot register %s", qPrintable(object->objectName()));
            return false;
        }
    }
    return true;
}

bool Simulator::start()
{
    SimContext& c = m_context;
    if (!c.bus.isConnected()) {
        qCritical("orvana-sim: no system bus: %s", qPrintable(c.bus.lastError().message()));
        return false;
    }
    qDBusRegisterMetaType<QList<int>>();
    registerConnmanTypes();

    if (c.state->value(QStringLiteral("deviceId")).toString().isEmpty()) {
        c.state->setValue(QStringLiteral("deviceId"),
                          QStringLiteral("SIM%1").arg(QRandomGenerator::global()->generate64() & 0xffffffffffffULL, 12, 16,
                                                      QLatin1Char('0')).toUpper());
    }
    const QStringList backlights = Backlight::create(devicePath(QStringLiteral("/sys/class/backlight")),
                                                     qEnvironmentVariable("ORVANA_SIM_BACKLIGHTS"));
    c.packages->installMissing(QCoreApplication::applicationDirPath() + QStringLiteral("/../share/orvana/packages"));

    if (!registerObjects())
        return false;
    for (const char* name : kServiceNames) {
        if (!c.bus.registerService(QLatin1String(name))) {
            qCritical("orvana-sim: cannot own %s (is another orvana-sim running?)", name);
            return false;
        }
    }
    c.log->write(QStringLiteral("orvana-sim started (backlights: %1)")
                     .arg(backlights.isEmpty() ? QStringLiteral("none") : backlights.join(QLatin1Char(' '))));
    c.phone->pushToScreen();
    c.sensors->pushToScreen();
    return true;
}
