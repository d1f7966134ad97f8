#include "devicepath.h"

#include <QByteArray>
#include <QDir>

namespace ORVANA {

QString devicePath(const QString& fixedPath)
{
    const QByteArray root = qgetenv("ORVANA_DEVICE_ROOT");
    if (root.isEmpty())
        return fixedPath;
    QString prefix = QString::fromLocal8Bit(root);
    while (prefix.endsWith(QLatin1Char('/')))
        prefix.chop(1);
    return prefix + fixedPath;
}

} // namespace ORVANA
