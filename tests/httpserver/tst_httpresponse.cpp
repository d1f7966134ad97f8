#include "httpresponse.h"
#include "rawclient.h"

#include <QTcpSocket>
#include <QtTest>

#include <thread>

using tarsel::HttpResponse;

class TestHttpResponse : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void bytesOnTheWire_data();
    void bytesOnTheWire();
    void largeBodyReachesSlowClient();

private:
    QTcpSocket* socket = nullptr;
    RawClient* client = nullptr;
};

void TestHttpResponse::init()
{
    const int fd = RawClient::socketPair(&client);
    socket = new QTcpSocket();
    QVERIFY(socket->setSocketDescriptor(fd));
}

void TestHttpResponse::cleanup()
{
    delete socket;
    delete client;
    socket = nullptr;
    client = nullptr;
}

void TestHttpResponse::bytesOnTheWire_data()
{
    // What the wire table of tst_httpserver cannot show with its handler. headers: "Name=Value";
    // parts: every part but the last is written without lastPart, the last one with lastPart.
    QTest::addColumn<QByteArrayList>("headers");
    QTest::addColumn<QByteArrayList>("parts");
    QTest::addColumn<QByteArray>("expected");
    auto row = [](const char* name, const QByteArrayList& headers, const QByteArrayList& parts, const QByteArray& tail) {
        QTest::newRow(name) << headers << parts << "HTTP/1.1 200 OK\r\n" + tail;
    };
    const QByteArray chunked = "Transfer-Encoding: chunked\r\n\r\n";
    row("empty last part", {}, {""}, "Content-Length: 0\r\n\r\n");
    row("content length replaced", {"Content-Length=99"}, {"ab"}, "Content-Length: 2\r\n\r\nab");
    row("chunked", {}, {"abcdefghijklmnopqrstuvwxyz", ""}, chunked + "1a\r\nabcdefghijklmnopqrstuvwxyz\r\n0\r\n\r\n");
    row("connection Close is raw", {"connection=Close"}, {"a", "b"}, "connection: Close\r\n\r\nab");
    row("Connection keep-alive is chunked", {"Connection=keep-alive"}, {"a", ""},
        "Connection: keep-alive\r\n" + chunked + "1\r\na\r\n0\r\n\r\n");
    row("header order", {"x-lower=1", "Content-Type=t", "Connection=c"}, {""},
        "Connection: c\r\nContent-Length: 0\r\nContent-Type: t\r\nx-lower: 1\r\n\r\n");
    row("header replaced", {"A=1", "A=2"}, {""}, "A: 2\r\nContent-Length: 0\r\n\r\n");
    const QByteArray big(70000, 'x');
    row("large chunk", {}, {big, ""}, chunked + "11170\r\n" + big + "\r\n0\r\n\r\n");
}

void TestHttpResponse::bytesOnTheWire()
{
    QFETCH(QByteArrayList, headers);
    QFETCH(QByteArrayList, parts);
    QFETCH(QByteArray, expected);

    HttpResponse response(socket);
    for (const QByteArray& header : headers) {
        const int eq = header.indexOf('=');
        response.setHeader(header.left(eq), header.mid(eq + 1));
    }
    for (int i = 0; i < parts.size(); ++i) {
        QVERIFY(!response.hasSentLastPart());
        response.write(parts.at(i), i == parts.size() - 1);
    }
    QVERIFY(response.hasSentLastPart());
    QCOMPARE(client->receive(expected.size() + 1, 100), expected);
}

// The socket's buffer stays small while the client reads slowly, and every byte arrives.
void TestHttpResponse::largeBodyReachesSlowClient()
{
    const QByteArray body = QByteArray(3 * 1024 * 1024, 'y') + "end";
    const QByteArray head = "HTTP/1.1 200 OK\r\nContent-Length: " + QByteArray::number(body.size()) + "\r\n\r\n";
    QByteArray received;
    std::thread reader([&]() {
        RawClient* c = client;
        received = c->receive(head.size() + body.size(), 20000);
    });
    HttpResponse response(socket);
    response.write(body, true);
    while (socket->bytesToWrite() > 0 && socket->waitForBytesWritten(5000)) {
    }
    reader.join();
    QCOMPARE(received.size(), head.size() + body.size());
    QVERIFY(received == head + body);
}

QTEST_GUILESS_MAIN(TestHttpResponse)
#include "tst_httpresponse.moc"
