#include "logwriter.h"

#include <QByteArray>
#include <QLoggingCategory>
#include <QString>
#include <QTextCodec>
#include <QtGlobal>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <poll.h>
#ifdef Q_OS_LINUX
#include <pthread.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#endif
#include <string>
#include <thread>
#include <unistd.h>

namespace tarsel {

namespace {

// Lines wait this long for the writer to collect more (plus the time of one write).
const std::chrono::milliseconds COLLECT_TIME(50);
// A line older than this in the queue: the next caller writes the queue itself (the writer
// thread runs at low priority and may not get the CPU while the handlers keep it busy).
const std::chrono::milliseconds MAX_WAIT(100);
// Queued text beyond this many bytes counts as a full queue, whatever the number of lines.
const std::size_t MAX_QUEUED_BYTES = 8 << 20;

// Encoded text of one line and its end of line, appended to `out`.
void encode(const QString& line, bool utf8, std::string* out)
{
    if (utf8) {
        // ASCII, the usual case, goes straight in without a conversion copy.
        const std::size_t at = out->size();
        out->resize(at + std::size_t(line.size()));
        const ushort* in = line.utf16();
        int i = 0;
        while (i < line.size() && in[i] < 0x80) {
            (*out)[at + std::size_t(i)] = char(in[i]);
            ++i;
        }
        if (i < line.size()) {
            out->resize(at);
            const QByteArray bytes = line.toUtf8();
            out->append(bytes.constData(), std::size_t(bytes.size()));
        }
    } else {
        const QByteArray bytes = line.toLocal8Bit();
        out->append(bytes.constData(), std::size_t(bytes.size()));
    }
    out->push_back('\n');
}

// The queue is one buffer of encoded lines; the writer thread swaps it for an empty one and
// writes it with one call.
class Writer
{
public:
    Writer(int fd, std::size_t capacity)
        : fd(fd), capacity(capacity ? capacity : 1),
          utf8(QTextCodec::codecForLocale() && QTextCodec::codecForLocale()->mibEnum() == 106),
          warningsAreFatal(qEnvironmentVariableIsSet("QT_FATAL_WARNINGS")),
          patternIsPlain(qFormatLogMessage(QtDebugMsg, QMessageLogContext(nullptr, 0, nullptr, "x"), QStringLiteral("\x01"))
                == QStringLiteral("\x01"))
    {
        thread = std::thread([this] { run(); });
    }

    // The message pattern leaves a debug line as it is, whatever its category.
    bool plain() const { return patternIsPlain; }

    void post(QtMsgType type, const QString& line)
    {
        std::string encoded;
        encode(line, utf8, &encoded);
        const bool urgent = type == QtFatalMsg || type == QtCriticalMsg || (type == QtWarningMsg && warningsAreFatal);
        post(encoded.data(), encoded.size(), urgent);
    }

    // `text` ends with its end of line.
    void post(const char* text, std::size_t length, bool urgent)
    {
        {
            std::unique_lock<std::mutex> lock(queueMutex);
            // The clock is read for the first line of a batch and then for every 16th.
            if (queue.empty())
                oldest = std::chrono::steady_clock::now();
            const bool late = lines % 16 == 15 && std::chrono::steady_clock::now() - oldest >= MAX_WAIT;
            if (!urgent && !stopped && !late && lines < capacity && queue.size() < MAX_QUEUED_BYTES) {
                queue.append(text, length);
                const std::size_t count = ++lines;
                lock.unlock();
                if (count == 1 || count == capacity / 2)
                    wake.notify_one();
                return;
            }
        }
        // Full, urgent or after exit: this thread writes, after everything queued before.
        drain(text, length);
    }

    // Writes the queue (and `own` after it) in the caller's thread.
    void drain(const char* own = nullptr, std::size_t ownLength = 0)
    {
        std::lock_guard<std::mutex> writing(writeMutex);
        {
            // The queue and the empty batch trade places, each keeping its memory.
            std::lock_guard<std::mutex> lock(queueMutex);
            batch.swap(queue);
            lines = 0;
        }
        writeAll(batch.data(), batch.size());
        batch.clear();
        writeAll(own, ownLength);
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
#ifdef Q_OS_LINUX
        pthread_setname_np(pthread_self(), "log writer");
        // Below the handler threads: writing a batch never delays an answer on a busy core.
        setpriority(PRIO_PROCESS, id_t(syscall(SYS_gettid)), 19);
#endif
        std::unique_lock<std::mutex> lock(queueMutex);
        for (;;) {
            wake.wait(lock, [this] { return stopped || lines > 0; });
            if (stopped)
                return;
            // Lines that follow within the collect time share one write.
            wake.wait_for(lock, COLLECT_TIME, [this] { return stopped || lines >= capacity / 2; });
            lock.unlock();
            drain();
            lock.lock();
        }
    }

    void writeAll(const char* at, std::size_t left)
    {
        while (left > 0) {
            const ssize_t written = ::write(fd, at, left);
            if (written > 0) {
                at += written;
                left -= std::size_t(written);
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
    const bool patternIsPlain;
    std::mutex queueMutex;
    std::condition_variable wake;
    std::string queue;
    std::size_t lines = 0;
    std::chrono::steady_clock::time_point oldest; // when the first queued line came
    bool stopped = false;
    // Held from taking a batch until it is written: batches reach the file in the order taken.
    std::mutex writeMutex;
    std::string batch;
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

void LogWriter::debug(const QLoggingCategory& category, const char* text, int length)
{
    if (writer && writer->plain() && length < 4096) {
        // ASCII only: anything else goes through the handler, which replaces invalid UTF-8.
        char line[4096];
        int i = 0;
        while (i < length && static_cast<unsigned char>(text[i]) < 0x80) {
            line[i] = text[i];
            ++i;
        }
        if (i == length) {
            line[length] = '\n';
            writer->post(line, std::size_t(length) + 1, false);
            return;
        }
    }
    const QMessageLogContext context(nullptr, 0, nullptr, category.categoryName());
    qt_message_output(QtDebugMsg, context, QString::fromUtf8(text, length));
}

} // namespace tarsel
