#include "backlight.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QSaveFile>

namespace {
const char* const kDefaultDevices = "panel:255";

bool writeNumber(const QString& path, int value)
{
    QSaveFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(QByteArray::number(value) + '\n') > 0 && file.commit();
}
}

QStringList Backlight::create(const QString& classDir, const QString& setting)
{
    QStringList made;
    const QString devices = setting.isEmpty() ? QLatin1String(kDefaultDevices) : setting;
    if (devices == QLatin1String("none"))
        return made;
    static const QRegularExpression entry(QStringLiteral("^([A-Za-z0-9_.-]+):([0-9]{1,9})$"));
    for (const QString& device : devices.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        const QRegularExpressionMatch match = entry.match(device.trimmed());
        if (!match.hasMatch() || match.captured(1).startsWith(QLatin1Char('.'))) {
            qWarning("orvana-sim: backlight \"%s\" ignored (expected name:maximum)", qPrintable(device));
            continue;
        }
        if (createDevice(classDir + QLatin1Char('/') + match.captured(1), match.captured(2).toInt()))
            made << match.captured(1);
    }
    return made;
}

bool Backlight::createDevice(const QString& dir, int maximum)
{
    if (!QDir().mkpath(dir) || !writeNumber(dir + QStringLiteral("/max_brightness"), maximum))
        return false;
    // A brightness kept from an earlier run stays, as long as it fits the maximum.
    const QString brightness = dir + QStringLiteral("/brightness");
    QFile current(brightness);
    bool ok = false;
    const int value = current.open(QIODevice::ReadOnly) ? current.readAll().trimmed().toInt(&ok) : 0;
    if (ok && value >= 0 && value <= maximum)
        return true;
    return writeNumber(brightness, maximum);
}
