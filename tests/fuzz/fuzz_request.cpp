// Fuzz entry of the HTTP request parser: arbitrary bytes reach HttpRequest through a
// connected socket, in pieces whose size the first input byte chooses.
#include "httprequest.h"

#include <QCoreApplication>
#include <QDir>
#include <QTcpSocket>
#include <QTemporaryDir>

#include <algorithm>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

struct Environment
{
    Environment()
    {
        // The parser's temporary files go to a folder of our own (in memory where there is
        // one); no bus is reached.
        qputenv("ORVANA_DEVICE_ROOT", root.path().toLocal8Bit());
        qputenv("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=/nonexistent/zelvik-fuzz-bus");
        qputenv("QT_LOGGING_RULES", "tarsel.httpserver.debug=false;tarsel.httpserver.warning=false");
        QDir().mkpath(tarsel::HttpRequest::tempDirectory());
        temp = QFile::encodeName(tarsel::HttpRequest::tempDirectory());
    }
    QTemporaryDir root{QDir(QStringLiteral("/dev/shm")).exists() ? QStringLiteral("/dev/shm/fuzz_request-XXXXXX")
                                                               : QDir::tempPath() + QStringLiteral("/fuzz_request-XXXXXX")};
    QByteArray temp;
    int argc = 1;
    char name[16] = "fuzz_request";
    char* argv[2] = {name, nullptr};
    QCoreApplication application{argc, argv};
};

bool finished(const tarsel::HttpRequest& request)
{
    return request.getStatus() >= tarsel::HttpRequest::complete;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static Environment* environment = new Environment();
    if (size == 0)
        return 0;
    ++data;
    --size;
    // Every piece is a round trip through the socket: a long input gets at most 16.
    const size_t step = std::max<size_t>(1 + data[-1] % 64 * 37, (size + 15) / 16);

    int fds[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, fds) != 0)
        return 0;
    {
        QTcpSocket socket;
        socket.setSocketDescriptor(fds[0]);
        tarsel::HttpRequest request(4000, 200000);
        for (size_t offset = 0; offset < size && !finished(request); offset += step) {
            const size_t length = size - offset < step ? size - offset : step;
            if (::send(fds[1], data + offset, length, MSG_NOSIGNAL) != ssize_t(length))
                break;
            // The piece is already in the socket pair: this returns at once.
            socket.waitForReadyRead(-1);
            while (socket.bytesAvailable() && !finished(request))
                request.readFromSocket(&socket);
        }
        // Only the end of the input ends the wait: the closed end reads as a disconnection.
        ::close(fds[1]);
        while (!finished(request) && socket.waitForReadyRead(-1))
            while (socket.bytesAvailable() && !finished(request))
                request.readFromSocket(&socket);
        if (request.getStatus() == tarsel::HttpRequest::complete) {
            request.getPath();
            request.getParameterMap();
            request.getCookieMap();
        }
    }
    // Nothing of the request may stay behind in the temporary directory: only an empty one can be removed.
    if (::rmdir(environment->temp.constData()) != 0 || ::mkdir(environment->temp.constData(), 0700) != 0)
        abort();
    return 0;
}
