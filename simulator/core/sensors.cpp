#include "sensors.h"

#include "configstore.h"
#include "devicestate.h"
#include "screenlink.h"
#include "systemlog.h"

namespace {
// Orientation reading (index) to screen orientation.
const int kScreenOrientation[] = {0, 1, 4, 2, 8};
const int kPortrait = 1;
}

Sensors::Sensors(DeviceState* state, ConfigStore* config, SystemLog* log, ScreenLink* screen, QObject* parent)
    : QObject(parent)
    , m_state(state)
    , m_config(config)
    , m_log(log)
    , m_screen(screen)
{
    connect(screen, &ScreenLink::appeared, this, &Sensors::pushToScreen);
}

bool Sensors::rotationAllowed() const
{
    return m_config->value(QStringLiteral("com.orvana.settings.rotationAllowed"), QStringLiteral("group"),
                           QStringLiteral("SYSTEM_ROTATIONALLOWED"))
        .toBool();
}

int Sensors::screenOrientation() const
{
    return m_state->value(QStringLiteral("orientation"), kPortrait).toInt();
}

void Sensors::setOrientation(int orientation)
{
    m_state->setValue(QStringLiteral("orientation"), orientation);
    m_log->write(QStringLiteral("screen orientation %1").arg(orientation));
    m_screen->send(QStringLiteral("setOrientation"), {orientation});
}

bool Sensors::sendOrientation(int reading)
{
    if (reading < 1 || reading > 4) {
        m_log->write(QStringLiteral("orientation reading %1 ignored").arg(reading));
        return false;
    }
    if (!rotationAllowed()) {
        m_log->write(QStringLiteral("orientation reading %1 ignored: rotation not allowed").arg(reading));
        return false;
    }
    setOrientation(kScreenOrientation[reading]);
    return true;
}

void Sensors::recoverOrientation()
{
    m_log->write(QStringLiteral("orientation sensor recovered"));
    if (screenOrientation() != kPortrait)
        setOrientation(kPortrait);
}

void Sensors::sendAmbientLight(int lux)
{
    m_state->setValue(QStringLiteral("ambientLight"), lux);
    m_log->write(QStringLiteral("ambient light reading %1 lux").arg(lux));
}

void Sensors::recoverAmbientLight()
{
    m_state->setValue(QStringLiteral("ambientLight"), -1);
    m_log->write(QStringLiteral("ambient light sensor recovered"));
}

int Sensors::ambientLight() const
{
    return m_state->value(QStringLiteral("ambientLight"), -1).toInt();
}

void Sensors::sendProximity(bool near)
{
    m_state->setValue(QStringLiteral("proximityNear"), near);
    m_log->write(QStringLiteral("proximity reading %1").arg(near ? QStringLiteral("near") : QStringLiteral("far")));
    m_screen->send(QStringLiteral("setProximityNear"), {near});
}

void Sensors::recoverProximity()
{
    m_log->write(QStringLiteral("proximity sensor recovered"));
    sendProximity(false);
}

bool Sensors::proximityNear() const
{
    return m_state->value(QStringLiteral("proximityNear"), false).toBool();
}

void Sensors::pushToScreen()
{
    m_screen->send(QStringLiteral("setOrientation"), {screenOrientation()});
    m_screen->send(QStringLiteral("setProximityNear"), {proximityNear()});
}
