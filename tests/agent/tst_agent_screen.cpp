// Screenshots, item pictures and the layout dump of a real demo application. Taps and typed text
// reaching it are the client's example suite's.
#include "agentprocess.h"
#include "httpclient.h"
#include "waituntil.h"

#include <QImage>
#include <QXmlStreamReader>
#include <QtConcurrent>

namespace {
QImage png(const QByteArray& base64) { return QImage::fromData(QByteArray::fromBase64(base64), "PNG"); }
QImage grab(const QString& query) { return png(HttpClient::get("/grabImage?" + query.toUtf8()).body); }

// The layout dump's root attributes (under ""), and the items' by object name; empty if not well-formed.
QMap<QString, QXmlStreamAttributes> layout(const QByteArray& xml = HttpClient::get("/getLayoutXML").body)
{
    QMap<QString, QXmlStreamAttributes> items;
    QXmlStreamReader reader(xml);
    while (!reader.atEnd()) {
        if (reader.readNext() == QXmlStreamReader::StartElement) {
            const QString name = reader.attributes().value(QLatin1String("objectName")).toString();
            if (reader.name() == QLatin1String("root") || !name.isEmpty())
                items.insert(name, reader.attributes());
        }
    }
    return reader.hasError() ? decltype(items)() : items;
}

// Brings a demo application to the front and waits until the dump shows it.
bool toTop(const char* app)
{
    const QString sopid = QStringLiteral("com.orvana.demo.") + QLatin1String(app);
    HttpClient::get("/launchApp?sopid=" + sopid.toUtf8() + "&uiappid=" + app);
    return waitUntil([&] { return layout().value(QString()).value(QLatin1String("sopId")) == sopid; }, 10000);
}
} // namespace

class AgentScreen : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        QVERIFY2(agent.start(), agent.log().constData());
        QVERIFY(toTop("form"));
        QTRY_COMPARE_WITH_TIMEOUT(HttpClient::get("/appIsRunning?sopid=com.orvana.demo.form").body, QByteArray("1"), 5000);
    }
    void cleanupTestCase() { agent.stop(); }

    void itemPicture_data()
    {
        // 0 x 0: an empty body; an invalid size: any picture.
        QTest::addColumn<QByteArray>("query");
        QTest::addColumn<QSize>("size");
        auto row = [](const char* name, const char* query, QSize size) { QTest::newRow(name) << QByteArray(query) << size; };
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
        // The bounding box of the turned item: 200 cos 30 + 100 sin 30 by 200 sin 30 + 100 cos 30.
        row("turned 30 degrees", "x=360&y=640&w=200&h=100&r=30&s=1", QSize(223, 187));
    }

    void itemPicture()
    {
        QFETCH(QByteArray, query);
        QFETCH(QSize, size);
        const HttpAnswer answer = HttpClient::get("/grabImage?" + query);
        QCOMPARE(answer.status, 200);
        if (size == QSize(0, 0)) {
            QCOMPARE(answer.body, QByteArray());
            return;
        }
        const QImage item = png(answer.body);
        QVERIFY(!item.isNull());
        if (size.isValid())
            QVERIFY2(qAbs(item.width() - size.width()) <= 3 && qAbs(item.height() - size.height()) <= 3,
                     qPrintable(QStringLiteral("%1x%2").arg(item.width()).arg(item.height())));
    }

    // The screenshot announces its size (height, then width). The picture at scale 1 is the screen's
    // pixels, centred where the dump puts the item; left of the screen there is nothing.
    void itemPictureIsTheScreens()
    {
        const HttpAnswer answer = HttpClient::get("/getScreenShot");
        QCOMPARE(answer.header("Content-Type"), QByteArray("text/plain; charset=UTF-8"));
        const QList<QByteArray> fields = answer.body.split(',');
        const QImage screen = png(fields[0]);
        QVERIFY(!screen.isNull() && screen.height() > screen.width());
        QCOMPARE(fields.mid(1), (QList<QByteArray>{QByteArray::number(screen.height()), QByteArray::number(screen.width())}));
        const QXmlStreamAttributes ok = layout().value(QStringLiteral("okButton"));
        const QPoint c(qRound(ok.value(QLatin1String("centerXToGlobal")).toDouble()), qRound(ok.value(QLatin1String("centerYToGlobal")).toDouble()));
        const QImage item = grab(QStringLiteral("x=%1&y=%2&w=240&h=96&r=0&s=1").arg(c.x()).arg(c.y()));
        QCOMPARE(item.size(), QSize(240, 96));
        QCOMPARE(item.convertToFormat(QImage::Format_RGB32), screen.copy(c.x() - 120, c.y() - 48, 240, 96).convertToFormat(QImage::Format_RGB32));
        const int y = screen.height() / 2;
        const QImage edge = grab(QStringLiteral("x=10&y=%1&w=100&h=20&r=0&s=1").arg(y));
        QCOMPARE(edge.size(), QSize(100, 20));
        QVERIFY(qAlpha(edge.pixel(5, 10)) == 0 || (edge.pixel(5, 10) & 0xffffff) == 0);
        QCOMPARE(edge.pixel(90, 10) | 0xff000000, screen.pixel(50, y) | 0xff000000);
    }

    // Many dumps at once while the top application changes back and forth.
    void concurrentDumpsWhileTheTopChanges()
    {
        QAtomicInt bad;
        QAtomicInt stop;
        QThreadPool pool;
        pool.setMaxThreadCount(8);
        for (int i = 0; i < 6; ++i) {
            QtConcurrent::run(&pool, [&] {
                while (!stop.loadAcquire()) {
                    const HttpAnswer answer = HttpClient::get("/getLayoutXML");
                    if (answer.status != 200 || layout(answer.body).isEmpty())
                        bad.ref();
                }
            });
        }
        // The dump follows the top application each time, with the other one still running.
        bool followed = true;
        for (int round = 0; round < 3; ++round)
            followed = toTop("list") && toTop("form") && followed;
        stop.storeRelease(1);
        pool.waitForDone();
        QVERIFY(followed);
        QCOMPARE(bad.loadAcquire(), 0);
        QVERIFY(AgentProcess::portAnswers(10008));
    }

private:
    AgentProcess agent;
};
QTEST_GUILESS_MAIN(AgentScreen)
#include "tst_agent_screen.moc"
