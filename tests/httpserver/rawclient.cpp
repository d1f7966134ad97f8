#include "rawclient.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>

#include <arpa/inet.h>
#include <cerrno>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

void RawClient::close()
{
    if (fd >= 0)
        ::close(fd);
    fd = -1;
    pending.clear();
}

int RawClient::socketPair(RawClient** client)
{
    int fds[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, fds) != 0)
        return -1;
    *client = new RawClient(fds[1]);
    return fds[0];
}

int RawClient::loopbackSocket(quint16 port, int type)
{
    const int socket = ::socket(AF_INET, SOCK_STREAM | type, 0);
    sockaddr_in address = {AF_INET, htons(port), {htonl(INADDR_LOOPBACK)}, {}};
    if (::connect(socket, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0 || errno == EINPROGRESS)
        return socket;
    ::close(socket);
    return -1;
}

bool RawClient::connectTo(quint16 port)
{
    close();
    fd = loopbackSocket(port);
    const int one = 1;
    return fd >= 0 && ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof(one)) == 0;
}

bool RawClient::send(const QByteArray& data)
{
    qint64 offset = 0;
    QElapsedTimer timer;
    timer.start();
    while (offset < data.size() && timer.elapsed() < 30000) {
        const ssize_t n = ::send(fd, data.constData() + offset, size_t(data.size() - offset), MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) {
            offset += n;
        } else if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
            return false;
        } else {
            QCoreApplication::processEvents();
            pollfd p = {fd, POLLOUT, 0};
            ::poll(&p, 1, 5);
        }
    }
    return offset == data.size();
}

// Bytes read into `pending`: > 0, 0 when the peer closed, -1 when nothing arrived in time.
int RawClient::readSome(int timeoutMs)
{
    QElapsedTimer timer;
    timer.start();
    do {
        QCoreApplication::processEvents();
        pollfd p = {fd, POLLIN, 0};
        if (::poll(&p, 1, 5) > 0) {
            char buffer[65536];
            const ssize_t n = ::recv(fd, buffer, sizeof(buffer), MSG_DONTWAIT);
            if (n > 0) {
                pending.append(buffer, int(n));
                return int(n);
            }
            if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK))
                return 0;
        }
    } while (timer.elapsed() < timeoutMs);
    return -1;
}

QByteArray RawClient::receive(int total, int timeoutMs, bool* closed)
{
    QElapsedTimer timer;
    timer.start();
    int n = -1;
    while (pending.size() < total && timer.elapsed() < timeoutMs && (n = readSome(int(timeoutMs - timer.elapsed()))) != 0) {
    }
    if (closed)
        *closed = (n == 0);
    const QByteArray result = pending.left(total);
    pending.remove(0, result.size());
    return result;
}

QByteArray RawClient::fetchFixed(quint16 port, int retryMs)
{
    QElapsedTimer timer;
    timer.start();
    for (;;) {
        const bool sent = connectTo(port) && send("GET /fixed HTTP/1.1\r\n\r\n");
        const QByteArray answer = sent ? receive(HELLO.size()) : QByteArray();
        if (!answer.startsWith("HTTP/1.1 503") || timer.elapsed() > retryMs)
            return answer;
        for (const qint64 until = timer.elapsed() + 100; timer.elapsed() < until; ::poll(nullptr, 0, 5))
            QCoreApplication::processEvents();
    }
}

QByteArray runCurl(const QStringList& arguments, int timeoutMs)
{
    QProcess process;
    process.start("curl", arguments);
    QElapsedTimer timer;
    timer.start();
    while (!process.waitForFinished(5) && process.state() != QProcess::NotRunning && timer.elapsed() < timeoutMs)
        QCoreApplication::processEvents();
    process.kill(); // nothing left to end when it finished
    process.waitForFinished();
    return process.readAllStandardOutput();
}
