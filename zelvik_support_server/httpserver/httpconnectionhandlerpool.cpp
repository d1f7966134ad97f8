#include "httpconnectionhandlerpool.h"

#include "httpconnectionhandler.h"
#include "httpglobal.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslKey>
#include <QSslSocket>
#include <QVariant>

#include <sys/eventfd.h>
#include <unistd.h>

namespace tarsel {

namespace {
// A new handler's thread takes a descriptor for its event loop, and the event loop aborts the
// process when it gets none.
bool descriptorAvailable()
{
    const int fd = ::eventfd(0, EFD_CLOEXEC);
    if (fd < 0)
        return false;
    ::close(fd);
    return true;
}
} // namespace

HttpConnectionHandlerPool::HttpConnectionHandlerPool(const QSettings* settings, HttpRequestHandler* requestHandler)
    : QObject()
{
    Q_ASSERT_X(settings != nullptr, "HttpConnectionHandlerPool", "settings!=0");
    this->settings = settings;
    this->requestHandler = requestHandler;
    sslConfiguration = nullptr;
    loadSslConfig();
    cleanupTimer.start(readSetting(settings, QStringLiteral("cleanupInterval"), 1000).toInt());
    connect(&cleanupTimer, &QTimer::timeout, this, &HttpConnectionHandlerPool::cleanup);
}

HttpConnectionHandlerPool::~HttpConnectionHandlerPool()
{
    for (HttpConnectionHandler* handler : qAsConst(pool))
        delete handler;
    delete sslConfiguration;
    tarselDebug("HttpConnectionHandlerPool (%p): destroyed", static_cast<void*>(this));
}

HttpConnectionHandler* HttpConnectionHandlerPool::getConnectionHandler()
{
    QMutexLocker locker(&mutex);
    for (HttpConnectionHandler* handler : qAsConst(pool)) {
        if (!handler->isBusy()) {
            handler->setBusy();
            return handler;
        }
    }
    const int maxConnectionHandlers = readSetting(settings, QStringLiteral("maxThreads"), 100).toInt();
    if (pool.count() >= maxConnectionHandlers || !descriptorAvailable())
        return nullptr;
    HttpConnectionHandler* handler = new HttpConnectionHandler(settings, requestHandler, sslConfiguration);
    handler->setBusy();
    pool.append(handler);
    return handler;
}

void HttpConnectionHandlerPool::cleanup()
{
    const int maxIdleHandlers = readSetting(settings, QStringLiteral("minThreads"), 1).toInt();
    int idleCounter = 0;
    QMutexLocker locker(&mutex);
    for (int i = 0; i < pool.count(); ++i) {
        HttpConnectionHandler* handler = pool.at(i);
        if (handler->isBusy())
            continue;
        if (++idleCounter > maxIdleHandlers) {
            delete handler;
            pool.removeAt(i);
            tarselDebug("HttpConnectionHandlerPool: Removed connection handler (%p), pool size is now %li",
                    static_cast<void*>(handler), long(pool.size()));
            break;
        }
    }
}

void HttpConnectionHandlerPool::loadSslConfig()
{
    QString sslKeyFileName = readSetting(settings, QStringLiteral("sslKeyFile"), QString()).toString();
    QString sslCertFileName = readSetting(settings, QStringLiteral("sslCertFile"), QString()).toString();
    if (sslKeyFileName.isEmpty() || sslCertFileName.isEmpty())
        return;

    // Relative names are taken from the folder of the settings file.
    const QDir configDir = QFileInfo(settings->fileName()).absoluteDir();
    sslKeyFileName = QDir::cleanPath(configDir.absoluteFilePath(sslKeyFileName));
    sslCertFileName = QDir::cleanPath(configDir.absoluteFilePath(sslCertFileName));

    QFile certFile(sslCertFileName);
    if (!certFile.open(QIODevice::ReadOnly)) {
        qCCritical(httpLog, "HttpConnectionHandlerPool: cannot open sslCertFile %s", qPrintable(sslCertFileName));
        return;
    }
    QSslCertificate certificate(&certFile, QSsl::Pem);
    certFile.close();

    QFile keyFile(sslKeyFileName);
    if (!keyFile.open(QIODevice::ReadOnly)) {
        qCCritical(httpLog, "HttpConnectionHandlerPool: cannot open sslKeyFile %s", qPrintable(sslKeyFileName));
        return;
    }
    QSslKey sslKey(&keyFile, QSsl::Rsa, QSsl::Pem, QSsl::PrivateKey, QByteArray());
    keyFile.close();

    sslConfiguration = new QSslConfiguration();
    sslConfiguration->setLocalCertificate(certificate);
    sslConfiguration->setPrivateKey(sslKey);
    sslConfiguration->setPeerVerifyMode(QSslSocket::VerifyNone);
    sslConfiguration->setProtocol(QSsl::AnyProtocol);
    tarselDebug("HttpConnectionHandlerPool: SSL settings loaded");
}

} // namespace tarsel
