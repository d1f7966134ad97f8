#include "systemlog.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <unistd.h>

SystemLog::SystemLog(const QString& path, qint64 limit)
    : m_path(path)
    , m_limit(limit)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
}

qint64 SystemLog::configuredLimit()
{
    bool ok = false;
    const qint64 limit = qEnvironmentVariable("ORVANA_SIM_LOG_LIMIT").toLongLong(&ok);
    return ok && limit > 0 ? limit : 10240000;
}

void SystemLog::write(const QString& text)
{
    if (QFileInfo(m_path).size() > m_limit) {
        const QString old = m_path + QStringLiteral(".1");
        QFile::remove(old);
        QFile::rename(m_path, old);
    }
    // Texts may carry client-chosen paths: a line end in them must not forge another log line.
    QString line = text;
    line.replace(QLatin1Char('\n'), QLatin1Char(' ')).replace(QLatin1Char('\r'), QLatin1Char(' '));
    line = QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz"))
        + QStringLiteral(" orvana-sim[%1]: ").arg(getpid()) + line + QLatin1Char('\n');
    QFile file(m_path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append) || file.write(line.toUtf8()) < 0 || !file.flush())
        qWarning("orvana-sim: cannot append to %s", qPrintable(m_path));
}
