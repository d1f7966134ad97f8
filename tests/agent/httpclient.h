#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>

// A minimal HTTP/1.1 client over a raw socket, so tests see the exact headers on the wire.
struct HttpAnswer {
    int status = 0;
    QList<QPair<QByteArray, QByteArray>> headers;
    QByteArray body;
    bool ok = false;

    QByteArray header(const QByteArray& name) const;
    bool hasHeader(const QByteArray& name) const { return !header(name).isNull(); }
};

namespace HttpClient {
HttpAnswer request(const QByteArray& method, const QByteArray& target, const QList<QPair<QByteArray, QByteArray>>& headers = {},
                   const QByteArray& body = QByteArray(), int timeoutMs = 30000);
inline HttpAnswer get(const QByteArray& target, int timeoutMs = 30000) { return request("GET", target, {}, QByteArray(), timeoutMs); }
}
