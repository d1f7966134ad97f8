#include "httpclient.h"

#include <QElapsedTimer>
#include <QTcpSocket>

bool HttpAnswer::hasHeader(const QByteArray& name) const
{
    for (const auto& header : headers) {
        if (header.first.compare(name, Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

QByteArray HttpAnswer::header(const QByteArray& name) const
{
    for (const auto& header : headers) {
        if (header.first.compare(name, Qt::CaseInsensitive) == 0)
            return header.second;
    }
    return QByteArray();
}

HttpAnswer HttpClient::get(const QByteArray& target, int timeoutMs)
{
    return request("GET", target, {}, QByteArray(), timeoutMs);
}

HttpAnswer HttpClient::request(const QByteArray& method, const QByteArray& target,
                               const QList<QPair<QByteArray, QByteArray>>& headers, const QByteArray& body,
                               int timeoutMs)
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
    raw += "\r\n" + body;
    socket.write(raw);

    QByteArray received;
    QElapsedTimer timer;
    timer.start();
    while (socket.state() == QAbstractSocket::ConnectedState && timer.elapsed() < timeoutMs) {
        if (socket.waitForReadyRead(100))
            received += socket.readAll();
    }
    received += socket.readAll();
    answer.ok = parse(received, &answer);
    return answer;
}

bool HttpClient::parse(const QByteArray& raw, HttpAnswer* answer)
{
    const int end = raw.indexOf("\r\n\r\n");
    if (end < 0)
        return false;
    const QList<QByteArray> lines = raw.left(end).split('\n');
    const QList<QByteArray> statusLine = lines.value(0).trimmed().split(' ');
    if (statusLine.size() < 2 || statusLine[0] != "HTTP/1.1")
        return false;
    answer->status = statusLine[1].toInt();
    for (int i = 1; i < lines.size(); ++i) {
        const QByteArray line = lines[i].trimmed();
        const int colon = line.indexOf(':');
        if (colon > 0)
            answer->headers.append({line.left(colon), line.mid(colon + 1).trimmed()});
    }
    QByteArray rest = raw.mid(end + 4);
    if (answer->header("Transfer-Encoding").toLower() == "chunked") {
        QByteArray body;
        while (true) {
            const int lineEnd = rest.indexOf("\r\n");
            if (lineEnd < 0)
                return false;
            bool ok = false;
            const int size = rest.left(lineEnd).toInt(&ok, 16);
            if (!ok || rest.size() < lineEnd + 2 + size + 2)
                return false;
            if (size == 0)
                break;
            body += rest.mid(lineEnd + 2, size);
            rest = rest.mid(lineEnd + 2 + size + 2);
        }
        answer->body = body;
        return true;
    }
    if (answer->hasHeader("Content-Length")) {
        const int length = answer->header("Content-Length").toInt();
        if (rest.size() < length)
            return false;
        answer->body = rest.left(length);
        return true;
    }
    answer->body = rest;
    return true;
}
