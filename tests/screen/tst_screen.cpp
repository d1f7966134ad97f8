// orvana-screen on private buses (started by phone-env): what it must refuse or survive. What it
// shows and how input reaches the applications is tested through the agent and the page.
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QtTest>

#include "devicepath.h"

namespace {
// The first value of the screen's reply; none for an error.
QVariant screen(const char* method, const QVariantList& args = {})
{
    QDBusMessage call = QDBusMessage::createMethodCall(QStringLiteral("com.orvana.sim.Screen"), QStringLiteral("/screen"),
                                                       QStringLiteral("com.orvana.sim.Screen"), QLatin1String(method));
    call.setArguments(args);
    const QDBusMessage reply = QDBusConnection::systemBus().call(call, QDBus::Block, 10000);
    return reply.type() == QDBusMessage::ReplyMessage ? reply.arguments().value(0) : QVariant();
}

int topPid() { return screen("topWindowPid").toInt(); }
QList<int> processList() { return qdbus_cast<QList<int>>(screen("processList")); }
bool quit(const QString& item) { return screen("quit", {QStringList{item}}).toBool(); }
} // namespace

class TestScreen : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void unknownApplicationsAreRefused_data();
    void unknownApplicationsAreRefused();
    void badInputIsHarmless();
};

void TestScreen::initTestCase()
{
    const QString installed = ORVANA::devicePath(QStringLiteral("/data/packages"));
    QVERIFY(QDir().mkpath(installed));
    const QDir built(QStringLiteral(PACKAGE_DIR));
    for (const QString& name : built.entryList({QStringLiteral("*.opk")})) {
        QFile::remove(installed + QLatin1Char('/') + name);
        QVERIFY(QFile::copy(built.filePath(name), installed + QLatin1Char('/') + name));
    }
    QTRY_VERIFY_WITH_TIMEOUT(topPid() > 0, 20000);
    QCOMPARE(screen("sopidByPid", {topPid()}).toString(), QStringLiteral("com.orvana.home"));
}

void TestScreen::unknownApplicationsAreRefused_data()
{
    QTest::addColumn<QString>("sopid");
    QTest::addColumn<QString>("uiappid");
    QTest::newRow("unknown package") << "com.orvana.nothing" << "form";
    QTest::newRow("unknown application") << "com.orvana.demo.form" << "nothing";
    QTest::newRow("empty") << "" << "";
    QTest::newRow("path in sopid") << "../packages/com.orvana.demo.form" << "form";
}

void TestScreen::unknownApplicationsAreRefused()
{
    QFETCH(QString, sopid);
    QFETCH(QString, uiappid);
    const QList<int> before = processList();
    QVERIFY(!screen("launch", {sopid, uiappid, QStringList(), uint(0)}).toBool());
    QCOMPARE(processList(), before);
    QVERIFY(!quit(sopid + QLatin1Char('/') + uiappid));
    QFile log(ORVANA::devicePath(QStringLiteral("/data/log/message")));
    QVERIFY(log.open(QIODevice::ReadOnly) && log.readAll().contains(QStringLiteral("launch %1/%2 refused").arg(sopid, uiappid).toUtf8()));
}

void TestScreen::badInputIsHarmless()
{
    const int top = topPid();
    // A move and a release of contacts that are not down, no such type, slots out of range.
    for (const QVariantList& touch : QList<QVariantList>{{2, 3, 3, 10, 10}, {0, 5, 5, 10, 10}, {7, 0, 0, 10, 10}, {1, 100000, 0, 1, 1}, {1, -1, 0, -50, 99999}})
        screen("sendTouch", touch);
    screen("sendKey", {1, 99999});
    screen("sendKey", {9, 30});
    screen("sendKeyEvent", {12345, 65, 0, QString(), false});
    QVERIFY(!quit(QStringLiteral("no-slash")) && !quit(QStringLiteral("/")));
    QCOMPARE(screen("sopidByPid", {-1}).toString(), QString());
    QCOMPARE(topPid(), top);
    QVERIFY(!QImage::fromData(screen("screenImage").toByteArray(), "PNG").isNull());
}

QTEST_GUILESS_MAIN(TestScreen)
#include "tst_screen.moc"
