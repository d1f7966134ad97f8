#pragma once

#include <QObject>

// Lock screen state, shared by the user and system authentication managers.
class CUserAuthenManager : public QObject
{
    Q_OBJECT
public:
    // Fixed underlying type: any int a client or the service sends is a defined value.
    enum ScreenState : int { ScreenUnlocked = 0, ScreenLocked = 1 };
    Q_ENUM(ScreenState)

    explicit CUserAuthenManager(QObject* parent = nullptr);

    bool setScreenState(ScreenState state);
    ScreenState screenState() const;
};
