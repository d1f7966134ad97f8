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
const int WRITE_CHUNK = 1 << 20;

class Writer
{
public:
    Writer(int fd, std::size_t capacity)
        : fd(fd), capacity(capacity ? capacity : 1),
          utf8(QTextCodec::codecForLocale() && QTextCodec::codecForLocale()->mibEnum() == 106),
          warningsAreFatal(qEnvironmentVariableIsSet("QT_FATAL_WARNINGS"))
    {
        queue.reserve(this->capacity);
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
        std::vector<QString> batch;
        {
            std::lock_guard<std::mutex> lock(queueMutex);
            batch.swap(queue);
            queue.reserve(capacity);
            queuedBytes = 0;
        }
        QByteArray buffer;
        for (const QString& line : batch)
            append(&buffer, line);
        if (own)
            append(&buffer, *own);
        writeAll(buffer);
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

    void append(QByteArray* buffer, const QString& line)
    {
        if (buffer->size() >= WRITE_CHUNK) {
            writeAll(*buffer);
            buffer->clear();
        }
        buffer->append(utf8 ? line.toUtf8() : line.toLocal8Bit());
        buffer->append('\n');
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
