#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

#include <sys/types.h>

namespace tarsel {
class HttpResponse;
}

// "/SysLogger": every line appended to the system log after the request came in goes to the
// client as one server-sent event, until the client disconnects. Runs on, and holds, the
// connection handler's thread.
class SysLogStream
{
public:
    explicit SysLogStream(tarsel::HttpResponse& response);
    void run();

private:
    enum class From { End, Start };

    void open(From from);
    bool sendNewLines();
    bool replaced() const;
    void send(const QByteArray& line);

    tarsel::HttpResponse& response;
    const QString path;
    QFile file;
    dev_t device = 0;
    ino_t inode = 0;
    QByteArray partial; // the last line read, while its end has not been written yet
};
