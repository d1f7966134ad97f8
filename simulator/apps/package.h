#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// One package file (".opk"): a JSON document naming the package and its applications, each
// with its QML text.
class Package
{
public:
    struct App
    {
        QString uiappid;
        QString name;
        QString qml;
    };

    // An invalid package (isValid() false) when the file is missing or malformed.
    static Package load(const QString& file);
    static Package parse(const QByteArray& json, const QString& file = QString());

    // Package and application ids are file names on the device: letters, digits, ".", "_", "-",
    // not starting with a dot.
    static bool isSafeId(const QString& id);

    // "$ORVANA_DEVICE_ROOT/data/packages/<sopid>.opk" and every installed package file.
    static QString installedFile(const QString& sopid);
    static QString installedDir();
    static QStringList installedFiles();

    bool isValid() const { return !sopid.isEmpty(); }
    const App* app(const QString& uiappid) const;

    QString file;
    QString sopid;
    bool uninstallable = false;
    QList<App> apps;
};
