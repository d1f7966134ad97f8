#include "cuserauthenmanager.h"

#include "simcall.h"

CUserAuthenManager::CUserAuthenManager(QObject* parent)
    : QObject(parent)
{
}

bool CUserAuthenManager::setScreenState(ScreenState state)
{
    return SimCall::value<bool>(QStringLiteral("setScreenState"), {int(state)});
}

CUserAuthenManager::ScreenState CUserAuthenManager::screenState() const
{
    return ScreenState(SimCall::value<int>(QStringLiteral("screenState")));
}
