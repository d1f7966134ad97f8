#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>

// A minimal HTTP/1.1 client over a raw socket, so tests see the exact headers on the wire. Answers
// with a Content-Length only: the agent's endpoints send no chunked ones.
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
                   const QByteArray& body = QByteArray());
inline HttpAnswer get(const QByteArray& target) { return request("GET", target); }
}
