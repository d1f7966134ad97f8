#include "httpconnectionhandler.h"
#include "httpglobal.h"
#include "httplistener.h"
#include "rawclient.h"
#include "testrequesthandler.h"

#include <QSslKey>
#include <QSslSocket>
#include <QTcpServer>
#include <QtTest>

#include <memory>
#include <vector>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

using tarsel::HttpConnectionHandler;
using tarsel::HttpListener;
using tarsel::tSocketDescriptor;

namespace {

const QByteArray TOO_MANY = "HTTP/1.1 503 too many connections\r\nConnection: close\r\n\r\nToo many connections\r\n";

// These tests read the server's debug lines, whatever the environment filters.
const bool environmentRulesDropped = qunsetenv("QT_LOGGING_RULES");

// Lines of the server's log, recorded while a test looks at them.
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

// Hands out the descriptors of accepted connections untouched.
class DescriptorServer : public QTcpServer
{
public:
    qintptr accepted = -1;

protected:
    void incomingConnection(qintptr descriptor) override { accepted = descriptor; }
};

QStringList linesMatching(const QString& pattern)
{
    QMutexLocker locker(&logMutex);
    return logLines.filter(QRegularExpression(pattern));
}

} // namespace

class TestHttpConnectionHandlerPool : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void noHandlersAtAll();
    void connectBurstPastDescriptorLimit();
    void idleHandlersTrimmed();
    void descriptorThatCannotBeAdopted();
    void portAlreadyTaken();
    void tls();
    void tlsNeedsBothFiles();
    void unreadableCertificate();

private:
    std::unique_ptr<RawClient> served(quint16 port);

    QTemporaryDir root;
    QSettings* settings = nullptr;
    TestRequestHandler requestHandler;
};

void TestHttpConnectionHandlerPool::initTestCase()
{
    QVERIFY(root.isValid());
    previousHandler = qInstallMessageHandler(recordMessage);
    QLoggingCategory::setFilterRules("tarsel.httpserver.debug=true");
}

void TestHttpConnectionHandlerPool::init()
{
    QFile::remove(root.filePath("settings.ini"));
    settings = new QSettings(root.filePath("settings.ini"), QSettings::IniFormat);
    settings->setValue("host", "127.0.0.1");
    settings->setValue("readTimeout", 5000);
    QMutexLocker locker(&logMutex);
    logLines.clear();
}

void TestHttpConnectionHandlerPool::cleanup()
{
    delete settings;
    settings = nullptr;
}

// A connection whose request was answered, so a handler holds it.
std::unique_ptr<RawClient> TestHttpConnectionHandlerPool::served(quint16 port)
{
    std::unique_ptr<RawClient> client(new RawClient());
    return client->fetchFixed(port) == HELLO ? std::move(client) : nullptr;
}

void TestHttpConnectionHandlerPool::noHandlersAtAll()
{
    settings->setValue("maxThreads", 0);
    HttpListener listener(settings, &requestHandler);
    for (int i = 0; i < 3; ++i) {
        RawClient client;
        QVERIFY(client.connectTo(listener.serverPort()));
        bool closed = false;
        QCOMPARE(client.receiveUntilClosed(15000, &closed), TOO_MANY);
        QVERIFY(closed);
    }
}

// Past the descriptor limit accept() fails, and QTcpServer stops accepting after such an error
// (when it is the first error of the listening socket); the listener takes it up again once
// descriptors are free.
void TestHttpConnectionHandlerPool::connectBurstPastDescriptorLimit()
{
    settings->setValue("maxThreads", 4);
    HttpListener listener(settings, &requestHandler);
    std::vector<int> sockets;
    for (int i = 0; i < 200; ++i) {
        sockets.push_back(RawClient::loopbackSocket(listener.serverPort()));
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
    QSignalSpy failed(&listener, &QTcpServer::acceptError);
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^HttpListener: cannot accept a connection: "));
    QCOMPARE(::setrlimit(RLIMIT_NOFILE, &lowered), 0);
    const bool ranOut = failed.wait(5000) || !failed.isEmpty();
    QCOMPARE(::setrlimit(RLIMIT_NOFILE, &saved), 0);
    for (const int fd : sockets)
        ::close(fd);
    QVERIFY(ranOut);

    // The handlers may still be busy with the burst's closed connections.
    RawClient client;
    QCOMPARE(client.fetchFixed(listener.serverPort(), 10000), HELLO);
}

// Idle handlers past "minThreads" go, one per tick; busy ones stay and serve on.
void TestHttpConnectionHandlerPool::idleHandlersTrimmed()
{
    settings->setValue("cleanupInterval", 100);
    settings->setValue("minThreads", 2);
    HttpListener listener(settings, &requestHandler);
    std::vector<std::unique_ptr<RawClient>> clients;
    for (int i = 0; i < 6; ++i) {
        clients.push_back(served(listener.serverPort()));
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
void TestHttpConnectionHandlerPool::descriptorThatCannotBeAdopted()
{
    // Before the handler's thread starts: the test library's list of expected lines has no lock.
    QTest::ignoreMessage(QtCriticalMsg, QRegularExpression("cannot initialize socket"));
    HttpConnectionHandler handler(settings, &requestHandler, nullptr);
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

void TestHttpConnectionHandlerPool::portAlreadyTaken()
{
    HttpListener first(settings, &requestHandler);
    settings->setValue("port", first.serverPort());
    QTest::ignoreMessage(QtCriticalMsg,
                         QRegularExpression(QString("^HttpListener: Cannot bind on port %1: .+").arg(first.serverPort())));
    HttpListener second(settings, &requestHandler);
    QVERIFY(!second.isListening());
}

static bool makeCertificate(const QString& folder)
{
    QProcess openssl;
    openssl.setWorkingDirectory(folder);
    openssl.start("openssl", {"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", "key.pem", "-out", "cert.pem",
                              "-days", "2", "-subj", "/CN=127.0.0.1"});
    return openssl.waitForFinished(60000) && openssl.exitCode() == 0;
}

void TestHttpConnectionHandlerPool::tls()
{
    QVERIFY(makeCertificate(root.path()));
    settings->setValue("sslKeyFile", "key.pem");
    settings->setValue("sslCertFile", "cert.pem");
    HttpListener listener(settings, &requestHandler);
    QCOMPARE(linesMatching("^HttpConnectionHandlerPool: SSL settings loaded$").size(), 1);
    const QString url = QString("https://127.0.0.1:%1/").arg(listener.serverPort());
    // Several connections in turn: the handler's socket serves one TLS session after another.
    for (int i = 0; i < 3; ++i)
        QCOMPARE(runCurl({"-sk", url + "fixed"}), QByteArray("hello"));
    QCOMPARE(runCurl({"-sk", url + "chunks", url + "fixed"}), QByteArray("part1part2endhello"));
    QCOMPARE(runCurl({"-s", "--max-time", "5", QString("http://127.0.0.1:%1/fixed").arg(listener.serverPort())}), QByteArray());
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
    DescriptorServer plain;
    QVERIFY(plain.listen(QHostAddress::LocalHost));
    QSslSocket client;
    client.setPeerVerifyMode(QSslSocket::VerifyNone);
    client.connectToHostEncrypted("127.0.0.1", plain.serverPort());
    QTRY_VERIFY(plain.accepted >= 0);
    QSslSocket server;
    server.setLocalCertificate(root.filePath("cert.pem"));
    server.setPrivateKey(root.filePath("key.pem"));
    QVERIFY(server.setSocketDescriptor(plain.accepted));
    server.startServerEncryption();
    QTRY_VERIFY(server.isEncrypted() && client.isEncrypted());
    server.write(QByteArray(16 << 20, 'e'));
    server.flush();
    QCOMPARE(server.bytesToWrite(), 0);
    QVERIFY(tarsel::pendingBytes(&server) > (1 << 20));
}

void TestHttpConnectionHandlerPool::tlsNeedsBothFiles()
{
    settings->setValue("sslCertFile", "cert.pem");
    HttpListener listener(settings, &requestHandler);
    QCOMPARE(linesMatching("SSL|ssl").size(), 0);
    QVERIFY(served(listener.serverPort()));
}

void TestHttpConnectionHandlerPool::unreadableCertificate()
{
    settings->setValue("sslKeyFile", "key.pem");
    settings->setValue("sslCertFile", "missing.pem");
    QTest::ignoreMessage(QtCriticalMsg, qPrintable("HttpConnectionHandlerPool: cannot open sslCertFile " + root.filePath("missing.pem")));
    HttpListener listener(settings, &requestHandler);
    QVERIFY(served(listener.serverPort()));
}

QTEST_GUILESS_MAIN(TestHttpConnectionHandlerPool)
#include "tst_httpconnectionhandlerpool.moc"
