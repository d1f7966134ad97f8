#pragma once

#include <QByteArray>
#include <QString>

class QTcpSocket;

// A plain blocking client socket for tests: exact bytes out, exact bytes in. Every wait
// keeps the calling thread's event loop turning, so a server in the same thread runs.
class RawClient
{
public:
    RawClient();
    explicit RawClient(int fd);
    ~RawClient();
    RawClient(const RawClient&) = delete;
    RawClient& operator=(const RawClient&) = delete;

    bool connectTo(quint16 port);
    bool send(const QByteArray& data);
    // Reads until `total` bytes were received, the peer closed or `timeoutMs` passed.
    QByteArray receive(int total, int timeoutMs = 5000);
    // Reads until the peer closes or `timeoutMs` passed; `closed` tells which.
    QByteArray receiveUntilClosed(int timeoutMs = 5000, bool* closed = nullptr);
    // Reads one complete response (head plus "Content-Length" or chunked body).
    QByteArray receiveResponse(int timeoutMs = 15000);
    void shutdownWrite();
    void close();
    int descriptor() const { return fd; }

    // A connected pair: a socket for the server side and a raw client on the other end.
    static int socketPair(RawClient** client);

private:
    int readSome(int timeoutMs);

    int fd;
    QByteArray pending;
};
