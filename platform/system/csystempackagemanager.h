#pragma once

#include <QObject>
#include <QString>

// Installed packages.
class CSystemPackageManager : public QObject
{
    Q_OBJECT
public:
    explicit CSystemPackageManager(QObject* parent = nullptr);

    bool isPackageInstalled(const QString& sopid) const;
    bool isPackageUninstallable(const QString& sopid) const;
    bool install(const QString& packageFile, bool replace);
    bool uninstall(const QString& sopid);
    bool clearAppData(const QString& sopid);
};
