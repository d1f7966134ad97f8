// The request parser on its own, over a socket pair.
#include "httprequest.h"
#include "rawclient.h"

#include <QTcpSocket>
#include <QtTest>

#include <memory>

#include <sys/socket.h>

using tarsel::HttpRequest;

Q_DECLARE_METATYPE(HttpRequest::RequestStatus)

class TestHttpUnits : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void limits_data();
    void limits();
    void multipart_data();
    void multipart();
    void missingTempDirectoryAborts();

private:
    struct Fed {
        std::unique_ptr<HttpRequest> request;
        qint64 leftOver = 0;
    };
    // Feeds `data` in pieces of `step` bytes until the request is complete or aborted.
    Fed feed(const QByteArray& data, int step, int maxSize = 16000, int maxMultiPartSize = 1000000);
    QStringList tempFiles() const;

    QTemporaryDir root;
};

void TestHttpUnits::initTestCase()
{
    QVERIFY(root.isValid());
    qputenv("ORVANA_DEVICE_ROOT", root.path().toLocal8Bit());
    // No compositor here: the "mkdir" call fails at once and never reaches a real bus.
    qputenv("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=/nonexistent/zelvik-test-bus");
    QVERIFY(QDir().mkpath(HttpRequest::tempDirectory()));
    QVERIFY(HttpRequest::tempDirectory().startsWith(root.path()));
}

TestHttpUnits::Fed TestHttpUnits::feed(const QByteArray& data, int step, int maxSize, int maxMultiPartSize)
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

QStringList TestHttpUnits::tempFiles() const
{
    return QDir(HttpRequest::tempDirectory()).entryList(QDir::Files | QDir::Hidden);
}

static QByteArray multipartRequest(const QByteArray& body, const QByteArray& contentType = "multipart/form-data; boundary=XyZ")
{
    return "POST /upload HTTP/1.1\r\nContent-Type: " + contentType + "\r\nContent-Length: " + QByteArray::number(body.size())
           + "\r\n\r\n" + body;
}

// The request and multipart size limits, to the byte; what is refused is not read on.
void TestHttpUnits::limits_data()
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

void TestHttpUnits::limits()
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

void TestHttpUnits::multipart_data()
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

void TestHttpUnits::multipart()
{
    QFETCH(QByteArray, input);
    QFETCH(HttpRequest::RequestStatus, status);
    QFETCH(QByteArrayList, parameters);
    QFETCH(QByteArrayList, files);
    QFETCH(QByteArray, warning);

    for (int step : {input.size(), 3}) {
        if (step < input.size() && input.size() > 1000)
            step = 4099;
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

void TestHttpUnits::missingTempDirectoryAborts()
{
    QVERIFY(QDir(HttpRequest::tempDirectory()).removeRecursively());
    QTest::ignoreMessage(QtCriticalMsg, QRegularExpression("^HttpRequest: cannot create temp file "));
    QTest::ignoreMessage(QtWarningMsg, "HttpRequest: cannot store multipart body");
    Fed fed = feed(multipartRequest("--XyZ\r\n\r\n--XyZ--"), 1000);
    QCOMPARE(fed.request->getStatus(), HttpRequest::abort);
    QVERIFY(QDir().mkpath(HttpRequest::tempDirectory()));
}

QTEST_GUILESS_MAIN(TestHttpUnits)
#include "tst_httpunits.moc"
