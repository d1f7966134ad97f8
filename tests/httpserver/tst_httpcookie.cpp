#include "httpcookie.h"

#include <QtTest>

using tarsel::HttpCookie;

class TestHttpCookie : public QObject
{
    Q_OBJECT
private slots:
    void toByteArray_data();
    void toByteArray();
    void parse_data();
    void parse();
    void splitCSV_data();
    void splitCSV();
    void defaults();
};

void TestHttpCookie::toByteArray_data()
{
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<int>("maxAge");
    QTest::addColumn<QByteArray>("path");
    QTest::addColumn<QByteArray>("comment");
    QTest::addColumn<QByteArray>("domain");
    QTest::addColumn<bool>("secure");
    QTest::addColumn<bool>("httpOnly");
    QTest::addColumn<QByteArray>("sameSite");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("path only") << QByteArray("a") << QByteArray("b") << 0 << QByteArray("/") << QByteArray()
                               << QByteArray() << false << false << QByteArray() << QByteArray("a=b; Path=/; Version=1");
    QTest::newRow("everything") << QByteArray("id") << QByteArray("42") << 60 << QByteArray("/x") << QByteArray("c")
                                << QByteArray("d.example") << true << true << QByteArray("Strict")
                                << QByteArray("id=42; Comment=c; Domain=d.example; Max-Age=60; Path=/x; Secure; HttpOnly; "
                                              "SameSite=Strict; Version=1");
    QTest::newRow("values unquoted") << QByteArray("n") << QByteArray("a b;c") << 0 << QByteArray() << QByteArray()
                                     << QByteArray() << false << false << QByteArray() << QByteArray("n=a b;c; Version=1");
    QTest::newRow("negative age") << QByteArray("n") << QByteArray("v") << -1 << QByteArray() << QByteArray()
                                  << QByteArray() << false << false << QByteArray() << QByteArray("n=v; Max-Age=-1; Version=1");
}

void TestHttpCookie::toByteArray()
{
    QFETCH(QByteArray, name);
    QFETCH(QByteArray, value);
    QFETCH(int, maxAge);
    QFETCH(QByteArray, path);
    QFETCH(QByteArray, comment);
    QFETCH(QByteArray, domain);
    QFETCH(bool, secure);
    QFETCH(bool, httpOnly);
    QFETCH(QByteArray, sameSite);
    QFETCH(QByteArray, expected);
    const HttpCookie cookie(name, value, maxAge, path, comment, domain, secure, httpOnly, sameSite);
    QCOMPARE(cookie.toByteArray(), expected);
    if (!value.contains(';'))
        QCOMPARE(HttpCookie(expected).toByteArray(), expected);
}

void TestHttpCookie::parse_data()
{
    QTest::addColumn<QByteArray>("source");
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<QByteArray>("path");
    QTest::addColumn<int>("maxAge");
    QTest::addColumn<bool>("secure");
    QTest::addColumn<int>("version");
    QTest::newRow("simple") << QByteArray("a=b") << QByteArray("a") << QByteArray("b") << QByteArray() << 0 << false << 1;
    QTest::newRow("attributes") << QByteArray(" s = v ; Path=/p; Max-Age=5; Secure; Version=2") << QByteArray("s")
                                << QByteArray("v") << QByteArray("/p") << 5 << true << 2;
    QTest::newRow("quoted semicolon") << QByteArray("q=\"x;y\"; Path=/") << QByteArray("q") << QByteArray("x;y")
                                      << QByteArray("/") << 0 << false << 1;
    QTest::newRow("name only") << QByteArray("flag") << QByteArray("flag") << QByteArray() << QByteArray() << 0 << false << 1;
    QTest::newRow("leading equals is a name") << QByteArray("=v") << QByteArray("=v") << QByteArray() << QByteArray() << 0
                                              << false << 1;
    QTest::newRow("attribute names are case-sensitive") << QByteArray("a=1; path=/") << QByteArray("a") << QByteArray("1")
                                                        << QByteArray() << 0 << false << 1;
}

void TestHttpCookie::parse()
{
    QFETCH(QByteArray, source);
    QFETCH(QByteArray, name);
    QFETCH(QByteArray, value);
    QFETCH(QByteArray, path);
    QFETCH(int, maxAge);
    QFETCH(bool, secure);
    QFETCH(int, version);
    if (QByteArray(QTest::currentDataTag()) == "attribute names are case-sensitive")
        QTest::ignoreMessage(QtWarningMsg, "HttpCookie: Ignoring unknown path=/");
    const HttpCookie cookie(source);
    QCOMPARE(cookie.getName(), name);
    QCOMPARE(cookie.getValue(), value);
    QCOMPARE(cookie.getPath(), path);
    QCOMPARE(cookie.getMaxAge(), maxAge);
    QCOMPARE(cookie.getSecure(), secure);
    QCOMPARE(cookie.getVersion(), version);
}

void TestHttpCookie::splitCSV_data()
{
    QTest::addColumn<QByteArray>("source");
    QTest::addColumn<QByteArrayList>("pieces");
    QTest::newRow("quoted semicolon") << QByteArray("x;   \"a;b\"") << QByteArrayList{"x", "a;b"};
    QTest::newRow("empty pieces dropped") << QByteArray(";; a ;;") << QByteArrayList{"a"};
    QTest::newRow("commas are plain") << QByteArray("a,b;c") << QByteArrayList{"a,b", "c"};
    QTest::newRow("unterminated quote") << QByteArray("a;\"b;c") << QByteArrayList{"a", "b;c"};
    QTest::newRow("empty") << QByteArray() << QByteArrayList{};
}

void TestHttpCookie::splitCSV()
{
    QFETCH(QByteArray, source);
    QFETCH(QByteArrayList, pieces);
    QCOMPARE(HttpCookie::splitCSV(source), pieces);
}

void TestHttpCookie::defaults()
{
    HttpCookie cookie;
    QCOMPARE(cookie.toByteArray(), QByteArray("=; Version=1"));
    cookie.setName("n");
    cookie.setValue("v");
    cookie.setHttpOnly(true);
    cookie.setSameSite("Lax");
    QCOMPARE(cookie.toByteArray(), QByteArray("n=v; HttpOnly; SameSite=Lax; Version=1"));
}

QTEST_APPLESS_MAIN(TestHttpCookie)
#include "tst_httpcookie.moc"
