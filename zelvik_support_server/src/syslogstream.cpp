#include "syslogstream.h"

#include "devicepath.h"
#include "httpresponse.h"

#include <QString>
#include <QThread>

#include <sys/stat.h>

namespace {

// How long an idle stream sleeps between looks at the file and the connection: appended lines
// go out within this time, and an idle stream costs next to nothing.
const unsigned long IDLE_POLL_MS = 20;
const qint64 READ_BLOCK = 64 * 1024;
// A "line" that grows past this without a line end is sent in pieces of this size.
const int MAX_LINE = 64 * 1024;

// Latin-1 on the wire: each character outside it, also one of two UTF-16 units, becomes one "?".
QByteArray toLatin1(const QString& text)
{
    QByteArray latin1;
    latin1.reserve(text.size());
    for (int i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate())
            ++i;
        latin1 += c.unicode() < 256 ? char(c.unicode()) : '?';
    }
    return latin1;
}

} // namespace

SysLogStream::SysLogStream(tarsel::HttpResponse& response)
    : response(response), path(ORVANA::devicePath(QStringLiteral("/data/log/message"))), file(path)
{
}

void SysLogStream::run()
{
    response.setHeader("Content-Type", "text/event-stream;charset=utf-8");
    response.setHeader("Cache-Control", "no-cache");
    response.setHeader("Connection", "keep-alive");
    response.setHeader("Access-Control-Allow-Origin", "*");
    // The stream starts at the end of the log as it is now; the headers go out after that, so
    // a client that sees them knows that every line appended from then on reaches it.
    open(From::End);
    response.write(QByteArray(), false);

    while (response.isConnected()) {
        if (sendNewLines())
            continue;
        if (replaced()) {
            // The old file may have got its last lines after our last read.
            while (sendNewLines()) {
            }
            if (!partial.isEmpty())
                send(partial);
            partial.clear();
            open(From::Start);
        }
        // Also after a reopen: a log that exists but cannot be opened is tried again only
        // after the pause, so it never spins.
        QThread::msleep(IDLE_POLL_MS);
    }
}

void SysLogStream::open(From from)
{
    file.close();
    device = 0;
    inode = 0;
    // Unbuffered: every read goes to the file, so growth after an empty read is seen.
    if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        return;
    struct stat info;
    if (::fstat(file.handle(), &info) == 0) {
        device = info.st_dev;
        inode = info.st_ino;
    }
    if (from == From::End)
        file.seek(file.size());
}

// Sends the complete lines read from one block; false when nothing new was there.
bool SysLogStream::sendNewLines()
{
    if (!file.isOpen())
        return false;
    const QByteArray block = file.read(READ_BLOCK);
    if (block.isEmpty())
        return false;
    partial += block;
    int start = 0;
    for (int end; (end = partial.indexOf('\n', start)) >= 0; start = end + 1) {
        send(partial.mid(start, end - start));
        if (!response.isConnected())
            return false;
    }
    partial.remove(0, start);
    while (partial.size() >= MAX_LINE) {
        send(partial.left(MAX_LINE));
        partial.remove(0, MAX_LINE);
    }
    return true;
}

// The log was rotated: its name now belongs to another file, or it was cut below what we read.
// A file that only stays large is not rotated, so its lines are never sent twice.
bool SysLogStream::replaced() const
{
    struct stat named;
    if (::stat(QFile::encodeName(path).constData(), &named) != 0)
        return false; // until a file of that name exists again, the old one is kept
    if (!file.isOpen())
        return true;
    if (named.st_dev != device || named.st_ino != inode)
        return true;
    return named.st_size < file.pos();
}

void SysLogStream::send(const QByteArray& line)
{
    QByteArray text = line;
    if (text.endsWith('\r'))
        text.chop(1);
    response.write("data:" + toLatin1(QString::fromUtf8(text)) + "\n\n", false);
    response.flush();
}
