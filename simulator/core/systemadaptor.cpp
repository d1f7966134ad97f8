#include "systemadaptor.h"

#include "audiocontrol.h"
#include "configstore.h"
#include "devicestate.h"
#include "locksettings.h"
#include "networks.h"
#include "packagestore.h"
#include "phone.h"
#include "screenlink.h"
#include "simcontext.h"
#include "systemlog.h"

#include <QDateTime>

namespace {
const char* const kOsVersion = "3.0.0-sim";
const int kDefaultBlankTimeout = 60;
const int kDefaultDimTimeout = 30;
}

SystemAdaptor::SystemAdaptor(const SimContext& context, QObject* parent)
    : QDBusAbstractAdaptor(parent)
    , m_context(context)
{
}

bool SystemAdaptor::setDisplayState(int state)
{
    return m_context.phone->setDisplayState(state);
}

int SystemAdaptor::displayState()
{
    return m_context.phone->displayState();
}

bool SystemAdaptor::setScreenState(int state)
{
    return m_context.lock->setScreenState(state);
}

int SystemAdaptor::screenState()
{
    return m_context.lock->screenState();
}

bool SystemAdaptor::passwordExists()
{
    return m_context.lock->passwordExists();
}

int SystemAdaptor::setPassword(const QString& password, int type)
{
    return m_context.lock->setPassword(password, type);
}

QString SystemAdaptor::osVersion()
{
    return m_context.state->value(QStringLiteral("osVersion"), QLatin1String(kOsVersion)).toString();
}

QString SystemAdaptor::uniqueDeviceId()
{
    return m_context.state->value(QStringLiteral("deviceId")).toString();
}

bool SystemAdaptor::setTimeout(const char* key, const char* name, int seconds)
{
    if (seconds < 0)
        return false;
    m_context.state->setValue(QLatin1String(key), seconds);
    m_context.log->write(QStringLiteral("%1 timeout %2 s").arg(QLatin1String(name)).arg(seconds));
    return true;
}

int SystemAdaptor::blankTimeout()
{
    return m_context.state->value(QStringLiteral("blankTimeout"), kDefaultBlankTimeout).toInt();
}

bool SystemAdaptor::setBlankTimeout(int seconds)
{
    return setTimeout("blankTimeout", "blank", seconds);
}

int SystemAdaptor::dimTimeout()
{
    return m_context.state->value(QStringLiteral("dimTimeout"), kDefaultDimTimeout).toInt();
}

bool SystemAdaptor::setDimTimeout(int seconds)
{
    return setTimeout("dimTimeout", "dim", seconds);
}

bool SystemAdaptor::ambientLightSensorEnabled()
{
    return m_context.state->value(QStringLiteral("autoBrightness"), false).toBool();
}

bool SystemAdaptor::setAmbientLightSensorEnabled(bool enabled)
{
    m_context.state->setValue(QStringLiteral("autoBrightness"), enabled);
    m_context.log->write(QStringLiteral("automatic brightness %1").arg(enabled ? QStringLiteral("on") : QStringLiteral("off")));
    return true;
}

bool SystemAdaptor::setTime(qlonglong msecsSinceEpoch)
{
    const qint64 offset = msecsSinceEpoch - QDateTime::currentMSecsSinceEpoch();
    m_context.state->setValue(QStringLiteral("clockOffsetMs"), double(offset));
    m_context.log->write(QStringLiteral("clock set to %1").arg(
        QDateTime::fromMSecsSinceEpoch(msecsSinceEpoch, Qt::UTC).toString(Qt::ISODate)));
    return true;
}

qlonglong SystemAdaptor::time()
{
    return QDateTime::currentMSecsSinceEpoch() + qint64(m_context.state->value(QStringLiteral("clockOffsetMs"), 0).toDouble());
}

int SystemAdaptor::autoSystemTime()
{
    return m_context.state->value(QStringLiteral("autoSystemTime"), 1).toInt();
}

bool SystemAdaptor::setAutoSystemTime(int status)
{
    if (status != 0 && status != 1)
        return false;
    m_context.state->setValue(QStringLiteral("autoSystemTime"), status);
    m_context.log->write(QStringLiteral("automatic time %1").arg(status ? QStringLiteral("on") : QStringLiteral("off")));
    return true;
}

QVariantList SystemAdaptor::configValue(const QString& domain, const QString& group, const QString& key)
{
    const QVariant value = m_context.config->value(domain, group, key);
    return value.isValid() ? QVariantList{value} : QVariantList();
}

bool SystemAdaptor::setConfigValue(const QString& domain, const QString& group, const QString& key,
                                   const QDBusVariant& value)
{
    const bool stored = m_context.config->setValue(domain, group, key, value.variant());
    m_context.log->write(QStringLiteral("configuration %1/%2/%3 %4").arg(domain, group, key,
                                                                         stored ? QStringLiteral("set") : QStringLiteral("refused")));
    return stored;
}

bool SystemAdaptor::isNetworkAvailable()
{
    return m_context.networks->isAvailable();
}

QList<int> SystemAdaptor::processList(const QDBusMessage& message)
{
    m_context.screen->forward(message, QStringLiteral("processList"), {}, QVariant::fromValue(QList<int>()));
    return QList<int>();
}

QString SystemAdaptor::sopidByPid(int pid, const QDBusMessage& message)
{
    m_context.screen->forward(message, QStringLiteral("sopidByPid"), {pid}, QString());
    return QString();
}

bool SystemAdaptor::isPackageInstalled(const QString& sopid)
{
    return m_context.packages->isInstalled(sopid);
}

bool SystemAdaptor::isPackageUninstallable(const QString& sopid)
{
    return m_context.packages->isUninstallable(sopid);
}

bool SystemAdaptor::install(const QString& packageFile, bool replace)
{
    return m_context.packages->install(packageFile, replace);
}

bool SystemAdaptor::uninstall(const QString& sopid)
{
    return m_context.packages->uninstall(sopid);
}

bool SystemAdaptor::clearAppData(const QString& sopid)
{
    return m_context.packages->clearAppData(sopid);
}

bool SystemAdaptor::setVolume(int type, int volume)
{
    return m_context.audio->setVolume(type, volume);
}

int SystemAdaptor::volume(int type)
{
    return m_context.audio->volume(type);
}

bool SystemAdaptor::setVolumeByStep(int type, int step)
{
    return m_context.audio->setVolumeByStep(type, step);
}

int SystemAdaptor::volumeByStep(int type)
{
    return m_context.audio->volumeByStep(type);
}

int SystemAdaptor::volumeSteps()
{
    return m_context.audio->volumeSteps();
}

bool SystemAdaptor::setAudioOutputPort(int port)
{
    return m_context.audio->setOutputPort(port);
}

bool SystemAdaptor::setAudioInputPort(int port)
{
    return m_context.audio->setInputPort(port);
}

int SystemAdaptor::audioOutputPort()
{
    return m_context.audio->outputPort();
}

int SystemAdaptor::audioInputPort()
{
    return m_context.audio->inputPort();
}

int SystemAdaptor::volumeActiveRole()
{
    return m_context.audio->activeRole();
}
