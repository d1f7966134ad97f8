#pragma once

#include <QObject>

// Screen timeouts (seconds) and automatic brightness.
class CSystemDisplaySettings : public QObject
{
    Q_OBJECT
public:
    explicit CSystemDisplaySettings(QObject* parent = nullptr);

    int blankTimeout() const;
    bool setBlankTimeout(int seconds);
    int dimTimeout() const;
    bool setDimTimeout(int seconds);
    bool ambientLightSensorEnabled() const;
    bool setAmbientLightSensorEnabled(bool enabled);
};
