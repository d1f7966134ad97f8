#include "httpresponse.h"

#include "httpglobal.h"

#include <QTcpSocket>

#include <poll.h>

namespace tarsel {

namespace {
// Above this many bytes waiting in the socket a writer waits for the client.
const qint64 MAX_PENDING_BYTES = 16384;
// A client that takes no byte for this long is gone; its connection is dropped.
const int WRITE_STALL_MS = 30000;
// Headers and a body up to this size reach the socket in one write.
const int COALESCE_LIMIT = 65536;
// Room for the status line and the headers the server adds.
const int HEADER_ROOM = 128;
// A chunk's size line and end, and the last chunk.
const int CHUNK_FRAMING = 24;
const int WRITE_SLICE = 65536;
}

HttpResponse::HttpResponse(QTcpSocket* socket)
    : socket(socket), statusCode(200), statusText(QByteArrayLiteral("OK")), sentHeaders(false), sentLastPart(false),
      chunkedMode(false)
{
}

void HttpResponse::setHeader(QByteArray name, QByteArray value)
{
    Q_ASSERT_X(sentHeaders == false, "HttpResponse::setHeader", "sentHeaders==false");
    headers.insert(name, value);
}

void HttpResponse::setHeader(QByteArray name, int value)
{
    setHeader(name, QByteArray::number(value));
}

QMap<QByteArray, QByteArray>& HttpResponse::getHeaders()
{
    return headers;
}

void HttpResponse::setStatus(int statusCode, QByteArray description)
{
    if (sentHeaders)
        return;
    this->statusCode = statusCode;
    statusText = description;
}

int HttpResponse::getStatusCode() const
{
    return statusCode;
}

void HttpResponse::appendHeaderBlock(QByteArray& buffer) const
{
    buffer.append("HTTP/1.1 ").append(QByteArray::number(statusCode)).append(' ').append(statusText).append("\r\n");
    for (auto it = headers.constBegin(); it != headers.constEnd(); ++it)
        buffer.append(it.key()).append(": ").append(it.value()).append("\r\n");
    for (auto it = cookies.constBegin(); it != cookies.constEnd(); ++it)
        buffer.append("Set-Cookie: ").append(it.value().toByteArray()).append("\r\n");
    buffer.append("\r\n");
}

bool HttpResponse::writeToSocket(QByteArray data)
{
    qint64 offset = 0;
    while (socket->isOpen() && offset < data.size()) {
        if (pendingBytes(socket) > MAX_PENDING_BYTES && !socket->waitForBytesWritten(WRITE_STALL_MS)) {
            if (socket->state() == QAbstractSocket::ConnectedState && socket->error() == QAbstractSocket::SocketTimeoutError)
                socket->abort();
            if (socket->state() != QAbstractSocket::ConnectedState)
                return false;
        }
        const qint64 written = socket->write(data.constData() + offset, qMin<qint64>(WRITE_SLICE, data.size() - offset));
        if (written < 0)
            return false;
        offset += written;
    }
    return true;
}

void HttpResponse::write(QByteArray data, bool lastPart)
{
    Q_ASSERT_X(sentLastPart == false, "HttpResponse::write", "sentLastPart==false");

    // Headers and a small body go to the socket in one piece: the bytes on the wire are fixed,
    // and a split small answer costs a segment and the delayed-ACK stall.
    const bool together = data.size() <= COALESCE_LIMIT;
    QByteArray packet;
    const int headerRoom = sentHeaders ? 0 : HEADER_ROOM + 64 * (headers.size() + cookies.size());
    packet.reserve(headerRoom + CHUNK_FRAMING + (together ? data.size() : 0));
    if (!sentHeaders) {
        if (lastPart) {
            headers.insert(QByteArrayLiteral("Content-Length"), QByteArray::number(data.size()));
        } else {
            const QByteArray connection = headers.contains("Connection") ? headers.value("Connection")
                                                                         : headers.value("connection");
            if (qstricmp(connection.constData(), "close") != 0) {
                headers.insert("Transfer-Encoding", "chunked");
                chunkedMode = true;
            }
        }
        appendHeaderBlock(packet);
        sentHeaders = true;
    }

    const bool chunk = chunkedMode && !data.isEmpty();
    if (chunk)
        packet.append(QByteArray::number(data.size(), 16)).append("\r\n");
    if (!together) {
        writeToSocket(packet);
        writeToSocket(data);
        packet.clear();
    } else {
        packet.append(data);
    }
    if (chunk)
        packet.append("\r\n");
    if (chunkedMode && lastPart)
        packet.append("0\r\n\r\n");
    writeToSocket(packet);
    socket->flush();
    if (lastPart)
        sentLastPart = true;
}

bool HttpResponse::hasSentLastPart() const
{
    return sentLastPart;
}

void HttpResponse::setCookie(const HttpCookie& cookie)
{
    Q_ASSERT_X(sentHeaders == false, "HttpResponse::setCookie", "sentHeaders==false");
    if (!cookie.getName().isEmpty())
        cookies.insert(cookie.getName(), cookie);
}

QMap<QByteArray, HttpCookie>& HttpResponse::getCookies()
{
    return cookies;
}

void HttpResponse::redirect(const QByteArray& url)
{
    setStatus(303, "See Other");
    setHeader("Location", url);
    write("Redirect", true);
}

void HttpResponse::flush()
{
    socket->flush();
}

bool HttpResponse::isConnected() const
{
    if (!socket->isOpen() || socket->state() != QAbstractSocket::ConnectedState)
        return false;
    // While service() runs, the handler's thread handles no socket events, so the socket's state
    // does not show a client that has gone: ask the kernel whether the peer hung up.
    pollfd peer = {int(socket->socketDescriptor()), POLLRDHUP, 0};
    return ::poll(&peer, 1, 0) <= 0 || (peer.revents & (POLLRDHUP | POLLHUP | POLLERR | POLLNVAL)) == 0;
}

} // namespace tarsel
