#pragma once

#include <QObject>

// Volumes per stream type, volume steps, audio ports.
class CAudioManager : public QObject
{
    Q_OBJECT
public:
    explicit CAudioManager(QObject* parent = nullptr);

    bool setVolume(int type, int volume);
    int volume(int type) const;
    bool setVolumeByStep(int type, int step);
    int volumeByStep(int type) const;
    int volumeSteps() const;
    bool setAudioOutputPort(int port);
    bool setAudioInputPort(int port);
    int audioOutputPort() const;
    int audioInputPort() const;
    int volumeActiveRole() const;
};
