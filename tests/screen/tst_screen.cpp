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

const char FORM[] = "com.orvana.demo.form";
const char HOME[] = "com.orvana.home";

QDBusMessage screenCall(const QString& method, const QVariantList& args = {})
{
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("com.orvana.sim.Screen"), QStringLiteral("/screen"),
        QStringLiteral("com.orvana.sim.Screen"), method);
    call.setArguments(args);
    return QDBusConnection::systemBus().call(call, QDBus::Block, 10000);
}

QVariant screen(const QString& method, const QVariantList& args = {})
{
    const QDBusMessage reply = screenCall(method, args);
    if (reply.type() != QDBusMessage::ReplyMessage) {
        qWarning("%s: %s", qPrintable(method), qPrintable(reply.errorMessage()));
        return QVariant();
    }
    return reply.arguments().value(0);
}

int topPid()
{
    return screen(QStringLiteral("topWindowPid")).toInt();
}

QString topSopid()
{
    return screen(QStringLiteral("sopidByPid"), {topPid()}).toString();
}

QList<int> processList()
{
    const QDBusMessage reply = screenCall(QStringLiteral("processList"));
    return qdbus_cast<QList<int>>(reply.arguments().value(0));
}

bool launch(const QString& sopid, const QString& uiappid)
{
    return screen(QStringLiteral("launch"), {sopid, uiappid, QStringList(), uint(0)}).toBool();
}

bool quit(const QStringList& items)
{
    return screen(QStringLiteral("quit"), {items}).toBool();
}

void touch(int type, int slot, const QPoint& at)
{
    screen(QStringLiteral("sendTouch"), {type, slot, slot, at.x(), at.y()});
}

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
    QCOMPARE(topSopid(), QString::fromLatin1(HOME));
}

void TestScreen::unknownApplicationsAreRefused_data()
{
    QTest::addColumn<QString>("sopid");
    QTest::addColumn<QString>("uiappid");
    QTest::newRow("unknown package") << "com.orvana.nothing" << "form";
    QTest::newRow("unknown application") << FORM << "nothing";
    QTest::newRow("empty") << "" << "";
    QTest::newRow("path in sopid") << "../packages/com.orvana.demo.form" << "form";
}

void TestScreen::unknownApplicationsAreRefused()
{
    QFETCH(QString, sopid);
    QFETCH(QString, uiappid);
    const QList<int> before = processList();
    QVERIFY(!launch(sopid, uiappid));
    QCOMPARE(processList(), before);
    QVERIFY(!quit({sopid + QLatin1Char('/') + uiappid}));
    QFile log(ORVANA::devicePath(QStringLiteral("/data/log/message")));
    QVERIFY(log.open(QIODevice::ReadOnly) && log.readAll().contains(QStringLiteral("launch %1/%2 refused").arg(sopid, uiappid).toUtf8()));
}

void TestScreen::badInputIsHarmless()
{
    const int top = topPid();
    touch(2, 3, QPoint(10, 10));     // move of a contact that is not down
    touch(0, 5, QPoint(10, 10));     // release of one that is not down
    touch(7, 0, QPoint(10, 10));     // no such type
    screen(QStringLiteral("sendTouch"), {1, 100000, 0, 1, 1});
    screen(QStringLiteral("sendTouch"), {1, -1, 0, -50, 99999});
    screen(QStringLiteral("sendKey"), {1, 99999});
    screen(QStringLiteral("sendKey"), {9, 30});
    screen(QStringLiteral("sendKeyEvent"), {12345, 65, 0, QString(), false});
    QVERIFY(!quit({QStringLiteral("no-slash")}));
    QVERIFY(!quit({QStringLiteral("/")}));
    QCOMPARE(screen(QStringLiteral("sopidByPid"), {-1}).toString(), QString());
    QCOMPARE(topPid(), top);
    QVERIFY(!QImage::fromData(screen(QStringLiteral("screenImage")).toByteArray(), "PNG").isNull());
}

QTEST_GUILESS_MAIN(TestScreen)
#include "tst_screen.moc"
