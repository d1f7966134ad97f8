#include "httpclient.h"

#include <QTcpSocket>

// A header that is there has a non-null value, even an empty one.
QByteArray HttpAnswer::header(const QByteArray& name) const
{
    for (const auto& header : headers) {
        if (header.first.compare(name, Qt::CaseInsensitive) == 0)
            return header.second.isNull() ? QByteArray("") : header.second;
    }
    return QByteArray();
}

namespace {
// Parses one complete answer; false when the bytes do not hold one.
bool parse(const QByteArray& raw, HttpAnswer* answer)
{
    const int end = raw.indexOf("\r\n\r\n");
    const QList<QByteArray> lines = raw.left(end).split('\n');
    const QList<QByteArray> statusLine = lines.value(0).trimmed().split(' ');
    if (end < 0 || statusLine.size() < 2 || statusLine[0] != "HTTP/1.1")
        return false;
    answer->status = statusLine[1].toInt();
    for (const QByteArray& line : lines.mid(1)) {
        const int colon = line.indexOf(':');
        if (colon > 0)
            answer->headers.append({line.left(colon).trimmed(), line.mid(colon + 1).trimmed()});
    }
    const QByteArray rest = raw.mid(end + 4);
    const int length = answer->hasHeader("Content-Length") ? answer->header("Content-Length").toInt() : rest.size();
    answer->body = rest.left(length);
    return rest.size() >= length;
}
} // namespace

HttpAnswer HttpClient::request(const QByteArray& method, const QByteArray& target, const QList<QPair<QByteArray, QByteArray>>& headers,
                               const QByteArray& body)
{
    HttpAnswer answer;
    QTcpSocket socket;
    socket.connectToHost(QStringLiteral("127.0.0.1"), 10008);
    if (!socket.waitForConnected(5000))
        return answer;
    QByteArray raw = method + ' ' + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n";
    for (const auto& header : headers)
        raw += header.first + ": " + header.second + "\r\n";
    if (!body.isEmpty())
        raw += "Content-Length: " + QByteArray::number(body.size()) + "\r\n";
    socket.write(raw + "\r\n" + body);
    socket.waitForDisconnected(30000);
    answer.ok = parse(socket.readAll(), &answer);
    return answer;
}
