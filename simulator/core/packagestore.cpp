#include "packagestore.h"

#include "screenlink.h"
#include "systemlog.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QSaveFile>

namespace {
const qint64 kMaxPackageSize = 16 * 1024 * 1024;
}

PackageStore::PackageStore(const QString& packagesDir, const QString& appDataDir, SystemLog* log, ScreenLink* screen)
    : m_packagesDir(packagesDir)
    , m_appDataDir(appDataDir)
    , m_log(log)
    , m_screen(screen)
{
    QDir().mkpath(packagesDir);
    QDir().mkpath(appDataDir);
}

bool PackageStore::validId(const QString& id)
{
    // Identifiers become file names: no separators, no leading dot.
    static const QRegularExpression pattern(QStringLiteral("^[A-Za-z0-9_][A-Za-z0-9._-]{0,127}$"));
    return pattern.match(id).hasMatch();
}

QJsonObject PackageStore::parse(const QByteArray& data)
{
    const QJsonDocument document = QJsonDocument::fromJson(data);
    const QJsonObject package = document.object();
    const QJsonValue uninstallable = package.value(QStringLiteral("uninstallable"));
    const QJsonArray apps = package.value(QStringLiteral("apps")).toArray();
    if (!validId(package.value(QStringLiteral("sopid")).toString()) || apps.isEmpty()
        || !(uninstallable.isUndefined() || uninstallable.isBool()))
        return QJsonObject();
    for (const QJsonValue& app : apps) {
        const QJsonObject a = app.toObject();
        if (!validId(a.value(QStringLiteral("uiappid")).toString()) || !a.value(QStringLiteral("qml")).isString())
            return QJsonObject();
    }
    return package;
}

QString PackageStore::packagePath(const QString& sopid) const
{
    return m_packagesDir + QLatin1Char('/') + sopid + QStringLiteral(".opk");
}

QString PackageStore::dataPath(const QString& sopid) const
{
    return m_appDataDir + QLatin1Char('/') + sopid;
}

QJsonObject PackageStore::installed(const QString& sopid) const
{
    if (!validId(sopid))
        return QJsonObject();
    QFile file(packagePath(sopid));
    if (!file.open(QIODevice::ReadOnly))
        return QJsonObject();
    return parse(file.read(kMaxPackageSize));
}

bool PackageStore::isInstalled(const QString& sopid) const
{
    return !installed(sopid).isEmpty();
}

bool PackageStore::isUninstallable(const QString& sopid) const
{
    const QJsonObject package = installed(sopid);
    return !package.isEmpty() && package.value(QStringLiteral("uninstallable")).toBool(true);
}

bool PackageStore::install(const QString& file, bool replace)
{
    QFile source(file);
    if (file.isEmpty() || !QFileInfo(file).isFile() || source.size() > kMaxPackageSize
        || !source.open(QIODevice::ReadOnly)) {
        m_log->write(QStringLiteral("install of \"%1\" failed: cannot read the file").arg(file));
        return false;
    }
    const QByteArray data = source.readAll();
    const QJsonObject package = parse(data);
    if (package.isEmpty()) {
        m_log->write(QStringLiteral("install of \"%1\" failed: not a package").arg(file));
        return false;
    }
    const QString sopid = package.value(QStringLiteral("sopid")).toString();
    if (isInstalled(sopid) && !replace) {
        m_log->write(QStringLiteral("install of %1 refused: already installed").arg(sopid));
        return false;
    }
    QSaveFile target(packagePath(sopid));
    if (!target.open(QIODevice::WriteOnly) || target.write(data) != data.size() || !target.commit()) {
        m_log->write(QStringLiteral("install of %1 failed: cannot write the package").arg(sopid));
        return false;
    }
    QDir().mkpath(dataPath(sopid));
    m_log->write(QStringLiteral("package %1 installed from \"%2\"").arg(sopid, file));
    return true;
}

bool PackageStore::uninstall(const QString& sopid)
{
    const QJsonObject package = installed(sopid);
    if (package.isEmpty() || !package.value(QStringLiteral("uninstallable")).toBool(true)) {
        m_log->write(QStringLiteral("uninstall of \"%1\" refused").arg(sopid));
        return false;
    }
    QStringList running;
    for (const QJsonValue& app : package.value(QStringLiteral("apps")).toArray())
        running << sopid + QLatin1Char('/') + app.toObject().value(QStringLiteral("uiappid")).toString();
    m_screen->send(QStringLiteral("quit"), {running});
    const bool removed = QFile::remove(packagePath(sopid));
    QDir(dataPath(sopid)).removeRecursively();
    m_log->write(QStringLiteral("package %1 %2").arg(sopid, removed ? QStringLiteral("uninstalled")
                                                                     : QStringLiteral("could not be removed")));
    return removed;
}

bool PackageStore::clearAppData(const QString& sopid)
{
    if (!isInstalled(sopid)) {
        m_log->write(QStringLiteral("clearing the data of \"%1\" refused: not installed").arg(sopid));
        return false;
    }
    const bool cleared = QDir(dataPath(sopid)).removeRecursively() && QDir().mkpath(dataPath(sopid));
    m_log->write(QStringLiteral("data of %1 %2").arg(sopid, cleared ? QStringLiteral("cleared")
                                                                    : QStringLiteral("could not be cleared")));
    return cleared;
}

void PackageStore::installMissing(const QString& dir)
{
    const QFileInfoList files = QDir(dir).entryInfoList({QStringLiteral("*.opk")}, QDir::Files, QDir::Name);
    for (const QFileInfo& info : files) {
        QFile file(info.filePath());
        if (!file.open(QIODevice::ReadOnly) || file.size() > kMaxPackageSize)
            continue;
        const QString sopid = parse(file.readAll()).value(QStringLiteral("sopid")).toString();
        if (!sopid.isEmpty() && !isInstalled(sopid))
            install(info.filePath(), false);
    }
}
