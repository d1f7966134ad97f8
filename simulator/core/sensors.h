#pragma once

#include <QObject>

class ConfigStore;
class DeviceState;
class ScreenLink;
class SystemLog;

// Simulated orientation, ambient light and proximity readings. A simulated reading stays in
// force until its recover call hands the sensor back (upright, no reading, nothing near).
class Sensors : public QObject
{
    Q_OBJECT
public:
    Sensors(DeviceState* state, ConfigStore* config, SystemLog* log, ScreenLink* screen, QObject* parent = nullptr);

    // Screen orientation: 1 portrait, 2 landscape, 4 inverted portrait, 8 inverted landscape.
    int screenOrientation() const;
    // Sensor readings 1 to 4 turn the screen (to 1, 4, 2, 8) when rotation is allowed.
    bool sendOrientation(int reading);
    void recoverOrientation();

    void sendAmbientLight(int lux);
    void recoverAmbientLight();
    // -1 while the real sensor is in charge.
    int ambientLight() const;

    void sendProximity(bool near);
    void recoverProximity();
    bool proximityNear() const;

    bool rotationAllowed() const;
    // Sends the orientation and proximity to orvana-screen.
    void pushToScreen();

private:
    void setOrientation(int orientation);

    DeviceState* m_state;
    ConfigStore* m_config;
    SystemLog* m_log;
    ScreenLink* m_screen;
};
