// Screenshots, item pictures and the layout dump of a real demo application.
#include "agentprocess.h"
#include "httpclient.h"
#include "layoutdocument.h"

#include <QImage>
#include <QThread>
#include <QtConcurrent>
#include <QtTest>

namespace {
const QByteArray formTarget = "/launchApp?sopid=com.orvana.demo.form&uiappid=form";

QImage decodeBase64Png(const QByteArray& text)
{
    return QImage::fromData(QByteArray::fromBase64(text), "PNG");
}

LayoutDocument layout()
{
    return LayoutDocument(HttpClient::get("/getLayoutXML").body);
}

bool waitForTop(const QString& sopid)
{
    for (int i = 0; i < 100; ++i) {
        if (layout().rootAttribute(QStringLiteral("sopId")) == sopid)
            return true;
        QThread::msleep(100);
    }
    return false;
}

QPoint centre(const LayoutDocument& doc, const QString& objectName)
{
    return QPoint(qRound(doc.attribute(objectName, QStringLiteral("centerXToGlobal")).toDouble()),
                  qRound(doc.attribute(objectName, QStringLiteral("centerYToGlobal")).toDouble()));
}
} // namespace

class AgentScreen : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void screenshotAnnouncesItsSize();
    void itemPictureAtScaleOne();
    void itemPictureSize_data();
    void itemPictureSize();
    void itemPictureNearTheEdge();
    void itemPictureTurned();
    void tapClicksAButton();
    void chineseTextRoundTrip();
    void concurrentDumpsWhileTheTopChanges();

private:
    AgentProcess agent;
    QImage screen;
};

void AgentScreen::initTestCase()
{
    QVERIFY2(agent.start(), agent.log().constData());
    QCOMPARE(HttpClient::get(formTarget).status, 200);
    QVERIFY(waitForTop(QStringLiteral("com.orvana.demo.form")));
    QTRY_COMPARE_WITH_TIMEOUT(HttpClient::get("/appIsRunning?sopid=com.orvana.demo.form").body, QByteArray("1"),
                              5000);
}

void AgentScreen::cleanupTestCase()
{
    agent.stop();
}

void AgentScreen::screenshotAnnouncesItsSize()
{
    const HttpAnswer answer = HttpClient::get("/getScreenShot");
    QCOMPARE(answer.header("Content-Type"), QByteArray("text/plain; charset=UTF-8"));
    const QList<QByteArray> fields = answer.body.split(',');
    QCOMPARE(fields.size(), 3);
    screen = decodeBase64Png(fields[0]);
    QVERIFY(!screen.isNull());
    QCOMPARE(fields[1].toInt(), screen.height());
    QCOMPARE(fields[2].toInt(), screen.width());
    QVERIFY(screen.height() > screen.width());
}

void AgentScreen::itemPictureAtScaleOne()
{
    const LayoutDocument doc = layout();
    const QPoint c = centre(doc, QStringLiteral("okButton"));
    const HttpAnswer answer =
        HttpClient::get(QStringLiteral("/grabImage?x=%1&y=%2&w=240&h=96&r=0&s=1").arg(c.x()).arg(c.y()).toUtf8());
    const QImage item = decodeBase64Png(answer.body);
    QCOMPARE(item.size(), QSize(240, 96));
    const QImage expected = screen.copy(c.x() - 120, c.y() - 48, 240, 96);
    QCOMPARE(item.convertToFormat(QImage::Format_RGB32), expected.convertToFormat(QImage::Format_RGB32));
}

void AgentScreen::itemPictureSize_data()
{
    // 0 x 0: an empty body; an invalid size: any picture.
    QTest::addColumn<QByteArray>("target");
    QTest::addColumn<QSize>("size");
    auto row = [](const char* name, const char* query, QSize size) {
        QTest::newRow(name) << QByteArray("/grabImage?") + query << size;
    };
    row("scale 2 is half size", "x=300&y=400&w=200&h=100&r=0&s=2", QSize(100, 50));
    row("scale missing", "x=100&y=100&w=50&h=50&r=0", QSize(0, 0));
    row("scale not a number", "x=100&y=100&w=50&h=50&r=0&s=nan", QSize(0, 0));
    row("scale infinite", "x=100&y=100&w=50&h=50&r=0&s=inf", QSize(0, 0));
    row("size missing", "x=100&y=100&r=0&s=1", QSize(0, 0));
    row("size below one pixel", "x=100&y=100&w=0.5&h=0.9&r=0&s=1", QSize(0, 0));
    row("negative size", "x=100&y=100&w=-50&h=-50&r=0&s=1", QSize(0, 0));
    // Past the budget of 64 Mi pixels for each image the request makes.
    row("screen enlarged 10 times", "x=100&y=100&w=50&h=50&r=0&s=10", QSize(0, 0));
    row("screen-size item shrunk 10 times", "x=540&y=1200&w=1080&h=2400&r=0&s=0.1", QSize(0, 0));
    row("item of 30000 x 30000", "x=100&y=100&w=30000&h=30000&r=0&s=1", QSize(0, 0));
    // Numbers past the int range are clamped, never converted as they are.
    row("centre past the int range", "x=1e300&y=-1e300&w=50&h=40&r=0&s=1", QSize(50, 40));
    row("centre not a number", "x=nan&y=nan&w=50&h=40&r=0&s=1", QSize(50, 40));
    row("size past the int range", "x=100&y=100&w=1e300&h=1e300&r=0&s=1", QSize(0, 0));
    row("smallest int rotation", "x=300&y=400&w=50&h=50&r=-2147483648&s=1", QSize());
}

void AgentScreen::itemPictureSize()
{
    QFETCH(QByteArray, target);
    QFETCH(QSize, size);
    const HttpAnswer answer = HttpClient::get(target);
    QCOMPARE(answer.status, 200);
    if (size == QSize(0, 0)) {
        QCOMPARE(answer.body, QByteArray());
        return;
    }
    const QImage item = decodeBase64Png(answer.body);
    QVERIFY(!item.isNull());
    if (size.isValid())
        QCOMPARE(item.size(), size);
}

// Left of the screen there is nothing: that part of the picture is empty.
void AgentScreen::itemPictureNearTheEdge()
{
    const int y = screen.height() / 2;
    const HttpAnswer answer = HttpClient::get(QStringLiteral("/grabImage?x=10&y=%1&w=100&h=20&r=0&s=1").arg(y).toUtf8());
    const QImage item = decodeBase64Png(answer.body);
    QCOMPARE(item.size(), QSize(100, 20));
    QCOMPARE(qAlpha(item.pixel(5, 10)) == 0 || (item.pixel(5, 10) & 0xffffff) == 0, true);
    QCOMPARE(item.pixel(90, 10) | 0xff000000, screen.pixel(50, y) | 0xff000000);
}

void AgentScreen::itemPictureTurned()
{
    const HttpAnswer answer = HttpClient::get("/grabImage?x=360&y=640&w=200&h=100&r=30&s=1");
    const QImage item = decodeBase64Png(answer.body);
    const double rad = qDegreesToRadians(30.0);
    const double boundsW = 200 * std::cos(rad) + 100 * std::sin(rad);
    const double boundsH = 200 * std::sin(rad) + 100 * std::cos(rad);
    QVERIFY2(std::abs(item.width() - boundsW) <= 3 && std::abs(item.height() - boundsH) <= 3,
             qPrintable(QStringLiteral("%1x%2").arg(item.width()).arg(item.height())));
}

void AgentScreen::tapClicksAButton()
{
    const LayoutDocument before = layout();
    QCOMPARE(before.attribute(QStringLiteral("clickCount"), QStringLiteral("text")), QStringLiteral("clicks: 0"));
    const QPoint c = centre(before, QStringLiteral("okButton"));
    QCOMPARE(HttpClient::get(QStringLiteral("/sendTouchEvent?points=%1|%2").arg(c.x()).arg(c.y()).toUtf8()).status,
             200);
    QTRY_COMPARE_WITH_TIMEOUT(layout().attribute(QStringLiteral("clickCount"), QStringLiteral("text")),
                              QStringLiteral("clicks: 1"), 5000);
}

void AgentScreen::chineseTextRoundTrip()
{
    QCOMPARE(HttpClient::get("/sendCommitString?str=%E4%BD%A0%E5%A5%BD%3C%26%22").status, 200);
    QTRY_COMPARE_WITH_TIMEOUT(layout().attribute(QStringLiteral("nameInput"), QStringLiteral("text")),
                              QStringLiteral("你好<&\""), 5000);
    const HttpAnswer answer = HttpClient::get("/getLayoutXML");
    QVERIFY(answer.body.contains("你好"));
    QVERIFY(LayoutDocument(answer.body).isWellFormed());
}

// Many dumps at once while the top application changes back and forth.
void AgentScreen::concurrentDumpsWhileTheTopChanges()
{
    QAtomicInt bad;
    QAtomicInt stop;
    QThreadPool pool;
    pool.setMaxThreadCount(8);
    for (int i = 0; i < 6; ++i) {
        QtConcurrent::run(&pool, [&] {
            while (!stop.loadAcquire()) {
                const HttpAnswer answer = HttpClient::get("/getLayoutXML");
                if (answer.status != 200 || !LayoutDocument(answer.body).isWellFormed())
                    bad.ref();
            }
        });
    }
    // The dump follows the top application each time, with the other one still running.
    bool followed = true;
    for (int round = 0; round < 3; ++round) {
        HttpClient::get("/launchApp?sopid=com.orvana.demo.list&uiappid=list");
        followed = waitForTop(QStringLiteral("com.orvana.demo.list")) && followed;
        HttpClient::get(formTarget);
        followed = waitForTop(QStringLiteral("com.orvana.demo.form")) && followed;
    }
    stop.storeRelease(1);
    pool.waitForDone();
    QVERIFY(followed);
    QCOMPARE(bad.loadAcquire(), 0);
    QVERIFY(AgentProcess::portAnswers(10008));
}

QTEST_GUILESS_MAIN(AgentScreen)
#include "tst_agent_screen.moc"
