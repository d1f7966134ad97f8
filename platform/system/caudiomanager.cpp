#include "caudiomanager.h"

#include "simcall.h"

CAudioManager::CAudioManager(QObject* parent)
    : QObject(parent)
{
}

bool CAudioManager::setVolume(int type, int volume)
{
    return SimCall::value<bool>(QStringLiteral("setVolume"), {type, volume});
}

int CAudioManager::volume(int type) const
{
    return SimCall::value<int>(QStringLiteral("volume"), {type});
}

bool CAudioManager::setVolumeByStep(int type, int step)
{
    return SimCall::value<bool>(QStringLiteral("setVolumeByStep"), {type, step});
}

int CAudioManager::volumeByStep(int type) const
{
    return SimCall::value<int>(QStringLiteral("volumeByStep"), {type});
}

int CAudioManager::volumeSteps() const
{
    return SimCall::value<int>(QStringLiteral("volumeSteps"));
}

bool CAudioManager::setAudioOutputPort(int port)
{
    return SimCall::value<bool>(QStringLiteral("setAudioOutputPort"), {port});
}

bool CAudioManager::setAudioInputPort(int port)
{
    return SimCall::value<bool>(QStringLiteral("setAudioInputPort"), {port});
}

int CAudioManager::audioOutputPort() const
{
    return SimCall::value<int>(QStringLiteral("audioOutputPort"));
}

int CAudioManager::audioInputPort() const
{
    return SimCall::value<int>(QStringLiteral("audioInputPort"));
}

int CAudioManager::volumeActiveRole() const
{
    return SimCall::value<int>(QStringLiteral("volumeActiveRole"));
}
