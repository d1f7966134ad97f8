#include "httpconnectionhandler.h"
#include "httprequest.h"
#include "rawclient.h"
#include "testrequesthandler.h"

#include <QDir>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

using tarsel::HttpConnectionHandler;
using tarsel::tSocketDescriptor;

class TestHttpConnectionHandler : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void conversation_data();
    void conversation();
    void keptConnectionClosesAfterReadTimeout();
    void silentClientIsDropped();
    void handlerIsReusedAfterDisconnect();
    void byteAtATime();
    void clientVanishesMidUpload();
    void clientVanishesMidResponse();
    void descriptorThatCannotBeAdopted();

private:
    RawClient* connectClient();

    QTemporaryDir root;
    QSettings* settings = nullptr;
    TestRequestHandler requestHandler;
    HttpConnectionHandler* handler = nullptr;
    RawClient* client = nullptr;
};

void TestHttpConnectionHandler::initTestCase()
{
    QVERIFY(root.isValid());
    qputenv("ORVANA_DEVICE_ROOT", root.path().toLocal8Bit());
    qputenv("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=/nonexistent/zelvik-test-bus");
    QVERIFY(QDir().mkpath(tarsel::HttpRequest::tempDirectory()));
    settings = new QSettings(root.filePath("settings.ini"), QSettings::IniFormat, this);
    settings->setValue("readTimeout", 1500);
    settings->setValue("maxRequestSize", 2000);
    settings->setValue("maxMultiPartSize", 10000000);
}

void TestHttpConnectionHandler::init()
{
    handler = new HttpConnectionHandler(settings, &requestHandler, nullptr);
    client = connectClient();
}

void TestHttpConnectionHandler::cleanup()
{
    delete client;
    client = nullptr;
    delete handler;
    handler = nullptr;
    settings->setValue("readTimeout", 1500);
}

RawClient* TestHttpConnectionHandler::connectClient()
{
    RawClient* raw = nullptr;
    const int fd = RawClient::socketPair(&raw);
    handler->setBusy();
    QMetaObject::invokeMethod(handler, "handleConnection", Qt::QueuedConnection, Q_ARG(tSocketDescriptor, fd));
    return raw;
}

void TestHttpConnectionHandler::conversation_data()
{
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<QByteArray>("expected");
    QTest::addColumn<bool>("closed");

    const QByteArray hello = "HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nhello";
    const QByteArray tooLarge = "HTTP/1.1 413 entity too large\r\nConnection: close\r\n\r\n413 Entity too large\r\n";
    QTest::newRow("two requests in one segment") << QByteArray("GET /fixed HTTP/1.1\r\n\r\nGET /chunks HTTP/1.1\r\n\r\n")
                                                 << hello + "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n"
                                                            "5\r\npart1\r\n5\r\npart2\r\n3\r\nend\r\n0\r\n\r\n"
                                                 << false;
    QTest::newRow("HTTP/1.0") << QByteArray("GET /fixed HTTP/1.0\r\n\r\n")
                              << QByteArray("HTTP/1.1 200 OK\r\nConnection: close\r\nContent-Length: 5\r\n\r\nhello") << true;
    QTest::newRow("Connection close") << QByteArray("GET /chunks HTTP/1.1\r\nConnection: CLOSE\r\n\r\n")
                                      << QByteArray("HTTP/1.1 200 OK\r\nConnection: close\r\n\r\npart1part2end") << true;
    QTest::newRow("no pipelining past close") << QByteArray("GET /fixed HTTP/1.1\r\nConnection: close\r\n\r\n"
                                                            "GET /fixed HTTP/1.1\r\n\r\n")
                                              << QByteArray("HTTP/1.1 200 OK\r\nConnection: close\r\nContent-Length: 5\r\n\r\nhello")
                                              << true;
    QTest::newRow("handler closes") << QByteArray("GET /close HTTP/1.1\r\n\r\n")
                                    << QByteArray("HTTP/1.1 200 OK\r\nConnection: close\r\n\r\nbye") << true;
    QTest::newRow("handler writes nothing") << QByteArray("GET /nothing HTTP/1.1\r\n\r\n")
                                            << QByteArray("HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n") << false;
    QTest::newRow("handler throws") << QByteArray("GET /throw HTTP/1.1\r\n\r\nGET /fixed HTTP/1.1\r\n\r\n")
                                    << QByteArray("HTTP/1.1 200 OK\r\nContent-Length: 0\r\nX-Before: 1\r\n\r\n") + hello << false;
    QTest::newRow("default handler") << QByteArray("GET /other HTTP/1.1\r\n\r\n")
                                     << QByteArray("HTTP/1.1 501 not implemented\r\nContent-Length: 19\r\n\r\n501 not implemented")
                                     << false;
    QTest::newRow("header block too large") << QByteArray("GET /fixed HTTP/1.1\r\nX: ") + QByteArray(3000, 'x') + "\r\n\r\n"
                                            << tooLarge << true;
    QTest::newRow("broken request line") << QByteArray("GARBAGE\r\n") << tooLarge << true;
    QTest::newRow("smuggled body") << QByteArray("POST /fixed HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n0\r\n\r\n")
                                   << tooLarge << true;
    QTest::newRow("answer after body") << QByteArray("POST /echo?q=1 HTTP/1.1\r\nContent-Length: 3\r\n\r\na=b")
                                       << QByteArray("HTTP/1.1 200 OK\r\nContent-Length: 72\r\nContent-Type: text/plain\r\n\r\n"
                                                     "POST /echo HTTP/1.1\nparam a=b\nparam q=1\n"
                                                     "header content-length=3\nbody a=b")
                                       << false;
    QTest::newRow("expect continue") << QByteArray("POST /echo HTTP/1.1\r\nExpect: 100-Continue\r\nContent-Length: 3\r\n\r\na=b")
                                     << QByteArray("HTTP/1.1 100 Continue\r\n\r\n"
                                                   "HTTP/1.1 200 OK\r\nContent-Length: 89\r\nContent-Type: text/plain\r\n\r\n"
                                                   "POST /echo HTTP/1.1\nparam a=b\nheader content-length=3\n"
                                                   "header expect=100-Continue\nbody a=b")
                                     << false;
    QTest::newRow("expect continue, refused") << QByteArray("POST /fixed HTTP/1.1\r\nExpect: 100-continue\r\n"
                                                            "Content-Length: 3000\r\n\r\n")
                                              << tooLarge << true;
    QTest::newRow("HTTP/1.0 ignores expect") << QByteArray("POST /fixed HTTP/1.0\r\nExpect: 100-continue\r\n"
                                                           "Content-Length: 1\r\n\r\nx")
                                             << QByteArray("HTTP/1.1 200 OK\r\nConnection: close\r\nContent-Length: 5\r\n\r\nhello")
                                             << true;
}

void TestHttpConnectionHandler::conversation()
{
    QFETCH(QByteArray, input);
    QFETCH(QByteArray, expected);
    QFETCH(bool, closed);
    const QByteArray tag = QTest::currentDataTag();
    if (tag == "handler throws")
        QTest::ignoreMessage(QtCriticalMsg, QRegularExpression("An uncatched exception occured in the request handler$"));
    if (tag == "default handler")
        QTest::ignoreMessage(QtCriticalMsg, "HttpRequestHandler: you need to override the service() function");
    if (tag == "header block too large")
        QTest::ignoreMessage(QtWarningMsg, "HttpRequest: received too many bytes");
    if (tag == "broken request line")
        QTest::ignoreMessage(QtWarningMsg, "HttpRequest: received broken HTTP request, invalid first line");
    if (tag == "smuggled body")
        QTest::ignoreMessage(QtWarningMsg, "HttpRequest: transfer-encoding is not supported");
    if (tag == "expect continue, refused")
        QTest::ignoreMessage(QtWarningMsg, "HttpRequest: expected body is too large");

    QVERIFY(client->send(input));
    QCOMPARE(client->receive(expected.size(), 5000), expected);
    bool wasClosed = false;
    const QByteArray rest = client->receiveUntilClosed(closed ? 2000 : 300, &wasClosed);
    QCOMPARE(rest, QByteArray());
    QCOMPARE(wasClosed, closed);
    if (closed) {
        // A refused connection is drained until the client closes its side too.
        client->close();
        QTRY_VERIFY(!handler->isBusy());
    } else
        QVERIFY(handler->isBusy());
}

void TestHttpConnectionHandler::keptConnectionClosesAfterReadTimeout()
{
    QVERIFY(client->send("GET /fixed HTTP/1.1\r\n\r\n"));
    QVERIFY(!client->receiveResponse().isEmpty());
    QElapsedTimer timer;
    timer.start();
    bool closed = false;
    QCOMPARE(client->receiveUntilClosed(5000, &closed), QByteArray());
    QVERIFY(closed);
    QVERIFY(timer.elapsed() > 1000);
    QTRY_VERIFY(!handler->isBusy());
}

void TestHttpConnectionHandler::silentClientIsDropped()
{
    // A partial request does not extend the timeout.
    QVERIFY(client->send("GET /fixed HT"));
    bool closed = false;
    QCOMPARE(client->receiveUntilClosed(5000, &closed), QByteArray());
    QVERIFY(closed);
    QTRY_VERIFY(!handler->isBusy());
}

void TestHttpConnectionHandler::handlerIsReusedAfterDisconnect()
{
    QVERIFY(client->send("GET /fixed HTTP/1.1\r\n\r\n"));
    QCOMPARE(client->receiveResponse(), QByteArray("HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nhello"));
    client->close();
    QTRY_VERIFY(!handler->isBusy());
    for (int i = 0; i < 3; ++i) {
        std::unique_ptr<RawClient> next(connectClient());
        QVERIFY(next->send("GET /fixed HTTP/1.0\r\n\r\n"));
        bool closed = false;
        QCOMPARE(next->receiveUntilClosed(3000, &closed),
                 QByteArray("HTTP/1.1 200 OK\r\nConnection: close\r\nContent-Length: 5\r\n\r\nhello"));
        QVERIFY(closed);
        QTRY_VERIFY(!handler->isBusy());
    }
}

void TestHttpConnectionHandler::byteAtATime()
{
    const QByteArray request = "POST /echo HTTP/1.1\r\nContent-Length: 2\r\n\r\nxy";
    for (char c : request) {
        QVERIFY(client->send(QByteArray(1, c)));
        QTest::qWait(2);
    }
    const QByteArray response = client->receiveResponse();
    QVERIFY2(response.endsWith("\nbody xy"), response.constData());
}

void TestHttpConnectionHandler::clientVanishesMidUpload()
{
    const QByteArray body = "--b\r\nContent-Disposition: form-data; name=\"f\"; filename=\"x\"\r\n\r\n" + QByteArray(500000, 'u');
    QVERIFY(client->send("POST /upload HTTP/1.1\r\nContent-Type: multipart/form-data; boundary=b\r\nContent-Length: 9000000\r\n\r\n"
                         + body));
    const QDir temp(tarsel::HttpRequest::tempDirectory());
    QTRY_COMPARE(temp.entryList(QDir::Files | QDir::Hidden).size(), 1);
    client->close();
    QTRY_VERIFY(!handler->isBusy());
    QTRY_COMPARE(temp.entryList(QDir::Files | QDir::Hidden), QStringList());
}

void TestHttpConnectionHandler::clientVanishesMidResponse()
{
    QVERIFY(client->send("GET /big?n=30000000 HTTP/1.1\r\n\r\n"));
    QVERIFY(!client->receive(1000).isEmpty());
    client->close();
    QTRY_VERIFY_WITH_TIMEOUT(!handler->isBusy(), 10000);
    std::unique_ptr<RawClient> next(connectClient());
    QVERIFY(next->send("GET /fixed HTTP/1.1\r\n\r\n"));
    QCOMPARE(next->receiveResponse(), QByteArray("HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nhello"));
}

void TestHttpConnectionHandler::descriptorThatCannotBeAdopted()
{
    delete client;
    client = nullptr;
    QTRY_VERIFY(!handler->isBusy());
    // A descriptor number that is not open in this process.
    const int fd = 999999;
    QCOMPARE(::fcntl(fd, F_GETFD), -1);
    QTest::ignoreMessage(QtCriticalMsg, QRegularExpression("cannot initialize socket"));
    handler->setBusy();
    QMetaObject::invokeMethod(handler, "handleConnection", Qt::QueuedConnection,
                              Q_ARG(tSocketDescriptor, fd));
    QTRY_VERIFY(!handler->isBusy());
    // The handler serves the next connection.
    client = connectClient();
    QVERIFY(client->send("GET /fixed HTTP/1.1\r\n\r\n"));
    QCOMPARE(client->receiveResponse(), QByteArray("HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nhello"));
}

QTEST_GUILESS_MAIN(TestHttpConnectionHandler)
#include "tst_httpconnectionhandler.moc"
