#include "httplistener.h"

#include "httpconnectionhandler.h"
#include "httpconnectionhandlerpool.h"

#include <QSettings>
#include <QTcpSocket>
#include <QTimer>
#include <QVariant>

#include <sys/socket.h>
#include <unistd.h>

namespace tarsel {

namespace {
const char TOO_MANY_ANSWER[] = "HTTP/1.1 503 too many connections\r\nConnection: close\r\n\r\nToo many connections\r\n";
// After a failed accept (out of descriptors or memory) the listener pauses this long, then
// tries again.
const int ACCEPT_RETRY_MS = 100;
}

HttpListener::HttpListener(const QSettings* settings, HttpRequestHandler* requestHandler, QObject* parent)
    : QTcpServer(parent)
{
    Q_ASSERT_X(settings != nullptr, "HttpListener::HttpListener", "settings!=nullptr");
    Q_ASSERT_X(requestHandler != nullptr, "HttpListener::HttpListener", "requestHandler!=nullptr");
    this->settings = settings;
    this->requestHandler = requestHandler;
    pool = nullptr;
    qRegisterMetaType<tSocketDescriptor>("tSocketDescriptor");
    // QTcpServer stops accepting after an error it does not count as temporary.
    connect(this, &QTcpServer::acceptError, this, &HttpListener::acceptFailed);
    listen();
}

HttpListener::~HttpListener()
{
    close();
    tarselDebug("HttpListener: destroyed");
}

void HttpListener::listen()
{
    if (!pool)
        pool = new HttpConnectionHandlerPool(settings, requestHandler);
    const QString host = readSetting(settings, QStringLiteral("host"), QString()).toString();
    const quint16 port = quint16(readSetting(settings, QStringLiteral("port"), 0).toUInt());
    QTcpServer::listen(host.isEmpty() ? QHostAddress(QHostAddress::Any) : QHostAddress(host), port);
    if (!isListening()) {
        qCCritical(httpLog, "HttpListener: Cannot bind on port %i: %s", int(port), qPrintable(errorString()));
        return;
    }
    // Qt listens with a backlog of 50: a burst of connections while the listener thread is busy
    // creating handlers would overflow it, and the kernel drops the SYN (one second of delay).
    ::listen(int(socketDescriptor()), SOMAXCONN);
    tarselDebug("HttpListener: Listening on port %i", int(port));
}

void HttpListener::close()
{
    QTcpServer::close();
    tarselDebug("HttpListener: closed");
    delete pool;
    pool = nullptr;
}

void HttpListener::acceptFailed()
{
    qCWarning(httpLog, "HttpListener: cannot accept a connection: %s", qPrintable(errorString()));
    QTimer::singleShot(ACCEPT_RETRY_MS, this, [this]() {
        if (isListening())
            resumeAccepting();
    });
}

void HttpListener::incomingConnection(tSocketDescriptor socketDescriptor)
{
    tarselDebug("HttpListener: New connection");
    HttpConnectionHandler* freeHandler = pool ? pool->getConnectionHandler() : nullptr;
    if (freeHandler) {
        QMetaObject::invokeMethod(freeHandler, "handleConnection", Qt::QueuedConnection,
                                  Q_ARG(tSocketDescriptor, socketDescriptor));
        return;
    }
    tarselDebug("HttpListener: Too many incoming connections");
    answerTooManyConnections(socketDescriptor);
}

void HttpListener::answerTooManyConnections(tSocketDescriptor socketDescriptor)
{
    QTcpSocket* socket = new QTcpSocket(this);
    if (!socket->setSocketDescriptor(socketDescriptor)) {
        delete socket;
        ::close(int(socketDescriptor));
        return;
    }
    connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    // Closing a socket that still has unread request bytes resets the connection, and the
    // client may lose the answer: send it, end our side, and drop what the client sends
    // until it closes too.
    connect(socket, &QTcpSocket::readyRead, socket, [socket]() { socket->readAll(); });
    connect(socket, &QTcpSocket::bytesWritten, socket, [socket]() {
        if (socket->bytesToWrite() == 0)
            ::shutdown(int(socket->socketDescriptor()), SHUT_WR);
    });
    QTimer::singleShot(DRAIN_MS, socket, [socket]() { socket->abort(); });
    socket->write(TOO_MANY_ANSWER, sizeof(TOO_MANY_ANSWER) - 1);
}

} // namespace tarsel
