#pragma once

#include "cuserauthenmanager.h"

#include <QString>

// Lock screen password.
class CSystemUserAuthenManager : public CUserAuthenManager
{
    Q_OBJECT
public:
    // Fixed underlying type: any int a client or the service sends is a defined value.
    enum PasswordType : int { PasswordWeak = 0, PasswordStrong = 1, PasswordGraphic = 2, PasswordNone = 3 };
    Q_ENUM(PasswordType)

    // Fixed underlying type: any int a client or the service sends is a defined value.
    enum AuthenError : int {
        AuthenOK = 0,
        AuthenReplyError = 1,
        AuthenPasswordIsEmpty = 2,
        AuthenTypeIsInvalid = 3,
        AuthenPasswordTypeMismatch = 4,
        AuthenPasswordVerifyFailed = 5,
        AuthenPasswordExisted = 6,
        AuthenPermissionDenied = 7,
        AuthenMaxRetryInvalid = 8,
        AuthenParameterInvalid = 9,
        AuthenLockout = 10,
        AuthenPasswordEqual = 11
    };
    Q_ENUM(AuthenError)

    explicit CSystemUserAuthenManager(QObject* parent = nullptr);

    bool passwordExists() const;
    AuthenError setPassword(const QString& password, PasswordType type);
};
