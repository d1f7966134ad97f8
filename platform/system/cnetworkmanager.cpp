#include "cnetworkmanager.h"

#include "simcall.h"

CNetworkManager::CNetworkManager(QObject* parent)
    : QObject(parent)
{
}

bool CNetworkManager::isNetworkAvailable() const
{
    return SimCall::value<bool>(QStringLiteral("isNetworkAvailable"));
}
