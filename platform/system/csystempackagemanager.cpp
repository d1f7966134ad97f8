#include "csystempackagemanager.h"

#include "simcall.h"

CSystemPackageManager::CSystemPackageManager(QObject* parent)
    : QObject(parent)
{
}

bool CSystemPackageManager::isPackageInstalled(const QString& sopid) const
{
    return SimCall::value<bool>(QStringLiteral("isPackageInstalled"), {sopid});
}

bool CSystemPackageManager::isPackageUninstallable(const QString& sopid) const
{
    return SimCall::value<bool>(QStringLiteral("isPackageUninstallable"), {sopid});
}

bool CSystemPackageManager::install(const QString& packageFile, bool replace)
{
    return SimCall::value<bool>(QStringLiteral("install"), {packageFile, replace});
}

bool CSystemPackageManager::uninstall(const QString& sopid)
{
    return SimCall::value<bool>(QStringLiteral("uninstall"), {sopid});
}

bool CSystemPackageManager::clearAppData(const QString& sopid)
{
    return SimCall::value<bool>(QStringLiteral("clearAppData"), {sopid});
}
