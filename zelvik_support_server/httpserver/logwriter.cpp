#include "logwriter.h"

#include <QByteArray>
#include <QString>
#include <QTextCodec>
#include <QtGlobal>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <poll.h>
#include <thread>
#include <unistd.h>
#include <utility>
#include <vector>

namespace tarsel {

namespace {

// Lines wait at most this long for the writer (plus the time of one write).
const std::chrono::milliseconds COLLECT_TIME(50);
// Queued text beyond this many bytes counts as a full queue, whatever the number of lines.
const std::size_t MAX_QUEUED_BYTES = 8 << 20;
// One write() call carries at most about this much.
const int WRITE_CHUNK = 256 << 10;

class Writer
{
public:
    Writer(int fd, std::size_t capacity)
        : fd(fd), capacity(capacity ? capacity : 1),
          utf8(QTextCodec::codecForLocale() && QTextCodec::codecForLocale()->mibEnum() == 106),
          warningsAreFatal(qEnvironmentVariableIsSet("QT_FATAL_WARNINGS"))
    {
        queue.reserve(this->capacity);
        batch.reserve(this->capacity);
        // Reserved, so that emptying it keeps the memory for the next batch.
        buffer.reserve(WRITE_CHUNK + 65536);
        thread = std::thread([this] { run(); });
    }

    void post(QtMsgType type, QString&& line)
    {
        const bool urgent = type == QtFatalMsg || type == QtCriticalMsg || (type == QtWarningMsg && warningsAreFatal);
        {
            std::unique_lock<std::mutex> lock(queueMutex);
            if (!urgent && !stopped && queue.size() < capacity && queuedBytes < MAX_QUEUED_BYTES) {
                queuedBytes += std::size_t(line.size()) * 2;
                queue.push_back(std::move(line));
                const std::size_t size = queue.size();
                lock.unlock();
                if (size == 1 || size == capacity / 2)
                    wake.notify_one();
                return;
            }
        }
        // Full, urgent or after exit: this thread writes, after everything queued before.
        drain(&line);
    }

    // Writes the queue (and `own` after it) in the caller's thread.
    void drain(const QString* own = nullptr)
    {
        std::lock_guard<std::mutex> writing(writeMutex);
        {
            // The queue and the empty batch trade places, each keeping its memory.
            std::lock_guard<std::mutex> lock(queueMutex);
            batch.swap(queue);
            queuedBytes = 0;
        }
        for (const QString& line : batch)
            append(line);
        batch.clear();
        if (own)
            append(*own);
        writeAll(buffer);
        buffer.resize(0);
    }

    // Ends the writer thread; later lines are written by their callers.
    void stop()
    {
        {
            std::lock_guard<std::mutex> lock(queueMutex);
            if (stopped)
                return;
            stopped = true;
        }
        wake.notify_one();
        thread.join();
        drain();
    }

private:
    void run()
    {
        std::unique_lock<std::mutex> lock(queueMutex);
        for (;;) {
            wake.wait(lock, [this] { return stopped || !queue.empty(); });
            if (stopped)
                return;
            // Lines that follow within the collect time share one write.
            wake.wait_for(lock, COLLECT_TIME, [this] { return stopped || queue.size() >= capacity / 2; });
            lock.unlock();
            drain();
            lock.lock();
        }
    }

    // Encodes a line into the buffer (the caller holds writeMutex).
    void append(const QString& line)
    {
        if (buffer.size() >= WRITE_CHUNK) {
            writeAll(buffer);
            buffer.resize(0);
        }
        if (utf8) {
            // ASCII, the usual case, goes straight into the buffer without a conversion copy.
            const int at = buffer.size();
            buffer.resize(at + line.size() + 1);
            char* out = buffer.data() + at;
            const ushort* in = line.utf16();
            int i = 0;
            while (i < line.size() && in[i] < 0x80)
                *out++ = char(in[i++]);
            if (i == line.size()) {
                *out = '\n';
                return;
            }
            buffer.resize(at);
            buffer.append(line.toUtf8());
        } else {
            buffer.append(line.toLocal8Bit());
        }
        buffer.append('\n');
    }

    void writeAll(const QByteArray& data)
    {
        const char* at = data.constData();
        qint64 left = data.size();
        while (left > 0) {
            const ssize_t written = ::write(fd, at, size_t(left));
            if (written > 0) {
                at += written;
                left -= written;
            } else if (written < 0 && errno == EAGAIN) {
                pollfd ready = {fd, POLLOUT, 0};
                ::poll(&ready, 1, 100);
            } else if (written < 0 && errno == EINTR) {
                continue;
            } else {
                return; // nowhere to write: the lines are dropped, as a plain write would drop them
            }
        }
    }

    const int fd;
    const std::size_t capacity;
    const bool utf8;
    const bool warningsAreFatal;
    std::mutex queueMutex;
    std::condition_variable wake;
    std::vector<QString> queue;
    std::size_t queuedBytes = 0;
    bool stopped = false;
    // Held from taking a batch until it is written: batches reach the file in the order taken.
    std::mutex writeMutex;
    std::vector<QString> batch;
    QByteArray buffer;
    std::thread thread;
};

// Never deleted: threads that still log during exit write through it synchronously.
Writer* writer = nullptr;

void handleMessage(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    writer->post(type, qFormatLogMessage(type, context, message));
}

void stopAtExit()
{
    writer->stop();
}

} // namespace

void LogWriter::install(int fd, std::size_t capacity)
{
    static std::once_flag once;
    std::call_once(once, [fd, capacity] {
        writer = new Writer(fd, capacity);
        std::atexit(stopAtExit);
        qInstallMessageHandler(handleMessage);
    });
}

void LogWriter::flush()
{
    if (writer)
        writer->drain();
}

} // namespace tarsel
