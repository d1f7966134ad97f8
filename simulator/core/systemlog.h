#pragma once

#include <QString>

// Appends one line per event to the system log file and rotates the file past its size limit
// (the old file becomes "<name>.1").
class SystemLog
{
public:
    SystemLog(const QString& path, qint64 limit);

    void write(const QString& text);

    // The size limit: 10240000 bytes, or ORVANA_SIM_LOG_LIMIT when set (for tests).
    static qint64 configuredLimit();

private:
    QString m_path;
    qint64 m_limit;
};
