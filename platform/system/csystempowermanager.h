#pragma once

#include <QObject>

// Display power of the device.
class CSystemPowerManager : public QObject
{
    Q_OBJECT
public:
    // Fixed underlying type: any int a client or the service sends is a defined value.
    enum DisplayState : int { DisplayOff = 0, DisplayOn = 1, DisplayDim = 2 };
    Q_ENUM(DisplayState)

    explicit CSystemPowerManager(QObject* parent = nullptr);

    bool setDisplayState(DisplayState state);
    DisplayState displayState() const;
};
