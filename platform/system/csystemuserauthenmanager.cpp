#include "csystemuserauthenmanager.h"

#include "simcall.h"

CSystemUserAuthenManager::CSystemUserAuthenManager(QObject* parent)
    : CUserAuthenManager(parent)
{
}

bool CSystemUserAuthenManager::passwordExists() const
{
    return SimCall::value<bool>(QStringLiteral("passwordExists"));
}

CSystemUserAuthenManager::AuthenError CSystemUserAuthenManager::setPassword(const QString& password,
                                                                            PasswordType type)
{
    const QVariant code = SimCall::first(SimCall::call(QStringLiteral("setPassword"), {password, int(type)}));
    // No answer from the service is an error of the reply, not success.
    return code.userType() == QMetaType::Int ? AuthenError(code.toInt()) : AuthenReplyError;
}
