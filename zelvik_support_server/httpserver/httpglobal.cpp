#include "httpglobal.h"
#include "logwriter.h"

#include <QByteArray>
#include <QMutex>
#include <QMutexLocker>
#include <QSettings>
#include <QSslSocket>
#include <QVariant>

#include <cstdarg>
#include <cstdio>

namespace tarsel {

Q_LOGGING_CATEGORY(httpLog, "tarsel.httpserver")

void writeDebugLine(const char* format, ...)
{
    char buffer[512];
    va_list args;
    va_start(args, format);
    const int length = std::vsnprintf(buffer, sizeof(buffer), format, args);
    va_end(args);
    if (length < 0)
        return;
    if (length < int(sizeof(buffer))) {
        LogWriter::debug(httpLog(), buffer, length);
        return;
    }
    QByteArray longer(length + 1, Qt::Uninitialized);
    va_start(args, format);
    std::vsnprintf(longer.data(), size_t(longer.size()), format, args);
    va_end(args);
    LogWriter::debug(httpLog(), longer.constData(), length);
}

const char* getHttpServerVersion()
{
    return "1.8.3";
}

qint64 pendingBytes(const QTcpSocket* socket)
{
    const QSslSocket* sslSocket = qobject_cast<const QSslSocket*>(socket);
    return socket->bytesToWrite() + (sslSocket ? sslSocket->encryptedBytesToWrite() : 0);
}

QVariant readSetting(const QSettings* settings, const QString& key, const QVariant& defaultValue)
{
    static QMutex settingsMutex;
    QMutexLocker locker(&settingsMutex);
    return settings->value(key, defaultValue);
}

} // namespace tarsel
