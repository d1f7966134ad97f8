#include "package.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

#include "devicepath.h"

namespace {

// Package files hold QML text; anything far larger is not a package.
const qint64 MAX_PACKAGE_SIZE = 16 * 1024 * 1024;

} // namespace

Package Package::load(const QString& file)
{
    QFile in(file);
    if (!in.open(QIODevice::ReadOnly) || in.size() > MAX_PACKAGE_SIZE)
        return Package();
    return parse(in.readAll(), file);
}

Package Package::parse(const QByteArray& json, const QString& file)
{
    const QJsonObject root = QJsonDocument::fromJson(json).object();
    Package package;
    package.file = file;
    package.sopid = root.value(QStringLiteral("sopid")).toString();
    package.uninstallable = root.value(QStringLiteral("uninstallable")).toBool();
    for (const QJsonValue& value : root.value(QStringLiteral("apps")).toArray()) {
        const QJsonObject app = value.toObject();
        App entry{app.value(QStringLiteral("uiappid")).toString(),
                  app.value(QStringLiteral("name")).toString(),
                  app.value(QStringLiteral("qml")).toString()};
        if (isSafeId(entry.uiappid) && !entry.qml.isEmpty())
            package.apps.append(entry);
    }
    if (!isSafeId(package.sopid) || package.apps.isEmpty())
        return Package();
    return package;
}

bool Package::isSafeId(const QString& id)
{
    static const QRegularExpression pattern(QStringLiteral("^[A-Za-z0-9_-][A-Za-z0-9._-]{0,127}$"));
    return pattern.match(id).hasMatch();
}

QString Package::installedDir()
{
    return ORVANA::devicePath(QStringLiteral("/data/packages"));
}

QString Package::installedFile(const QString& sopid)
{
    if (!isSafeId(sopid))
        return QString();
    return installedDir() + QLatin1Char('/') + sopid + QStringLiteral(".opk");
}

QStringList Package::installedFiles()
{
    QStringList files;
    const QDir dir(installedDir());
    for (const QString& name : dir.entryList({QStringLiteral("*.opk")}, QDir::Files, QDir::Name))
        files.append(dir.filePath(name));
    return files;
}

const Package::App* Package::app(const QString& uiappid) const
{
    for (const App& entry : apps) {
        if (entry.uiappid == uiappid)
            return &entry;
    }
    return nullptr;
}
