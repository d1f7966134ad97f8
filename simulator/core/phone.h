#pragma once

#include <QObject>
#include <QString>

class DeviceState;
class ScreenLink;
class SystemLog;

// The device state that the screen shows or the compositor keeps: automation switch, display
// power, panels and toasts. Changes are saved, logged and pushed to orvana-screen.
class Phone : public QObject
{
    Q_OBJECT
public:
    enum Display { DisplayOff = 0, DisplayOn = 1, DisplayDim = 2 };

    Phone(DeviceState* state, SystemLog* log, ScreenLink* screen, QObject* parent = nullptr);

    DeviceState* state() const { return m_state; }
    SystemLog* log() const { return m_log; }
    ScreenLink* screen() const { return m_screen; }

    bool zelvikSwitch() const;
    void setZelvikSwitch(bool on);
    void recordRestart();

    int displayState() const;
    bool setDisplayState(int state);

    bool panelState(int panel) const;
    void setPanelState(int panel, bool open);

    QString latestToast() const;
    void showToast(const QString& text);

    // Sends everything the screen shows (when orvana-screen appears).
    void pushToScreen();

private:
    DeviceState* m_state;
    SystemLog* m_log;
    ScreenLink* m_screen;
};
