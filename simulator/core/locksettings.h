#pragma once

#include <QString>

class DeviceState;
class SystemLog;

// Lock screen state and password. The password is kept only as a salted hash and never logged.
class LockSettings
{
public:
    // Codes as the platform's AuthenError.
    enum Result { Ok = 0, PasswordIsEmpty = 2, TypeIsInvalid = 3, TypeMismatch = 4, PasswordEqual = 11 };
    // As the platform's PasswordType.
    enum Type { Weak = 0, Strong = 1, Graphic = 2, None = 3 };

    LockSettings(DeviceState* state, SystemLog* log);

    bool setScreenState(int state);
    int screenState() const;
    bool passwordExists() const;
    // Weak: 4 to 16 digits. Strong: 6 to 32 characters with a letter and a digit. Graphic: 4 to
    // 9 distinct points "1" to "9". None: removes the password (the text must be empty).
    int setPassword(const QString& password, int type);

private:
    static bool fits(const QString& password, int type);
    QString hash(const QString& password) const;

    DeviceState* m_state;
    SystemLog* m_log;
};
