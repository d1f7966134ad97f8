// The server over loopback: one listener shared by most cases, and listeners of a case's own for
// the pool's limits, its settings and TLS; last the request parser on its own, over a socket pair.
#include "httpconnectionhandler.h"
#include "httpglobal.h"
#include "httplistener.h"
#include "httprequest.h"
#include "rawclient.h"
#include "testrequesthandler.h"

#include <QSslSocket>
#include <QTcpSocket>
#include <QtTest>

#include <algorithm>
#include <memory>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

using tarsel::HttpConnectionHandler;
using tarsel::HttpListener;
using tarsel::HttpRequest;
using tarsel::tSocketDescriptor;

Q_DECLARE_METATYPE(HttpRequest::RequestStatus)

namespace {

const QByteArray TOO_LARGE = "HTTP/1.1 413 entity too large\r\nConnection: close\r\n\r\n413 Entity too large\r\n";
const QByteArray TOO_MANY = "HTTP/1.1 503 too many connections\r\nConnection: close\r\n\r\nToo many connections\r\n";

// These tests read the server's debug lines, whatever the environment filters.
const bool environmentRulesDropped = qunsetenv("QT_LOGGING_RULES");
QMutex logMutex;
QStringList logLines;
QtMessageHandler previousHandler = nullptr;

void recordMessage(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    {
        QMutexLocker locker(&logMutex);
        logLines << message;
    }
    if (type != QtDebugMsg)
        previousHandler(type, context, message);
}

QStringList linesMatching(const QString& pattern)
{
    QMutexLocker locker(&logMutex);
    return logLines.filter(QRegularExpression(pattern));
}

QByteArray multipartRequest(const QByteArray& body, const QByteArray& contentType = "multipart/form-data; boundary=XyZ")
{
    return "POST /upload HTTP/1.1\r\nContent-Type: " + contentType + "\r\nContent-Length: " + QByteArray::number(body.size())
           + "\r\n\r\n" + body;
}

} // namespace

class TestHttpServer : public QObject
{
    Q_OBJECT
    QTemporaryDir root{QDir("/dev/shm").exists() ? "/dev/shm/zelvik-http-XXXXXX" : QDir::tempPath() + "/zelvik-http-XXXXXX"};
    QSettings* settings = nullptr;
    std::unique_ptr<QSettings> own; // for a listener of the case's own
    TestRequestHandler requestHandler;
    std::unique_ptr<HttpListener> listener;
    struct Fed {
        std::unique_ptr<HttpRequest> request;
        qint64 leftOver = 0;
    };
    QStringList tempFiles() const { return QDir(HttpRequest::tempDirectory()).entryList(QDir::Files | QDir::Hidden); }

    // A connection whose request was answered, so a handler holds it.
    std::unique_ptr<RawClient> served(quint16 port)
    {
        std::unique_ptr<RawClient> client(new RawClient());
        return client->fetchFixed(port) == HELLO ? std::move(client) : nullptr;
    }

    // Feeds `data` to a parser in pieces of `step` bytes until the request is complete or aborted.
    Fed feed(const QByteArray& data, int step, int maxSize = 16000, int maxMultiPartSize = 1000000)
    {
        RawClient* client = nullptr;
        QTcpSocket socket;
        socket.setSocketDescriptor(RawClient::socketPair(&client));
        std::unique_ptr<RawClient> owner(client);
        Fed fed;
        fed.request.reset(new HttpRequest(maxSize, maxMultiPartSize));
        HttpRequest& request = *fed.request;
        auto final = [&]() { return request.getStatus() == HttpRequest::complete || request.getStatus() == HttpRequest::abort; };
        for (int offset = 0; offset < data.size() && !final(); offset += step) {
            client->send(data.mid(offset, step));
            socket.waitForReadyRead(1000);
            while (socket.bytesAvailable() && !final())
                request.readFromSocket(&socket);
        }
        ::shutdown(client->descriptor(), SHUT_WR);
        while (socket.waitForReadyRead(20)) {
        }
        fed.leftOver = socket.bytesAvailable();
        return fed;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(root.isValid());
        previousHandler = qInstallMessageHandler(recordMessage);
        QLoggingCategory::setFilterRules("tarsel.httpserver.debug=true");
        qputenv("ORVANA_DEVICE_ROOT", root.path().toLocal8Bit());
        // No compositor: its "mkdir" (asked of it by the agent's upload test) fails at once, the
        // folder is there already.
        qputenv("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=/nonexistent/zelvik-test-bus");
        QVERIFY(QDir().mkpath(HttpRequest::tempDirectory()));
        QVERIFY(HttpRequest::tempDirectory().startsWith(root.path()));
        settings = new QSettings(root.filePath("settings.ini"), QSettings::IniFormat, this);
        settings->setValue("host", "127.0.0.1");
        settings->setValue("maxThreads", 4);
        settings->setValue("minThreads", 4); // none trimmed: the pool's own cases count the trims
        settings->setValue("readTimeout", 1000);
        settings->setValue("maxRequestSize", 16000);
        settings->setValue("maxMultiPartSize", 2147483647);
        listener.reset(new HttpListener(settings, &requestHandler));
        QVERIFY(listener->isListening());
    }

    // Its last lines before the summary.
    void cleanupTestCase() { listener.reset(); }

    void init()
    {
        own.reset(); // its values written back first
        QFile::remove(root.filePath("own.ini"));
        own.reset(new QSettings(root.filePath("own.ini"), QSettings::IniFormat));
        own->setValue("host", "127.0.0.1");
        own->setValue("readTimeout", 5000);
        QMutexLocker locker(&logMutex);
        logLines.clear();
    }

    // Listeners of their own first: the shared one has served nobody yet.
    void noHandlersAtAll()
    {
        own->setValue("maxThreads", 0);
        HttpListener ownListener(own.get(), &requestHandler);
        for (int i = 0; i < 3; ++i) {
            RawClient client;
            QVERIFY(client.connectTo(ownListener.serverPort()));
            bool closed = false;
            QCOMPARE(client.receive(INT_MAX, 15000, &closed), TOO_MANY);
            QVERIFY(closed);
        }
    }

    // Past the descriptor limit accept() fails, and QTcpServer stops accepting after such an error
    // (when it is the first error of the listening socket); the listener takes it up again once
    // descriptors are free.
    void connectBurstPastDescriptorLimit()
    {
        own->setValue("maxThreads", 4);
        HttpListener ownListener(own.get(), &requestHandler);
        std::vector<int> sockets;
        for (int i = 0; i < 200; ++i) {
            sockets.push_back(RawClient::loopbackSocket(ownListener.serverPort()));
            QVERIFY(sockets.back() >= 0);
        }
        // Room for a few more descriptors only, against 200 connections waiting to be accepted.
        QSet<int> open;
        for (const QString& name : QDir("/proc/self/fd").entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot))
            open.insert(name.toInt());
        rlimit saved;
        QCOMPARE(::getrlimit(RLIMIT_NOFILE, &saved), 0);
        rlimit lowered = saved;
        lowered.rlim_cur = 0;
        for (int free = 0; free < 4; ++lowered.rlim_cur)
            free += open.contains(int(lowered.rlim_cur)) ? 0 : 1;
        QSignalSpy failed(&ownListener, &QTcpServer::acceptError);
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^HttpListener: cannot accept a connection: "));
        QCOMPARE(::setrlimit(RLIMIT_NOFILE, &lowered), 0);
        const bool ranOut = failed.wait(5000) || !failed.isEmpty();
        QCOMPARE(::setrlimit(RLIMIT_NOFILE, &saved), 0);
        for (const int fd : sockets)
            ::close(fd);
        QVERIFY(ranOut);

        // The handlers may still be busy with the burst's closed connections.
        RawClient client;
        QCOMPARE(client.fetchFixed(ownListener.serverPort(), 10000), HELLO);
    }

    // Idle handlers past "minThreads" go, one per tick; busy ones stay and serve on.
    void idleHandlersTrimmed()
    {
        own->setValue("cleanupInterval", 100);
        own->setValue("minThreads", 2);
        HttpListener ownListener(own.get(), &requestHandler);
        std::vector<std::unique_ptr<RawClient>> clients;
        for (int i = 0; i < 6; ++i) {
            clients.push_back(served(ownListener.serverPort()));
            QVERIFY(clients.back());
        }
        QCOMPARE(linesMatching("Removed connection handler").size(), 0);
        for (int i = 1; i < 5; ++i)
            clients[i].reset();
        const QString removed = "^HttpConnectionHandlerPool: Removed connection handler \\(0x[0-9a-f]+\\), pool size is now ";
        QTRY_COMPARE_WITH_TIMEOUT(linesMatching(removed).size(), 2, 5000);
        QTest::qWait(400);
        const QStringList lines = linesMatching(removed);
        QCOMPARE(lines.size(), 2);
        QVERIFY2(lines[0].endsWith('5') && lines[1].endsWith('4'), qPrintable(lines.join('\n')));
        QCOMPARE(linesMatching("HttpConnectionHandler \\(0x[0-9a-f]+\\): destroyed").size(), 2);
        for (int i : {0, 5}) {
            QVERIFY(clients[i]->send("GET /fixed HTTP/1.1\r\n\r\n"));
            QCOMPARE(clients[i]->receive(HELLO.size()), HELLO);
        }
    }

    // A handler given a descriptor it cannot adopt logs it and is free for the next connection.
    void descriptorThatCannotBeAdopted()
    {
        // Before the handler's thread starts: the test library's list of expected lines has no lock.
        QTest::ignoreMessage(QtCriticalMsg, QRegularExpression("cannot initialize socket"));
        HttpConnectionHandler handler(own.get(), &requestHandler, nullptr);
        RawClient* client = nullptr;
        QCOMPARE(::fcntl(999999, F_GETFD), -1); // not open in this process
        for (const int fd : {999999, RawClient::socketPair(&client)}) {
            QTRY_VERIFY(!handler.isBusy());
            handler.setBusy();
            QMetaObject::invokeMethod(&handler, "handleConnection", Qt::QueuedConnection, Q_ARG(tSocketDescriptor, fd));
        }
        std::unique_ptr<RawClient> owner(client);
        QVERIFY(client->send("GET /fixed HTTP/1.1\r\n\r\n"));
        QCOMPARE(client->receive(HELLO.size()), HELLO);
    }

    void tls()
    {
        QProcess openssl;
        openssl.start("openssl", {"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", root.filePath("key.pem"), "-out",
                                  root.filePath("cert.pem"), "-days", "2", "-subj", "/CN=127.0.0.1"});
        QVERIFY(openssl.waitForFinished(60000) && openssl.exitCode() == 0);
        own->setValue("sslKeyFile", "key.pem");
        own->setValue("sslCertFile", "cert.pem");
        HttpListener ownListener(own.get(), &requestHandler);
        QCOMPARE(linesMatching("^HttpConnectionHandlerPool: SSL settings loaded$").size(), 1);
        const QString url = QString("https://127.0.0.1:%1/").arg(ownListener.serverPort());
        // Connections in turn, one of them plain: the handler's socket serves one TLS session after another.
        QCOMPARE(runCurl({"-sk", url + "respond?p=part1&p=part2&p=end", url + "fixed"}), QByteArray("part1part2endhello"));
        QCOMPARE(runCurl({"-s", "--max-time", "5", QString("http://127.0.0.1:%1/fixed").arg(ownListener.serverPort())}), QByteArray());
        QCOMPARE(runCurl({"-sk", url + "fixed"}), QByteArray("hello"));

        // A large answer on a closing connection, read slowly while other connections come and go:
        // the handler takes no new connection before the last encrypted byte is out.
        const int size = 24000000;
        const int answered = linesMatching("finished request").size();
        QProcess slow;
        slow.start("curl", {"-sk", "-0", "--limit-rate", "8M", url + "big?n=" + QString::number(size)});
        QTRY_COMPARE(linesMatching("finished request").size(), answered + 1);
        for (int i = 0; i < 3; ++i)
            QCOMPARE(runCurl({"-sk", url + "fixed"}), QByteArray("hello"));
        QTRY_COMPARE_WITH_TIMEOUT(slow.state(), QProcess::NotRunning, 30000);
        const QByteArray received = slow.readAllStandardOutput();
        QCOMPARE(received.size(), size);
        QVERIFY(received == TestRequestHandler::pattern(size));

        // What the writer waits for: bytes already encrypted count as not yet written.
        int fds[2];
        QCOMPARE(::socketpair(AF_UNIX, SOCK_STREAM, 0, fds), 0);
        QSslSocket client, server;
        QVERIFY(client.setSocketDescriptor(fds[1]) && server.setSocketDescriptor(fds[0]));
        client.setPeerVerifyMode(QSslSocket::VerifyNone);
        client.startClientEncryption();
        server.setLocalCertificate(root.filePath("cert.pem"));
        server.setPrivateKey(root.filePath("key.pem"));
        server.startServerEncryption();
        QTRY_VERIFY(server.isEncrypted() && client.isEncrypted());
        server.write(QByteArray(16 << 20, 'e'));
        server.flush();
        QCOMPARE(server.bytesToWrite(), 0);
        QVERIFY(tarsel::pendingBytes(&server) > (1 << 20));
    }

    // Settings a listener starts with all the same: a port in use (the shared listener's), TLS with a
    // file missing from the settings or from the disk.
    void listenerSettings_data()
    {
        QTest::addColumn<QStringList>("values");
        QTest::addColumn<QString>("critical");
        QTest::newRow("port already taken") << QStringList{"port"} << "^HttpListener: Cannot bind on port \\d+: .+";
        QTest::newRow("TLS needs both files") << QStringList{"sslCertFile=cert.pem"} << "";
        QTest::newRow("unreadable certificate") << QStringList{"sslKeyFile=key.pem", "sslCertFile=missing.pem"}
                                                << "^HttpConnectionHandlerPool: cannot open sslCertFile " + root.filePath("missing.pem") + '$';
    }

    void listenerSettings()
    {
        QFETCH(QStringList, values);
        QFETCH(QString, critical);
        for (const QString& value : values)
            own->setValue(value.section('=', 0, 0), value == "port" ? QString::number(listener->serverPort()) : value.section('=', 1));
        if (!critical.isEmpty())
            QTest::ignoreMessage(QtCriticalMsg, QRegularExpression(critical));
        HttpListener second(own.get(), &requestHandler);
        QCOMPARE(second.isListening(), values.first() != "port");
        QVERIFY(!second.isListening() || served(second.serverPort()));
        QCOMPARE(linesMatching("SSL").size(), 0);
    }

    void largeUpload_data()
    {
        QTest::addColumn<int>("mebibytes");
        QTest::newRow("10 MiB") << 10;
        QTest::newRow("200 MiB") << 200;
    }

    // curl's multipart upload, checked byte for byte on arrival. curl asks "Expect: 100-continue"
    // and here waits far longer than the test for the interim answer: it must come at once.
    void largeUpload()
    {
        QFETCH(int, mebibytes);
        const QString source = root.filePath("upload.bin");
        QCryptographicHash hash(QCryptographicHash::Sha256);
        {
            QFile file(source);
            QVERIFY(file.open(QIODevice::WriteOnly));
            QRandomGenerator random(7);
            QByteArray block(1 << 20, Qt::Uninitialized);
            for (int i = 0; i < mebibytes; ++i) {
                random.fillRange(reinterpret_cast<quint32*>(block.data()), block.size() / 4);
                // Line ends and delimiter look-alikes inside the data.
                block.replace(i * 4096 % block.size(), 14, "\r\n--------\r\n--");
                hash.addData(block);
                QCOMPARE(file.write(block), qint64(block.size()));
            }
        }
        const QByteArray out = runCurl({"-s", "--expect100-timeout", "600", "-F", "file=@" + source + ";filename=big.bin",
                                        QString("http://127.0.0.1:%1/upload").arg(listener->serverPort())});
        QCOMPARE(out, "file " + QByteArray::number(mebibytes << 20) + ' ' + hash.result().toHex() + '\n');
        QTRY_COMPARE(tempFiles(), QStringList());
        QFile::remove(source);
    }

    // Raw request bytes to the exact answer bytes, then whether the server closes the connection
    // (a kept one stays open past the check). A warning the server must log goes with the row;
    // "critical:" marks a critical message, matched as a pattern.
    void wire_data()
    {
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<QByteArray>("answer");
        QTest::addColumn<bool>("closed");
        QTest::addColumn<QByteArray>("warning");
        QTest::addColumn<int>("step"); // bytes per send, a moment apart
        auto row = [](const char* name, const QByteArray& input, const QByteArray& answer, bool closed, const char* warning = "",
                      int step = 1 << 30) { QTest::newRow(name) << input << answer << closed << QByteArray(warning) << step; };
        const QByteArray chunks = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5\r\npart1\r\n5\r\npart2\r\n3\r\nend\r\n0\r\n\r\n";
        const QByteArray helloClose = "HTTP/1.1 200 OK\r\nConnection: close\r\nContent-Length: 5\r\n\r\nhello";

        // Conversations
        row("two requests in one segment", "GET /fixed HTTP/1.1\r\n\r\nGET /respond?p=part1&p=part2&p=end HTTP/1.1\r\n\r\n", HELLO + chunks, false);
        row("HTTP/1.0", "GET /fixed HTTP/1.0\r\n\r\n", helloClose, true);
        row("kept connection idle past the read timeout", "GET /fixed HTTP/1.1\r\n\r\n", HELLO, true);
        row("Connection close", "GET /respond?p=part1&p=part2&p=end HTTP/1.1\r\nConnection: CLOSE\r\n\r\n",
            "HTTP/1.1 200 OK\r\nConnection: close\r\n\r\npart1part2end", true);
        row("no pipelining past close", "GET /fixed HTTP/1.1\r\nConnection: close\r\n\r\nGET /fixed HTTP/1.1\r\n\r\n",
            helloClose, true);
        // What the handler's headers and parts make of the answer.
        const QByteArray chunked = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n";
        auto respond = [](const QByteArray& query) { return "GET /respond?" + query + " HTTP/1.1\r\n\r\n"; };
        row("handler closes", respond("h=Connection:close&p=b&p=ye"), "HTTP/1.1 200 OK\r\nConnection: close\r\n\r\nbye", true);
        row("connection Close is raw", respond("h=connection:Close&p=a&p=b"), "HTTP/1.1 200 OK\r\nconnection: Close\r\n\r\nab", true);
        row("empty last part", respond("p="), "HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n", false);
        row("content length replaced", respond("h=Content-Length:99&p=ab"), "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nab", false);
        row("chunk size in hex", respond("p=abcdefghijklmnopqrstuvwxyz&p="), chunked + "1a\r\nabcdefghijklmnopqrstuvwxyz\r\n0\r\n\r\n", false);
        row("large chunk", respond("p=*70000&p="), chunked + "11170\r\n" + TestRequestHandler::pattern(70000) + "\r\n0\r\n\r\n", false);
        row("Connection keep-alive is chunked", respond("h=Connection:keep-alive&p=a&p="),
            "HTTP/1.1 200 OK\r\nConnection: keep-alive\r\nTransfer-Encoding: chunked\r\n\r\n1\r\na\r\n0\r\n\r\n", false);
        row("header order", respond("h=x-lower:1&h=Content-Type:t&h=Connection:c&p="),
            "HTTP/1.1 200 OK\r\nConnection: c\r\nContent-Length: 0\r\nContent-Type: t\r\nx-lower: 1\r\n\r\n", false);
        row("header replaced", respond("h=A:1&h=A:2&p="), "HTTP/1.1 200 OK\r\nA: 2\r\nContent-Length: 0\r\n\r\n", false);
        row("handler writes nothing", "GET /nothing HTTP/1.1\r\n\r\n", "HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n", false);
        row("handler throws", "GET /throw HTTP/1.1\r\n\r\nGET /fixed HTTP/1.1\r\n\r\n",
            "HTTP/1.1 200 OK\r\nContent-Length: 0\r\nX-Before: 1\r\n\r\n" + HELLO, false,
            "critical:An uncatched exception occured in the request handler$");
        row("default handler", "GET /other HTTP/1.1\r\n\r\n",
            "HTTP/1.1 501 not implemented\r\nContent-Length: 19\r\n\r\n501 not implemented", false,
            "critical:^HttpRequestHandler: you need to override the service\\(\\) function$");
        row("answer after body", "POST /echo?q=1 HTTP/1.1\r\nContent-Length: 3\r\n\r\na=b",
            "HTTP/1.1 200 OK\r\nContent-Length: 72\r\nContent-Type: text/plain\r\n\r\n"
            "POST /echo HTTP/1.1\nparam a=b\nparam q=1\nheader content-length=3\nbody a=b", false);
        row("expect continue", "POST /echo HTTP/1.1\r\nExpect: 100-Continue\r\nContent-Length: 3\r\n\r\na=b",
            "HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 200 OK\r\nContent-Length: 89\r\nContent-Type: text/plain\r\n\r\n"
            "POST /echo HTTP/1.1\nparam a=b\nheader content-length=3\nheader expect=100-Continue\nbody a=b", false);
        row("HTTP/1.0 ignores expect", "POST /fixed HTTP/1.0\r\nExpect: 100-continue\r\nContent-Length: 1\r\n\r\nx",
            helloClose, true);
        // What the parser made of a request, as the echo handler tells it.
        auto echo = [](const QByteArray& text) {
            return "HTTP/1.1 200 OK\r\nContent-Length: " + QByteArray::number(text.size()) + "\r\nContent-Type: text/plain\r\n\r\n" + text;
        };
        row("query decoding", "GET /echo?a=a+b&b=%2B&c=%zz%4&d=a%&e=%2541&f=%+1&g=%-1&h=%00%ff%FF&i=%41&&k&=v&%3D=%3d&l=+x+ HTTP/1.1\r\n\r\n",
            echo(QByteArrayLiteral("GET /echo HTTP/1.1\nparam =v\nparam ===\nparam a=a b\nparam b=+\nparam c=%zz%4\nparam d=a%\n"
                                   "param e=%41\nparam f=% 1\nparam g=%-1\nparam h=\0\xff\xff\nparam i=A\nparam k=\nparam l= x \nbody ")),
            false);
        row("decoded path", "GET /fix%65d HTTP/1.1\r\n\r\n", HELLO, false);
        row("one byte at a time", "GET /fix%65d HTTP/1.1\r\nHost: x\r\n\r\n", HELLO, false, "", 1);
        row("empty lines before request", "\r\n\r\nGET /fixed HTTP/1.1\r\n\r\n", HELLO, false);
        row("header forms", "GET /echo HTTP/1.1\r\nFoo:   bar  \r\n baz\r\nX-Empty:\r\nMulti: 1\r\nmulti: 2\r\n\r\n",
            echo("GET /echo HTTP/1.1\nheader foo=bar baz\nheader foo=bar\nheader multi=2\nheader multi=1\nheader x-empty=\nbody "), false);
        row("NUL bytes", QByteArrayLiteral("GET /echo?n=\0x HTTP/1.1\r\nA\0: b\r\n\r\n"),
            echo(QByteArrayLiteral("GET /echo HTTP/1.1\nparam n=\0x\nheader a\0=b\nbody ")), false);
        row("urlencoded body", "POST /echo HTTP/1.1\r\nContent-Type: application/x-www-form-urlencoded; charset=x\r\n"
            "Content-Length: 3\r\n\r\na=1", echo("POST /echo HTTP/1.1\nparam a=1\nheader content-length=3\nheader content-type="
            "application/x-www-form-urlencoded; charset=x\nbody a=1"), false);
        row("text body", "POST /echo HTTP/1.1\r\nContent-Type: text/plain\r\nContent-Length: 3\r\n\r\na=1",
            echo("POST /echo HTTP/1.1\nheader content-length=3\nheader content-type=text/plain\nbody a=1"), false);
        row("duplicate equal lengths", "POST /fixed HTTP/1.1\r\nContent-Length: 2\r\ncontent-length: 02\r\n\r\nab", HELLO, false);
        row("broken multipart", "POST /upload HTTP/1.1\r\nConnection: close\r\nContent-Type: multipart/form-data; boundary=q\r\n"
            "Content-Length: 24\r\n\r\n--q\r\n--q--\r\n--q\r\n\r\n\r\n--q",
            "HTTP/1.1 200 OK\r\nConnection: close\r\nContent-Length: 0\r\n\r\n", true);

        // Refused, with the parser's warning
        auto refused = [&](const QByteArray& name, const QByteArray& input, const char* warning) {
            row(name.constData(), input, TOO_LARGE, true, QByteArray("HttpRequest: ").append(warning).constData());
        };
        const char* tooMany = "received too many bytes";
        const QByteArray thenGet = "\r\n\r\nGET /fixed HTTP/1.1\r\n\r\n";
        refused("oversized request line", "GET /" + QByteArray(20000, 'a') + " HTTP/1.1\r\n\r\n", tooMany);
        refused("header block too large", "GET /fixed HTTP/1.1\r\nX: " + QByteArray(20000, 'x') + "\r\n\r\n", tooMany);
        refused("header flood", "GET / HTTP/1.1\r\n" + QByteArray("A: b\r\n").repeated(5000), tooMany);
        refused("continuation flood", "GET / HTTP/1.1\r\nX: y\r\n" + QByteArray(" z\r\n").repeated(1000) + "\r\n", tooMany);
        refused("empty line flood", QByteArray("\r\n").repeated(9000), tooMany);
        for (const char* line : {"GARBAGE", "GET  /fixed HTTP/1.1", "GET /fixed", "GET /fixed http/1.1", "GET /?b= x HTTP/1.1",
                                 "GET /fixed HTTP/1.1\nHost: x"})
            refused(QByteArray("request line ").append(line).replace('\n', "\\n"), line + QByteArray("\r\n\r\n"),
                    "received broken HTTP request, invalid first line");
        // The last two: two lengths, the larger second, then the larger first.
        for (const char* length : {"+5", "-1", "0x10", "5 5", "1e3", "2147483648", "4294967297", "99999999999999999999", "", "5\x01",
                                   "2\r\nContent-Length: 3", "3\r\nContent-Length: 2"})
            refused(QByteArray("content-length ").append(length).replace("\r\n", " "),
                    "POST /echo HTTP/1.1\r\nContent-Length: " + QByteArray(length) + thenGet, "received invalid content-length");
        refused("smuggling", "POST /echo HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n0" + thenGet, "transfer-encoding is not supported");
        refused("smuggling, space before colon", "POST /echo HTTP/1.1\r\nTransfer-Encoding : chunked\r\n\r\n0" + thenGet,
                "received invalid header name");
        refused("length, tab before colon", "POST /echo HTTP/1.1\r\nContent-Length\t: 23" + thenGet, "received invalid header name");
        refused("expect continue, refused", "POST /fixed HTTP/1.1\r\nExpect: 100-continue\r\nContent-Length: 30000\r\n\r\n",
                "expected body is too large");
        // The client sends on after the refusal: the answer must not be lost to a reset.
        refused("refused body", "POST /echo HTTP/1.1\r\nContent-Length: 33554432\r\n\r\n" + QByteArray(32 << 20, 'b'),
                "expected body is too large");
        const QByteArray parts = "--q\r\nContent-Disposition: form-data; name=\"f\"; filename=\"f\"\r\n\r\nx\r\n"
                                 + QByteArray("--q\r\n\r\nx\r\n").repeated(256) + "--q--\r\n";
        refused("too many parts", "POST /upload HTTP/1.1\r\nContent-Type: multipart/form-data; boundary=q\r\nContent-Length: "
                + QByteArray::number(parts.size()) + "\r\n\r\n" + parts, "too many multipart parts");

        // Dropped at the read timeout without an answer
        row("no line ends", "GET /fixed HTTP/1.1\nHost: x\n\n", "", true);
        row("silence mid-body", "POST /echo HTTP/1.1\r\nContent-Length: 10\r\n\r\nabc", "", true);
        row("partial request line", "GET /fixed HT", "", true);
    }

    void wire()
    {
        QFETCH(QByteArray, input);
        QFETCH(QByteArray, answer);
        QFETCH(bool, closed);
        QFETCH(QByteArray, warning);
        QFETCH(int, step);
        if (warning.startsWith("critical:"))
            QTest::ignoreMessage(QtCriticalMsg, QRegularExpression(QString::fromLatin1(warning.mid(9))));
        else if (!warning.isEmpty())
            QTest::ignoreMessage(QtWarningMsg, warning.constData());
        RawClient client;
        QVERIFY(client.connectTo(listener->serverPort()));
        for (int at = 0; at < input.size(); at += step, QTest::qWait(2))
            QVERIFY(client.send(input.mid(at, step)));
        QCOMPARE(client.receive(answer.size(), 5000), answer);
        bool wasClosed = false;
        QElapsedTimer timer;
        timer.start();
        // A kept connection stays open well within the read timeout (1 s); a closed one goes within it.
        QCOMPARE(client.receive(INT_MAX, closed ? 5000 : 300, &wasClosed), QByteArray());
        QCOMPARE(wasClosed, closed);
        QVERIFY(timer.elapsed() < 3000);
        // Closed at the read timeout, not at once: the silent ones and the idle kept connection.
        QVERIFY(!closed || (!answer.isEmpty() && answer != HELLO) || timer.elapsed() > 500);
        QTRY_COMPARE(tempFiles(), QStringList());
    }

    void clientVanishes_data()
    {
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<int>("readFirst");
        QTest::newRow("mid-request") << QByteArray("GET /fixed HTTP/1.1\r\nHost: some") << 0;
        QTest::newRow("mid-upload") << QByteArray("POST /upload HTTP/1.1\r\nContent-Type: multipart/form-data; boundary=q\r\n"
                                                  "Content-Length: 50000000\r\n\r\n--q\r\nContent-Disposition: form-data; name=\"f\"; "
                                                  "filename=\"f\"\r\n\r\n") + QByteArray(3000000, 'x')
                                    << 0;
        QTest::newRow("mid-response") << QByteArray("GET /big?n=60000000 HTTP/1.1\r\n\r\n") << 100000;
    }

    void clientVanishes()
    {
        QFETCH(QByteArray, input);
        QFETCH(int, readFirst);
        const int before = requestHandler.served;
        {
            RawClient client;
            QVERIFY(client.connectTo(listener->serverPort()));
            QVERIFY(client.send(input));
            // The 60 MB answer is made before its first byte goes out: seconds under ThreadSanitizer.
            if (readFirst)
                QCOMPARE(client.receive(readFirst, 30000).size(), readFirst);
            else
                QTest::qWait(100);
        }
        QTRY_COMPARE(tempFiles(), QStringList());
        RawClient next;
        QCOMPARE(next.fetchFixed(listener->serverPort()), HELLO);
        QCOMPARE(int(requestHandler.served), before + (readFirst ? 2 : 1));
    }

    // A client that reads a large answer slowly and sends without pause meanwhile: the server reads
    // ahead only a bounded amount, so its memory stays flat.
    void slowReaderKeepsSending()
    {
        const auto resident = []() {
            QFile statm("/proc/self/statm");
            statm.open(QIODevice::ReadOnly);
            return statm.readAll().split(' ').value(1).toLongLong() * ::sysconf(_SC_PAGESIZE);
        };
        RawClient client;
        QVERIFY(client.connectTo(listener->serverPort()));
        QVERIFY(client.send("GET /big?n=50000000 HTTP/1.1\r\n\r\n"));
        QCOMPARE(client.receive(4096).size(), 4096);
        const qint64 before = resident();
        const QByteArray junk(1 << 20, 'j');
        const qint64 limit = qint64(512) << 20;
        qint64 sent = 0;
        QElapsedTimer timer;
        timer.start();
        while (sent < limit && timer.elapsed() < 3000) {
            const ssize_t n = ::send(client.descriptor(), junk.constData(), size_t(junk.size()), MSG_DONTWAIT | MSG_NOSIGNAL);
            sent += qMax<ssize_t>(n, 0);
            // About 2 MB/s: the answer is far from complete when the loop ends.
            QCOMPARE(client.receive(4096, 1000).size(), 4096);
            QTest::qWait(2);
        }
        const qint64 grown = resident() - before;
        QVERIFY2(grown < (qint64(64) << 20), qPrintable(QString("sent %1 MiB, resident memory grew by %2 MiB")
                                                            .arg(sent >> 20).arg(grown >> 20)));
    }

    // The listener thread accepts nothing while this test holds it; the kernel must still complete
    // every handshake of the burst (Qt's own backlog of 50 drops the rest, a second per retry).
    void connectBurstWhileListenerBusy()
    {
        const int count = 120;
        std::vector<pollfd> sockets;
        for (int i = 0; i < count; ++i) {
            sockets.push_back({RawClient::loopbackSocket(listener->serverPort(), SOCK_NONBLOCK), POLLOUT, 0});
            QVERIFY(sockets.back().fd >= 0);
        }
        int connected = 0;
        QElapsedTimer timer;
        timer.start();
        while (connected < count && timer.elapsed() < 500) {
            ::poll(sockets.data(), sockets.size(), 50);
            connected = int(std::count_if(sockets.begin(), sockets.end(), [](const pollfd& socket) { return socket.revents & POLLOUT; }));
        }
        for (const pollfd& socket : sockets)
            ::close(socket.fd);
        QCOMPARE(connected, count);
    }

    // Every case above gave its handler back: all four serve at once (a handler whose client left a
    // moment ago may still be finishing its disconnect).
    void noHandlerLeft()
    {
        std::vector<std::unique_ptr<RawClient>> clients;
        for (int i = 0; i < 4; ++i) {
            clients.emplace_back(new RawClient());
            QCOMPARE(clients.back()->fetchFixed(listener->serverPort(), 5000), HELLO);
        }
    }

    // The request and multipart size limits, to the byte; what is refused is not read on.
    void limits_data()
    {
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<int>("step");
        QTest::addColumn<int>("maxSize");
        QTest::addColumn<int>("leftOver"); // bytes not read from the socket; -1: not checked
        QTest::addColumn<QByteArray>("warning"); // none: the request completes
        auto row = [](const char* name, const QByteArray& input, int step, int maxSize, int leftOver, const char* warning = "") {
            QTest::newRow(name) << input << step << maxSize << leftOver << QByteArray(warning);
        };
        const QByteArray body = "POST / HTTP/1.1\r\nContent-Length: 100\r\n\r\n" + QByteArray(100, 'b');
        const int head = body.size() - 100;
        row("body over the limit", body, body.size(), head + 99, 100, "HttpRequest: expected body is too large");
        row("body at the limit", body, 9, head + 100, 0);
        const QByteArray line = "GET /" + QByteArray(500, 'a') + " HTTP/1.1\r\n\r\n";
        row("line past the limit", line, line.size(), 100, line.size() - 101, "HttpRequest: received too many bytes");
        // A file part around the multipart limit of 5000 bytes.
        const QByteArray start = "--XyZ\r\nContent-Disposition: form-data; name=\"f\"; filename=\"x\"\r\n\r\n", end = "\r\n--XyZ--\r\n";
        auto part = [&](int size) { return multipartRequest(start + QByteArray(size - start.size() - end.size(), 'd') + end); };
        row("multipart one below the limit", part(4999), 1000, 16000, 0);
        row("multipart exactly the limit", part(5000), 1000, 16000, 0, "HttpRequest: received too many multipart bytes");
        row("multipart announced above the limit", part(5001), 1000, 16000, -1, "HttpRequest: expected multipart body is too large");
    }

    void limits()
    {
        QFETCH(QByteArray, input);
        QFETCH(int, step);
        QFETCH(int, maxSize);
        QFETCH(int, leftOver);
        QFETCH(QByteArray, warning);
        if (!warning.isEmpty())
            QTest::ignoreMessage(QtWarningMsg, warning.constData());
        Fed fed = feed(input, step, maxSize, 5000);
        QCOMPARE(fed.request->getStatus(), warning.isEmpty() ? HttpRequest::complete : HttpRequest::abort);
        if (leftOver >= 0)
            QCOMPARE(fed.leftOver, leftOver);
        fed.request.reset();
        QCOMPARE(tempFiles(), QStringList());
    }

    void multipart_data()
    {
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<HttpRequest::RequestStatus>("status");
        QTest::addColumn<QByteArrayList>("parameters");
        QTest::addColumn<QByteArrayList>("files");
        QTest::addColumn<QByteArray>("warning");
        // Parameters and files ("name=content") the parsed request has; a warning makes it an abort.
        auto row = [](const char* name, const QByteArray& body, const QByteArrayList& parameters, const QByteArrayList& files = {},
                      const char* warning = "", const QByteArray& type = "multipart/form-data; boundary=XyZ") {
            const bool aborts = QByteArray(warning).contains("too many bytes");
            QTest::newRow(name) << (body.startsWith("POST") ? body : multipartRequest(body, type))
                                << (aborts ? HttpRequest::abort : HttpRequest::complete) << parameters << files << QByteArray(warning);
        };
        const QByteArray text = "--XyZ\r\nContent-Disposition: form-data; name=\"t\"\r\n\r\nhello\r\n";
        const QByteArray binary("\r\n\0\xff--XyZ no\r\n-", 15);
        const QByteArray file = "--XyZ\r\nContent-Disposition: form-data; name=\"file\"; filename=\"f.bin\"\r\n"
                                "Content-Type: application/octet-stream\r\n\r\n" + binary + "\r\n";
        const QByteArray named = "--XyZ\r\nContent-Disposition: form-data; name=";
        row("text and file", text + file + "--XyZ--\r\n", {"file=f.bin", "t=hello"}, {"file=" + binary});
        row("quoted boundary", text + "--XyZ--\r\n", {"t=hello"}, {}, "", "multipart/form-data; boundary=\"XyZ\"");
        row("file without data", named + "\"f\"; filename=\"e\"\r\n\r\n--XyZ--\r\n", {}, {},
            "HttpRequest: format error, unexpected end of file data");
        row("empty file", named + "\"f\"; filename=\"e\"\r\n\r\n\r\n--XyZ--\r\n", {"f=e"}, {"f="});
        row("missing final boundary", text + file, {"t=hello"});
        row("no boundary at all", "just some bytes\r\n\r\nmore", {});
        row("wrong boundary", text + file, {}, {}, "", "multipart/form-data; boundary=Other");
        row("repeated boundaries", "--XyZ\r\n--XyZ\r\n--XyZ\r\n" + text.mid(7) + "--XyZ\r\n--XyZ--\r\n", {"t=hello"});
        row("line feed only", "--XyZ\nContent-Disposition: form-data; name=\"t\"\n\nv\n--XyZ--", {"t=v"});
        row("field value ends in line feed", named + "\"t\"\r\n\r\nab\n--XyZ--\r\n", {"t=ab"});
        row("two files same field", file + file + "--XyZ--\r\n", {"file=f.bin", "file=f.bin"}, {"file=" + binary});
        row("two files", named + "\"a\"; filename=\"a\"\r\n\r\nA\r\n" + named + "\"b\"; filename=\"b\"\r\n\r\nB\r\n--XyZ--\r\n",
            {"a=a", "b=b"}, {"a=A", "b=B"});
        row("part without name dropped", "--XyZ\r\nContent-Disposition: form-data\r\n\r\nxx\r\n" + text + "--XyZ--", {"t=hello"});
        row("unsupported disposition", "--XyZ\r\nContent-Disposition: attachment; name=\"a\"\r\n\r\nx\r\n--XyZ--", {});
        // A line longer than 64 KiB whose second 64 KiB piece starts like a delimiter.
        const QByteArray longLine = QByteArray(65536, 'L') + "--XyZ--" + QByteArray(70000, 'M');
        row("long line", named + "\"f\"; filename=\"l\"\r\n\r\n" + longLine + "\r\n--XyZ--\r\n", {"f=l"}, {"f=" + longLine});
        // Part headers are held in memory too: they count against the request size limit.
        const char* tooMany = "HttpRequest: received too many bytes";
        row("huge header line", "--XyZ\r\nX: " + QByteArray(200000, 'h') + "\r\n" + text.mid(7) + "--XyZ--", {}, {}, tooMany);
        row("long field name", named + '"' + QByteArray(20000, 'n') + "\"\r\n\r\nv\r\n--XyZ--", {}, {}, tooMany);
        row("form field over the request limit", named + "\"t\"\r\n\r\n" + QByteArray(20000, 'v') + "\r\n--XyZ--", {}, {}, tooMany);
        // The most parts a request may have; one more is refused.
        row("256 parts", QByteArray("--XyZ\r\n\r\nd\r\n").repeated(255) + text + "--XyZ--", {"t=hello"});
        row("no content-length", "POST / HTTP/1.1\r\nContent-Type: multipart/form-data; boundary=b\r\n\r\n", {});
    }

    void multipart()
    {
        QFETCH(QByteArray, input);
        QFETCH(HttpRequest::RequestStatus, status);
        QFETCH(QByteArrayList, parameters);
        QFETCH(QByteArrayList, files);
        QFETCH(QByteArray, warning);

        for (int step : {input.size(), input.size() > 1000 ? 4099 : 3}) {
            if (!warning.isEmpty())
                QTest::ignoreMessage(QtWarningMsg, warning.constData());
            Fed fed = feed(input, step);
            const HttpRequest& request = *fed.request;
            QCOMPARE(request.getStatus(), status);
            QByteArrayList gotParameters;
            const QMultiMap<QByteArray, QByteArray> map = request.getParameterMap();
            for (auto it = map.constBegin(); it != map.constEnd(); ++it)
                gotParameters << it.key() + '=' + it.value();
            QCOMPARE(gotParameters, parameters);
            for (const QByteArray& expected : files) {
                const QByteArray name = expected.left(expected.indexOf('='));
                QFile* file = request.getUploadedFile(name);
                QVERIFY(file && file->isOpen() && file->pos() == 0);
                QVERIFY(file->fileName().startsWith(HttpRequest::tempDirectory() + "/."));
                QCOMPARE(file->readAll(), expected.mid(name.size() + 1));
            }
            QCOMPARE(request.getBody(), QByteArray());
            fed.request.reset();
            QCOMPARE(tempFiles(), QStringList());
        }
    }

    void missingTempDirectoryAborts()
    {
        QVERIFY(QDir(HttpRequest::tempDirectory()).removeRecursively());
        QTest::ignoreMessage(QtCriticalMsg, QRegularExpression("^HttpRequest: cannot create temp file "));
        QTest::ignoreMessage(QtWarningMsg, "HttpRequest: cannot store multipart body");
        Fed fed = feed(multipartRequest("--XyZ\r\n\r\n--XyZ--"), 1000);
        QCOMPARE(fed.request->getStatus(), HttpRequest::abort);
        QVERIFY(QDir().mkpath(HttpRequest::tempDirectory()));
    }
};

QTEST_GUILESS_MAIN(TestHttpServer)
#include "tst_httpserver.moc"