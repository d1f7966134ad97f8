#include "httpconnectionhandler.h"

#include "httprequest.h"
#include "httprequesthandler.h"
#include "httpresponse.h"

#include <QSemaphore>
#include <QSettings>
#include <QSslConfiguration>
#include <QSslSocket>
#include <QThread>
#include <QVariant>

#include <sys/socket.h>
#include <unistd.h>

namespace tarsel {

namespace {

const char TOO_LARGE_ANSWER[] = "HTTP/1.1 413 entity too large\r\nConnection: close\r\n\r\n413 Entity too large\r\n";
const char CONTINUE_ANSWER[] = "HTTP/1.1 100 Continue\r\n\r\n";
const int WRITE_WAIT_MS = 30000;
// The socket reads ahead at most this much. Without a bound, a client that sends without
// pause while a large answer is written to it would grow the buffer without end.
const qint64 READ_BUFFER_SIZE = 256 * 1024;

bool equalsIgnoreCase(const QByteArray& text, const char* word)
{
    return qstricmp(text.constData(), word) == 0;
}

} // namespace

std::atomic<int> HttpConnectionHandler::openConnections{0};

HttpConnectionHandler::HttpConnectionHandler(const QSettings* settings, HttpRequestHandler* requestHandler,
                                             const QSslConfiguration* sslConfiguration)
    : QObject(), readTimer(), currentRequest(nullptr), busy(false), sslConfiguration(sslConfiguration),
      readTimeoutMs(10000), maxRequestSize(16000), maxMultiPartSize(1000000), connected(false), reading(false),
      draining(false)
{
    Q_ASSERT_X(settings != nullptr, "HttpConnectionHandler", "settings!=nullptr");
    Q_ASSERT_X(requestHandler != nullptr, "HttpConnectionHandler", "requestHandler!=nullptr");
    this->settings = settings;
    this->requestHandler = requestHandler;
    // The descriptor reaches handleConnection() through a queued call.
    qRegisterMetaType<tSocketDescriptor>("tSocketDescriptor");

    thread = new QThread();
    // The thread takes the descriptor of its event loop as it starts: wait for that, so that
    // the pool's check for a free descriptor still holds when the thread asks for it.
    QSemaphore started;
    const QMetaObject::Connection startedConnection = connect(
        thread, &QThread::started, thread, [&started]() { started.release(); }, Qt::DirectConnection);
    thread->start();
    started.acquire();
    disconnect(startedConnection);
    tarselDebug("HttpConnectionHandler (%p): thread started", static_cast<void*>(this));

    moveToThread(thread);
    readTimer.moveToThread(thread);
    readTimer.setSingleShot(true);

    createSocket();
    socket->moveToThread(thread);

    connect(socket, &QTcpSocket::readyRead, this, &HttpConnectionHandler::read);
    connect(socket, &QTcpSocket::disconnected, this, &HttpConnectionHandler::disconnected);
    connect(&readTimer, &QTimer::timeout, this, &HttpConnectionHandler::readTimeout);
    connect(thread, &QThread::finished, this, &HttpConnectionHandler::thread_done);

    tarselDebug("HttpConnectionHandler (%p): constructed", static_cast<void*>(this));
}

HttpConnectionHandler::~HttpConnectionHandler()
{
    thread->quit();
    thread->wait();
    // Pairs with the thread's last store: ThreadSanitizer does not see the order that wait() gives.
    busy.load(std::memory_order_acquire);
    delete thread;
    tarselDebug("HttpConnectionHandler (%p): destroyed", static_cast<void*>(this));
}

void HttpConnectionHandler::createSocket()
{
    if (sslConfiguration) {
        QSslSocket* sslSocket = new QSslSocket();
        sslSocket->setSslConfiguration(*sslConfiguration);
        socket = sslSocket;
        tarselDebug("HttpConnectionHandler (%p): SSL is enabled", static_cast<void*>(this));
    } else {
        socket = new QTcpSocket();
    }
}

bool HttpConnectionHandler::isBusy()
{
    return busy.load();
}

void HttpConnectionHandler::setBusy()
{
    busy.store(true);
}

void HttpConnectionHandler::handleConnection(tSocketDescriptor socketDescriptor)
{
    tarselDebug("HttpConnectionHandler (%p): handle new connection", static_cast<void*>(this));
    busy.store(true);
    Q_ASSERT_X(socket->isOpen() == false, "HttpConnectionHandler::handleConnection", "socket->isOpen()==false");

    // A TLS socket keeps the state of its previous session until a new connection
    // attempt resets it; the abort discards whatever the socket still holds.
    if (sslConfiguration)
        socket->connectToHost(QString(), 0);
    socket->abort();

    if (!socket->setSocketDescriptor(socketDescriptor)) {
        qCCritical(httpLog, "HttpConnectionHandler (%p): cannot initialize socket: %s", static_cast<void*>(this),
                   qPrintable(socket->errorString()));
        // Nobody else owns the descriptor; without closing it here it would leak, and the
        // handler would stay busy for good.
        ::close(int(socketDescriptor));
        busy.store(false);
        return;
    }
    connected = true;
    openConnections.fetch_add(1, std::memory_order_relaxed);
    socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    socket->setReadBufferSize(READ_BUFFER_SIZE);

    // Read the connection's limits here, once, instead of for every request.
    readTimeoutMs = readSetting(settings, QStringLiteral("readTimeout"), 10000).toInt();
    maxRequestSize = readSetting(settings, QStringLiteral("maxRequestSize"), 16000).toInt();
    maxMultiPartSize = readSetting(settings, QStringLiteral("maxMultiPartSize"), 1000000).toInt();

    if (sslConfiguration) {
        tarselDebug("HttpConnectionHandler (%p): Starting encryption", static_cast<void*>(this));
        static_cast<QSslSocket*>(socket)->startServerEncryption();
    }

    readTimer.start(readTimeoutMs);
    delete currentRequest;
    currentRequest = nullptr;
}

void HttpConnectionHandler::readTimeout()
{
    if (reading)
        return;
    tarselDebug("HttpConnectionHandler (%p): read timeout occured", static_cast<void*>(this));
    closeAfterWriting();
    delete currentRequest;
    currentRequest = nullptr;
}

void HttpConnectionHandler::disconnected()
{
    tarselDebug("HttpConnectionHandler (%p): disconnected", static_cast<void*>(this));
    if (reading)
        return;
    releaseConnection();
    tarselDebug("%s: requestHandler=%p", Q_FUNC_INFO, static_cast<void*>(requestHandler));
}

void HttpConnectionHandler::releaseConnection()
{
    if (!connected)
        return;
    connected = false;
    draining = false;
    openConnections.fetch_sub(1, std::memory_order_relaxed);
    socket->close();
    readTimer.stop();
    // An upload that will never complete takes its temporary file with it.
    delete currentRequest;
    currentRequest = nullptr;
    busy.store(false);
}

void HttpConnectionHandler::thread_done()
{
    releaseConnection();
    readTimer.stop();
    socket->close();
    delete socket;
    socket = nullptr;
    delete currentRequest;
    currentRequest = nullptr;
    tarselDebug("HttpConnectionHandler (%p): thread stopped", static_cast<void*>(this));
    busy.store(false, std::memory_order_release);
}

bool HttpConnectionHandler::writeAll()
{
    while (pendingBytes(socket) > 0 && socket->waitForBytesWritten(WRITE_WAIT_MS)) {
    }
    // A client that does not take the rest would keep the handler in a closing socket.
    if (pendingBytes(socket) == 0)
        return true;
    socket->abort();
    return false;
}

void HttpConnectionHandler::closeAfterWriting()
{
    if (writeAll())
        socket->disconnectFromHost();
}

void HttpConnectionHandler::refuse()
{
    delete currentRequest;
    currentRequest = nullptr;
    socket->write(TOO_LARGE_ANSWER, sizeof(TOO_LARGE_ANSWER) - 1);
    if (!writeAll())
        return;
    // Closing with unread input resets the connection, and the client may lose the answer:
    // end our side and drop what the client still sends until it closes too, or the time is up.
    ::shutdown(int(socket->socketDescriptor()), SHUT_WR);
    draining = true;
    socket->readAll();
    readTimer.start(DRAIN_MS);
}

void HttpConnectionHandler::read()
{
    if (reading)
        return;
    reading = true;
    const bool answered = processInput();
    reading = false;
    if (connected && socket->state() != QAbstractSocket::ConnectedState) {
        releaseConnection();
        tarselDebug("%s: requestHandler=%p", Q_FUNC_INFO, static_cast<void*>(requestHandler));
    } else if (answered && connected && openConnections.load(std::memory_order_relaxed) > 1) {
        // A client that asks again at once would keep this thread on the CPU for a whole time
        // slice while the other connections wait (a p99 of 100 ms and more at 64 connections
        // on one core): let them have their turn first.
        QThread::yieldCurrentThread();
    }
}

bool HttpConnectionHandler::processInput()
{
    bool answered = false;
    if (draining)
        socket->readAll();
    while (connected && !draining && socket->bytesAvailable()) {
        tarselDebug("HttpConnectionHandler (%p): read input", static_cast<void*>(this));
        if (!currentRequest)
            currentRequest = new HttpRequest(maxRequestSize, maxMultiPartSize);

        while (socket->bytesAvailable() && currentRequest->getStatus() != HttpRequest::complete
               && currentRequest->getStatus() != HttpRequest::abort) {
            const bool inBody = currentRequest->getStatus() == HttpRequest::waitForBody;
            currentRequest->readFromSocket(socket);
            if (currentRequest->getStatus() == HttpRequest::waitForBody) {
                // The client waits for this before it sends the body.
                if (!inBody && currentRequest->expectsContinue()) {
                    socket->write(CONTINUE_ANSWER, sizeof(CONTINUE_ANSWER) - 1);
                    socket->flush();
                }
                readTimer.start(readTimeoutMs);
            }
        }

        if (currentRequest->getStatus() == HttpRequest::abort) {
            refuse();
            return false;
        }
        if (currentRequest->getStatus() != HttpRequest::complete)
            return answered;

        readTimer.stop();
        tarselDebug("HttpConnectionHandler (%p): received request", static_cast<void*>(this));
        HttpResponse response(socket);
        bool closeConnection = equalsIgnoreCase(currentRequest->getHeader(QByteArrayLiteral("connection")), "close")
                               || equalsIgnoreCase(currentRequest->getVersion(), "HTTP/1.0");
        if (closeConnection)
            response.setHeader(QByteArrayLiteral("Connection"), QByteArrayLiteral("close"));

        try {
            requestHandler->service(*currentRequest, response);
        } catch (...) {
            qCCritical(httpLog, "HttpConnectionHandler (%p): An uncatched exception occured in the request handler",
                       static_cast<void*>(this));
        }
        if (!response.hasSentLastPart())
            response.write(QByteArray(), true);
        tarselDebug("HttpConnectionHandler (%p): finished request", static_cast<void*>(this));

        if (!closeConnection) {
            const QMap<QByteArray, QByteArray>& headers = response.getHeaders();
            closeConnection = equalsIgnoreCase(headers.value(QByteArrayLiteral("Connection")), "close")
                              || (!headers.contains(QByteArrayLiteral("Content-Length"))
                                  && !equalsIgnoreCase(headers.value(QByteArrayLiteral("Transfer-Encoding")), "chunked"));
        }
        delete currentRequest;
        currentRequest = nullptr;
        if (closeConnection) {
            // Requests pipelined behind this one are not served on a closing connection.
            closeAfterWriting();
            return false;
        }
        readTimer.start(readTimeoutMs);
        answered = true;
    }
    return answered;
}

} // namespace tarsel
