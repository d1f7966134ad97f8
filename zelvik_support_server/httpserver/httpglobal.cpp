#include "httpglobal.h"

#include <QMutex>
#include <QMutexLocker>
#include <QSettings>
#include <QSslSocket>
#include <QVariant>

namespace tarsel {

Q_LOGGING_CATEGORY(httpLog, "tarsel.httpserver")

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
