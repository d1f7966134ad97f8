#include "audiocontrol.h"

#include "devicestate.h"
#include "systemlog.h"

#include <QString>
#include <QtGlobal>

namespace {
const int kTypes = 6;
const int kSteps = 15;
const int kMaxVolume = 100;
const int kDefaultVolume = 60;
const int kOutputPorts = 4; // speaker, earpiece, headset, bluetooth
const int kInputPorts = 3;  // microphone, headset, bluetooth
const int kMediaRole = 2;
}

AudioControl::AudioControl(DeviceState* state, SystemLog* log)
    : m_state(state)
    , m_log(log)
{
}

bool AudioControl::validType(int type)
{
    return type >= 0 && type < kTypes;
}

bool AudioControl::setVolume(int type, int volume)
{
    if (!validType(type) || volume < 0 || volume > kMaxVolume)
        return false;
    m_state->setEntry(QStringLiteral("volumes"), QString::number(type), volume);
    m_log->write(QStringLiteral("volume of stream %1 set to %2").arg(type).arg(volume));
    return true;
}

int AudioControl::volume(int type) const
{
    if (!validType(type))
        return 0;
    return m_state->entry(QStringLiteral("volumes"), QString::number(type), kDefaultVolume).toInt();
}

bool AudioControl::setVolumeByStep(int type, int step)
{
    if (step < 0 || step > kSteps)
        return false;
    return setVolume(type, qRound(step * double(kMaxVolume) / kSteps));
}

int AudioControl::volumeByStep(int type) const
{
    return qRound(volume(type) * double(kSteps) / kMaxVolume);
}

int AudioControl::volumeSteps() const
{
    return kSteps;
}

bool AudioControl::setOutputPort(int port)
{
    if (port < 0 || port >= kOutputPorts)
        return false;
    m_state->setValue(QStringLiteral("audioOutputPort"), port);
    m_log->write(QStringLiteral("audio output port %1").arg(port));
    return true;
}

bool AudioControl::setInputPort(int port)
{
    if (port < 0 || port >= kInputPorts)
        return false;
    m_state->setValue(QStringLiteral("audioInputPort"), port);
    m_log->write(QStringLiteral("audio input port %1").arg(port));
    return true;
}

int AudioControl::outputPort() const
{
    return m_state->value(QStringLiteral("audioOutputPort"), 0).toInt();
}

int AudioControl::inputPort() const
{
    return m_state->value(QStringLiteral("audioInputPort"), 0).toInt();
}

int AudioControl::activeRole() const
{
    return m_state->value(QStringLiteral("volumeActiveRole"), kMediaRole).toInt();
}

int AudioControl::stepActive(int direction)
{
    const int role = activeRole();
    const int step = qBound(0, volumeByStep(role) + direction, kSteps);
    setVolumeByStep(role, step);
    return step;
}
