#pragma once

#include <QByteArray>
#include <QStringList>

// The answer of TestRequestHandler to "GET /fixed".
const QByteArray HELLO = "HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nhello";

// A plain blocking client socket for tests: exact bytes out, exact bytes in. Every wait
// keeps the calling thread's event loop turning, so a server in the same thread runs.
class RawClient
{
public:
    explicit RawClient(int fd = -1) : fd(fd) {}
    ~RawClient() { close(); }
    RawClient(const RawClient&) = delete;
    RawClient& operator=(const RawClient&) = delete;

    bool connectTo(quint16 port);
    bool send(const QByteArray& data);
    // Reads until `total` bytes were received (INT_MAX: until closed), the peer closed or
    // `timeoutMs` passed; `closed` tells whether the peer closed.
    QByteArray receive(int total, int timeoutMs = 5000, bool* closed = nullptr);
    // Connects and asks for /fixed: as many bytes as HELLO has. A 503 (a handler still
    // finishing with its last client) is tried again for up to `retryMs`.
    QByteArray fetchFixed(quint16 port, int retryMs = 0);
    void close();
    int descriptor() const { return fd; }

    // A connected pair: a socket for the server side and a raw client on the other end.
    static int socketPair(RawClient** client);
    // A socket to 127.0.0.1:port, connected (still connecting with SOCK_NONBLOCK), or -1.
    static int loopbackSocket(quint16 port, int type = 0);

private:
    int readSome(int timeoutMs);

    int fd;
    QByteArray pending;
};

// Runs curl and returns what it printed on standard output; the calling thread's event
// loop keeps turning meanwhile, so a server in the same thread answers.
QByteArray runCurl(const QStringList& arguments, int timeoutMs = 60000);
