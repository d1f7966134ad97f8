// Fuzz entry of the HTTP request parser: arbitrary bytes reach HttpRequest through a
// connected socket, in pieces whose size the first input byte chooses.
#include "httprequest.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QDir>
#include <QTcpSocket>
#include <QTemporaryDir>

#include <cstdint>
#include <cstdlib>
#include <sys/socket.h>
#include <unistd.h>

namespace {

struct Environment
{
    Environment()
    {
        // The parser's temporary files go to a folder of our own; no bus is reached.
        qputenv("ORVANA_DEVICE_ROOT", root.path().toLocal8Bit());
        qputenv("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=/nonexistent/zelvik-fuzz-bus");
        qputenv("QT_LOGGING_RULES", "tarsel.httpserver.debug=false;tarsel.httpserver.warning=false");
        QDir().mkpath(tarsel::HttpRequest::tempDirectory());
    }
    QTemporaryDir root;
    int argc = 1;
    char name[16] = "fuzz_request";
    char* argv[2] = {name, nullptr};
    QCoreApplication application{argc, argv};
};

bool finished(const tarsel::HttpRequest& request)
{
    return request.getStatus() == tarsel::HttpRequest::complete || request.getStatus() == tarsel::HttpRequest::abort;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static Environment* environment = new Environment();
    if (size == 0)
        return 0;
    const size_t step = 1 + data[0] % 64 * 37;
    ++data;
    --size;

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
            socket.waitForReadyRead(100);
            while (socket.bytesAvailable() && !finished(request))
                request.readFromSocket(&socket);
        }
        ::close(fds[1]);
        while (!finished(request) && socket.waitForReadyRead(10))
            while (socket.bytesAvailable() && !finished(request))
                request.readFromSocket(&socket);
        if (request.getStatus() == tarsel::HttpRequest::complete) {
            request.getPath();
            request.getParameterMap();
            request.getCookieMap();
        }
    }
    // Nothing of the request may stay behind in the temporary directory.
    if (!QDir(tarsel::HttpRequest::tempDirectory()).entryList(QDir::Files | QDir::Hidden).isEmpty())
        abort();
    (void)environment;
    return 0;
}
