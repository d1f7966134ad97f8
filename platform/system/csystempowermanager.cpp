#include "csystempowermanager.h"

#include "simcall.h"

CSystemPowerManager::CSystemPowerManager(QObject* parent)
    : QObject(parent)
{
}

bool CSystemPowerManager::setDisplayState(DisplayState state)
{
    return SimCall::value<bool>(QStringLiteral("setDisplayState"), {int(state)});
}

CSystemPowerManager::DisplayState CSystemPowerManager::displayState() const
{
    return DisplayState(SimCall::value<int>(QStringLiteral("displayState")));
}
