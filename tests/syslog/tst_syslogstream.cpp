// The live log stream through the real HTTP server: a listener on loopback port 0 whose request
// handler runs SysLogStream on the connection handler's thread, against a log file under a
// private device root. The agent's route to it is tested by the page's EventSource on the phone.

#include "syslogstream.h"

#include "httplistener.h"
#include "httprequesthandler.h"
#include "httpresponse.h"

#include <QTcpSocket>
#include <QtTest>

#include "waituntil.h"

#include <algorithm>
#include <memory>

#include <sys/resource.h>

namespace {

const int MAX_THREADS = 3;

qint64 threadCpuMicroseconds()
{
    struct rusage usage;
    getrusage(RUSAGE_THREAD, &usage);
    return qint64(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1000000 + usage.ru_utime.tv_usec
           + usage.ru_stime.tv_usec;
}

// The real server's request handler: every request streams. It records when each stream ended
// and the most CPU time a stream's thread spent.
class StreamHandler : public tarsel::HttpRequestHandler
{
public:
    void service(tarsel::HttpRequest&, tarsel::HttpResponse& response) override
    {
        running.ref();
        const qint64 cpuBefore = threadCpuMicroseconds();
        SysLogStream(response).run();
        const qint64 cpu = threadCpuMicroseconds() - cpuBefore;
        QMutexLocker lock(&mutex);
        mostCpuMicroseconds = qMax(mostCpuMicroseconds, cpu);
        lastEnd.start();
        running.deref();
        ended.ref();
    }

    QAtomicInt running;
    QAtomicInt ended;
    QMutex mutex;
    qint64 mostCpuMicroseconds = -1;
    QElapsedTimer lastEnd;
};

// A client of the event stream that decodes the chunked body into events.
class StreamClient
{
public:
    explicit StreamClient(quint16 port)
    {
        socket.connectToHost(QHostAddress::LocalHost, port);
        socket.write("GET /SysLogger HTTP/1.1\r\nHost: phone\r\n\r\n");
    }

    // The body's chunks so far, one per element.
    QList<QByteArray> chunks()
    {
        raw += socket.readAll();
        QList<QByteArray> result;
        bool ok = true;
        for (int at = raw.indexOf("\r\n\r\n") + 4, end, size; at > 3 && (end = raw.indexOf("\r\n", at)) > 0; at = end + size + 4) {
            size = raw.mid(at, end - at).toInt(&ok, 16);
            if (!ok || raw.size() < end + size + 4)
                break;
            result << raw.mid(end + 2, size);
        }
        return result;
    }

    bool waitForChunks(int count) { return waitUntil([&] { return chunks().size() >= count; }, 5000); }

    QTcpSocket socket;
    QByteArray raw;
};

QByteArray sseEvent(const QByteArray& line) { return "data:" + line + "\n\n"; }

} // namespace

class TestSysLogStream : public QObject
{
    Q_OBJECT
    QTemporaryDir root;
    QString logPath;
    StreamHandler recorder;
    std::unique_ptr<QSettings> settings;
    std::unique_ptr<tarsel::HttpListener> listener;

    void append(const QByteArray& bytes, const QString& name = QString())
    {
        QFile file(name.isEmpty() ? logPath : name);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Append) && file.write(bytes) == bytes.size() && file.flush());
    }

    // A handler given back a moment ago may still answer 503: tried again for a while.
    std::unique_ptr<StreamClient> openStream()
    {
        const int before = recorder.running.loadAcquire();
        QElapsedTimer timer;
        timer.start();
        std::unique_ptr<StreamClient> client;
        do {
            client = std::make_unique<StreamClient>(listener->serverPort());
            // The header block comes before the first line.
            if (!waitUntil([&] { return client->chunks(), client->raw.contains("\r\n\r\n"); }))
                return nullptr;
        } while (client->raw.startsWith("HTTP/1.1 503") && timer.elapsed() < 5000 && (QTest::qWait(20), true));
        return waitUntil([&] { return recorder.running.loadAcquire() > before; }) ? std::move(client) : nullptr;
    }

    // Closes every client at once; true when every stream ended within a second.
    bool closeAllAndWaitFreed(std::vector<std::unique_ptr<StreamClient>>& clients)
    {
        const int ended = recorder.ended.loadAcquire();
        const int count = int(clients.size());
        QElapsedTimer timer;
        timer.start();
        for (auto& client : clients)
            client->socket.abort();
        if (!waitUntil([&] { return recorder.ended.loadAcquire() == ended + count; }, 3000))
            return false;
        QMutexLocker lock(&recorder.mutex);
        const qint64 freedAfter = timer.elapsed() - recorder.lastEnd.elapsed();
        qInfo("last stream thread freed %lld ms after the clients closed", freedAfter);
        return freedAfter < 1000;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(root.isValid());
        qputenv("ORVANA_DEVICE_ROOT", QFile::encodeName(root.path()));
        QVERIFY(QDir(root.path()).mkpath(QStringLiteral("data/log")));
        logPath = root.path() + QStringLiteral("/data/log/message");

        settings.reset(new QSettings(root.path() + "/listener.ini", QSettings::IniFormat));
        settings->setValue("host", "127.0.0.1");
        settings->setValue("maxThreads", MAX_THREADS);
        settings->setValue("readTimeout", 60000);
        listener.reset(new tarsel::HttpListener(settings.get(), &recorder));
        QVERIFY(listener->isListening());
    }

    void init()
    {
        QDir().rmdir(logPath);
        QFile::remove(logPath);
        QFile::remove(logPath + QStringLiteral(".1"));
        append("an old line\nanother old line\n");
    }

    // The streams of every case end with their clients; none may hold a handler thread afterwards.
    void cleanup() { QVERIFY(waitUntil([this] { return recorder.running.loadAcquire() == 0; })); }

    // The headers at once, then every new line and only new ones, one event each, in order and
    // promptly; a line once it is complete; Latin-1 on the wire, '?' for what is outside it.
    void newLinesAsEvents()
    {
        auto client = openStream();
        QVERIFY(client);
        for (const char* header : {"HTTP/1.1 200 OK\r\n", "Content-Type: text/event-stream;charset=utf-8\r\n", "Cache-Control: no-cache\r\n",
                                   "Connection: keep-alive\r\n", "Access-Control-Allow-Origin: *\r\n", "Transfer-Encoding: chunked\r\n"})
            QVERIFY2(client->raw.left(client->raw.indexOf("\r\n\r\n") + 4).contains(header), header);
        QList<qint64> delays;
        QList<QByteArray> expected;
        for (int i = 0; i < 10; ++i) {
            const QByteArray line = "line " + QByteArray::number(i);
            expected << sseEvent(line);
            QElapsedTimer timer;
            timer.start();
            append(line + '\n');
            QVERIFY(client->waitForChunks(expected.size()));
            delays << timer.elapsed();
        }
        append("half of a ");
        QTest::qWait(150);
        QCOMPARE(client->chunks(), expected);
        append("line\nburst\r\nGr\xc3\xbc\xc3\x9f" "e\na\xe2\x80\x93" "b \xe6\x97\xa5\xe6\x9c\xac\nok \xf0\x9f\x98\x80\nx\xff" "y\n\n");
        expected << sseEvent("half of a line") << sseEvent("burst") << sseEvent("Gr\xfc\xdf" "e") << sseEvent("a?b ??")
                 << sseEvent("ok ?") << sseEvent("x?y") << sseEvent("");
        QVERIFY(client->waitForChunks(expected.size()));
        QTest::qWait(100);
        QCOMPARE(client->chunks(), expected);
        std::sort(delays.begin(), delays.end());
        qInfo("append-to-arrival delay: median %lld ms, max %lld ms", delays.at(delays.size() / 2), delays.last());
        // The median, so that one scheduling hiccup on a loaded machine does not decide.
        QVERIFY2(delays.at(delays.size() / 2) < 100, "appended lines arrive within 100 ms");
    }

    void rotation_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("renamed, new file") << "rename";
        QTest::newRow("renamed, late line to the old file, new file") << "rename-late";
        QTest::newRow("removed, missing a while, new file") << "remove-wait";
        QTest::newRow("cut to nothing in place") << "truncate";
        QTest::newRow("past the size limit, renamed, new file") << "big-rename";
        // Read on, never again from its start.
        QTest::newRow("past the size limit, never replaced") << "big";
    }

    void rotation()
    {
        QFETCH(QString, how);
        QList<QByteArray> expected{sseEvent("before"), sseEvent("new one"), sseEvent("new two")};
        if (how == "rename-late")
            expected.insert(1, sseEvent("late"));
        if (how.startsWith("big"))
            QVERIFY(QFile::resize(logPath, 10240000 + 4096));
        auto client = openStream();
        QVERIFY(client);
        append("before\n");
        QVERIFY(client->waitForChunks(1));
        const QString old = logPath + QStringLiteral(".1");
        if (how == "truncate") {
            QVERIFY(QFile::resize(logPath, 0));
        } else if (how == "remove-wait") {
            QVERIFY(QFile::remove(logPath));
            QTest::qWait(200);
        } else if (how != "big") {
            QVERIFY(QFile::rename(logPath, old));
            if (how == "rename-late")
                append("late\n", old);
        }
        append("new one\nnew two\n");
        QVERIFY(client->waitForChunks(expected.size()));
        QTest::qWait(150);
        QCOMPARE(client->chunks(), expected);
    }

    void closingClientFreesThread_data()
    {
        QTest::addColumn<QString>("state");
        QTest::newRow("idle stream") << "idle";
        QTest::newRow("waiting for a rotated log") << "waiting";
        QTest::newRow("no log file") << "missing";
        // A folder in the log's place: it exists, and no one, root included, can open it as a file.
        QTest::newRow("log that cannot be opened") << "unreadable";
    }

    // Streams hold every handler thread of the pool and use next to no CPU time while idle; once
    // their clients are gone, whatever the stream was doing, the pool serves as many new
    // connections as it has threads.
    void closingClientFreesThread()
    {
        QFETCH(QString, state);
        if (state == "missing" || state == "unreadable")
            QVERIFY(QFile::remove(logPath));
        if (state == "unreadable")
            QVERIFY(QDir().mkdir(logPath));
        std::vector<std::unique_ptr<StreamClient>> clients;
        for (int i = 0; i < MAX_THREADS; ++i) {
            clients.push_back(openStream());
            QVERIFY(clients.back());
        }
        if (state == "waiting")
            QVERIFY(QFile::remove(logPath));
        recorder.mostCpuMicroseconds = -1;
        QTest::qWait(5000);
        QVERIFY(closeAllAndWaitFreed(clients));
        {
            QMutexLocker lock(&recorder.mutex);
            qInfo("most CPU time of a stream idle for 5 s: %lld us", recorder.mostCpuMicroseconds);
            QVERIFY(recorder.mostCpuMicroseconds >= 0 && recorder.mostCpuMicroseconds < 100000);
        }
        // Every handler serves again (openStream tries again after a 503 that came too early).
        for (auto& client : clients)
            QVERIFY(client = openStream());
        QVERIFY(closeAllAndWaitFreed(clients));
    }
};

QTEST_GUILESS_MAIN(TestSysLogStream)
#include "tst_syslogstream.moc"