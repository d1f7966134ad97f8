#pragma once

#include <QList>
#include <QMutex>
#include <QObject>
#include <QTimer>

class QSettings;
class QSslConfiguration;

namespace tarsel {

class HttpConnectionHandler;
class HttpRequestHandler;

// The connection handlers, created on demand up to "maxThreads" and trimmed one idle
// handler per tick of the cleanup timer down to "minThreads".
class HttpConnectionHandlerPool : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY(HttpConnectionHandlerPool)
public:
    HttpConnectionHandlerPool(const QSettings* settings, HttpRequestHandler* requestHandler);
    virtual ~HttpConnectionHandlerPool();

    // A handler already marked busy, or null when all are busy and the pool is full.
    HttpConnectionHandler* getConnectionHandler();

private slots:
    void cleanup();

private:
    void loadSslConfig();

    const QSettings* settings;
    HttpRequestHandler* requestHandler;
    QList<HttpConnectionHandler*> pool;
    QTimer cleanupTimer;
    QMutex mutex;
    QSslConfiguration* sslConfiguration;
};

} // namespace tarsel
