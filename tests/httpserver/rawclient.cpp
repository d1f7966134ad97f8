#include "rawclient.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <arpa/inet.h>
#include <cerrno>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

RawClient::RawClient() : fd(-1) {}

RawClient::RawClient(int fd) : fd(fd) {}

RawClient::~RawClient()
{
    close();
}

void RawClient::close()
{
    if (fd >= 0)
        ::close(fd);
    fd = -1;
}

int RawClient::socketPair(RawClient** client)
{
    int fds[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, fds) != 0)
        return -1;
    *client = new RawClient(fds[1]);
    return fds[0];
}

bool RawClient::connectTo(quint16 port)
{
    close();
    fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof(one));
    return ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0;
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

void RawClient::shutdownWrite()
{
    ::shutdown(fd, SHUT_WR);
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

QByteArray RawClient::receive(int total, int timeoutMs)
{
    QElapsedTimer timer;
    timer.start();
    while (pending.size() < total && timer.elapsed() < timeoutMs) {
        if (readSome(int(timeoutMs - timer.elapsed())) == 0)
            break;
    }
    const QByteArray result = pending.left(total);
    pending.remove(0, result.size());
    return result;
}

QByteArray RawClient::receiveUntilClosed(int timeoutMs, bool* closed)
{
    QElapsedTimer timer;
    timer.start();
    int n = -1;
    while (timer.elapsed() < timeoutMs && (n = readSome(int(timeoutMs - timer.elapsed()))) != 0) {
    }
    if (closed)
        *closed = (n == 0);
    const QByteArray result = pending;
    pending.clear();
    return result;
}

QByteArray RawClient::receiveResponse(int timeoutMs)
{
    QElapsedTimer timer;
    timer.start();
    auto more = [&]() { return timer.elapsed() < timeoutMs && readSome(int(timeoutMs - timer.elapsed())) > 0; };
    int headEnd;
    while ((headEnd = pending.indexOf("\r\n\r\n")) < 0)
        if (!more())
            return receive(pending.size(), 0);
    headEnd += 4;
    const QByteArray head = pending.left(headEnd).toLower();
    int end = -1;
    const int lengthAt = head.indexOf("\r\ncontent-length: ");
    if (lengthAt >= 0) {
        end = headEnd + head.mid(lengthAt + 18, head.indexOf("\r\n", lengthAt + 2) - lengthAt - 18).toInt();
        while (pending.size() < end)
            if (!more())
                break;
    } else if (head.contains("\r\ntransfer-encoding: chunked")) {
        while ((end = pending.indexOf("\r\n0\r\n\r\n", headEnd - 2)) < 0)
            if (!more())
                break;
        if (end >= 0)
            end += 7;
    }
    if (end < 0)
        return receiveUntilClosed(int(qMax<qint64>(timeoutMs - timer.elapsed(), 0)));
    return receive(qMin(end, pending.size()), 0);
}
