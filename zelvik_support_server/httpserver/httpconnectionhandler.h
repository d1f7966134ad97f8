#pragma once

#include "httpglobal.h"

#include <QObject>
#include <QTimer>

#include <atomic>

class QSettings;
class QSslConfiguration;
class QTcpSocket;
class QThread;

namespace tarsel {

class HttpRequest;
class HttpRequestHandler;

// Serves one connection at a time on a thread of its own: reads requests, calls the
// request handler and keeps or closes the connection.
class HttpConnectionHandler : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY(HttpConnectionHandler)
public:
    HttpConnectionHandler(const QSettings* settings, HttpRequestHandler* requestHandler,
                          const QSslConfiguration* sslConfiguration = nullptr);
    virtual ~HttpConnectionHandler();

    bool isBusy();
    void setBusy();

public slots:
    void handleConnection(tSocketDescriptor socketDescriptor);

private slots:
    void readTimeout();
    void read();
    void disconnected();
    void thread_done();

private:
    void createSocket();
    // True when it answered a request and the connection stays open.
    bool processInput();
    // Hands every byte to the kernel; false when the client took too long and was dropped.
    bool writeAll();
    void closeAfterWriting();
    // Answers 413 and drains the connection until the client closes.
    void refuse();
    void releaseConnection();

    const QSettings* settings;
    QTcpSocket* socket;
    QThread* thread;
    QTimer readTimer;
    HttpRequest* currentRequest;
    HttpRequestHandler* requestHandler;
    std::atomic<bool> busy;
    const QSslConfiguration* sslConfiguration;
    // Limits of the current connection, read from the settings when it starts.
    int readTimeoutMs;
    int maxRequestSize;
    int maxMultiPartSize;
    // Used in the handler's thread only. A connection is adopted and not yet released.
    bool connected;
    // Connections adopted by all handlers of the process and not yet released.
    static std::atomic<int> openConnections;
    // read() is running. Waits for the socket and service() may deliver socket signals
    // re-entrantly (a nested event loop); those are left to the running read().
    bool reading;
    // The connection was refused: its input is read and dropped until it closes.
    bool draining;
};

} // namespace tarsel
