// What only the handler object shows: its busy state and a descriptor it cannot adopt. The
// conversations themselves are in the wire table of tst_httpserver.
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
    void keptConnectionClosesAfterReadTimeout();
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
