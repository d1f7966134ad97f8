#pragma once

#include <QJsonObject>
#include <QString>

class ScreenLink;
class SystemLog;

// Installed packages: "<packages>/<sopid>.opk" files (one JSON document each) and the
// application data folders "<appdata>/<sopid>/".
class PackageStore
{
public:
    PackageStore(const QString& packagesDir, const QString& appDataDir, SystemLog* log, ScreenLink* screen);

    bool isInstalled(const QString& sopid) const;
    bool isUninstallable(const QString& sopid) const;
    // Installs a package file; an installed package is replaced only when `replace` is true.
    bool install(const QString& file, bool replace);
    bool uninstall(const QString& sopid);
    bool clearAppData(const QString& sopid);
    // Installs the packages of `dir` that are not installed yet.
    void installMissing(const QString& dir);

private:
    // The package document, or an empty object when the data is not a valid package.
    static QJsonObject parse(const QByteArray& data);
    static bool validId(const QString& id);
    QString packagePath(const QString& sopid) const;
    QString dataPath(const QString& sopid) const;
    QJsonObject installed(const QString& sopid) const;

    QString m_packagesDir;
    QString m_appDataDir;
    SystemLog* m_log;
    ScreenLink* m_screen;
};
