#pragma once

#include "httpglobal.h"

#include <QTcpServer>

class QSettings;

namespace tarsel {

class HttpConnectionHandlerPool;
class HttpRequestHandler;

// The listening socket. Hands every accepted connection to a free handler of the pool,
// or answers it with a fixed 503 when the pool is exhausted.
class HttpListener : public QTcpServer
{
    Q_OBJECT
    Q_DISABLE_COPY(HttpListener)
public:
    HttpListener(const QSettings* settings, HttpRequestHandler* requestHandler, QObject* parent = nullptr);
    virtual ~HttpListener();

    void listen();
    void close();

protected:
    void incomingConnection(tSocketDescriptor socketDescriptor) override;

signals:
    void handleConnection(tSocketDescriptor socketDescriptor);

private slots:
    void acceptFailed();

private:
    void answerTooManyConnections(tSocketDescriptor socketDescriptor);

    const QSettings* settings;
    HttpRequestHandler* requestHandler;
    HttpConnectionHandlerPool* pool;
};

} // namespace tarsel
