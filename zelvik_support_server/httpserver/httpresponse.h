#pragma once

#include "httpcookie.h"

#include <QByteArray>
#include <QMap>

class QTcpSocket;

namespace tarsel {

// Writes one HTTP/1.1 response to the connection's socket. The first write sends the status
// line and the headers; a body written in one part gets a "Content-Length", a body written
// in several parts is chunked unless the connection is to be closed.
class HttpResponse
{
    Q_DISABLE_COPY(HttpResponse)
public:
    explicit HttpResponse(QTcpSocket* socket);

    void setHeader(QByteArray name, QByteArray value);
    void setHeader(QByteArray name, int value);
    QMap<QByteArray, QByteArray>& getHeaders();

    void setStatus(int statusCode, QByteArray description = QByteArray());
    int getStatusCode() const;

    void write(QByteArray data, bool lastPart = false);
    bool hasSentLastPart() const;

    void setCookie(const HttpCookie& cookie);
    QMap<QByteArray, HttpCookie>& getCookies();

    void redirect(const QByteArray& url);
    void flush();
    bool isConnected() const;

private:
    void appendHeaderBlock(QByteArray& buffer) const;
    bool writeToSocket(QByteArray data);

    QMap<QByteArray, QByteArray> headers;
    QTcpSocket* socket;
    int statusCode;
    QByteArray statusText;
    bool sentHeaders;
    bool sentLastPart;
    bool chunkedMode;
    QMap<QByteArray, HttpCookie> cookies;
};

} // namespace tarsel
