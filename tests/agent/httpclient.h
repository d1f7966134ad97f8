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

    bool hasHeader(const QByteArray& name) const;
    QByteArray header(const QByteArray& name) const;
};

class HttpClient
{
public:
    static HttpAnswer get(const QByteArray& target, int timeoutMs = 30000);
    static HttpAnswer request(const QByteArray& method, const QByteArray& target,
                              const QList<QPair<QByteArray, QByteArray>>& headers = {},
                              const QByteArray& body = QByteArray(), int timeoutMs = 30000);
    // Parses one complete answer; false when the bytes do not hold one.
    static bool parse(const QByteArray& raw, HttpAnswer* answer);
};
