#pragma once

class DeviceState;
class SystemLog;

// Volumes per stream type (0 to 100), their steps, audio ports and the active volume role.
// Stream types: 0 system, 1 ring, 2 media, 3 call, 4 alarm, 5 notification.
class AudioControl
{
public:
    AudioControl(DeviceState* state, SystemLog* log);

    bool setVolume(int type, int volume);
    int volume(int type) const;
    bool setVolumeByStep(int type, int step);
    int volumeByStep(int type) const;
    int volumeSteps() const;
    bool setOutputPort(int port);
    bool setInputPort(int port);
    int outputPort() const;
    int inputPort() const;
    // The stream type that the volume keys change.
    int activeRole() const;
    // One step up or down on the active role; gives the new step.
    int stepActive(int direction);

private:
    static bool validType(int type);

    DeviceState* m_state;
    SystemLog* m_log;
};
