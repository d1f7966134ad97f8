#include "eventlog.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <unistd.h>

#include "devicepath.h"

void EventLog::write(const QString& text)
{
    const QString path = ORVANA::devicePath(QStringLiteral("/data/log/message"));
    QDir().mkpath(QFileInfo(path).absolutePath());
    // Package ids and texts come from clients: a line end must not forge another line.
    QString line = text;
    line.replace(QLatin1Char('\n'), QLatin1Char(' ')).replace(QLatin1Char('\r'), QLatin1Char(' '));
    line = QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz"))
        + QStringLiteral(" orvana-screen[%1]: ").arg(getpid()) + line + QLatin1Char('\n');
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append) || file.write(line.toUtf8()) < 0
        || !file.flush())
        qWarning("orvana-screen: cannot append to %s", qPrintable(path));
}
