// Brightness through the kernel's backlight files, for the backlight set-ups the simulated
// phone can make (ORVANA_SIM_BACKLIGHTS: unset, "none", or two devices).
#include "agentprocess.h"
#include "httpclient.h"

#include <QDir>
#include <QFile>
#include <QtConcurrent>
#include <QtTest>

namespace {
QByteArray body(const QByteArray& target)
{
    return HttpClient::get(target).body;
}

// The device the agent must use: the first in directory order with both files.
QString firstDevice()
{
    const QDir dir(qEnvironmentVariable("ORVANA_DEVICE_ROOT") + QStringLiteral("/sys/class/backlight/"));
    for (const QString& entry : dir.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Unsorted)) {
        const QDir device(dir.filePath(entry));
        if (device.exists(QStringLiteral("brightness")) && device.exists(QStringLiteral("max_brightness")))
            return device.absolutePath();
    }
    return QString();
}

QByteArray read(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}
} // namespace

class AgentBacklight : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase() { agent.stop(); }
    void setAndGet_data();
    void setAndGet();
    void kernelLineEnd();
    void concurrentSetAndGet();

private:
    AgentProcess agent;
    QString device;
    int maximum = -1;
};

void AgentBacklight::initTestCase()
{
    device = firstDevice();
    QCOMPARE(device.isEmpty(), qEnvironmentVariable("ORVANA_SIM_BACKLIGHTS") == QLatin1String("none"));
    if (!device.isEmpty())
        maximum = read(device + QStringLiteral("/max_brightness")).trimmed().toInt();
    QVERIFY2(agent.start(), agent.log().constData());
    QCOMPARE(body("/maxBrightness"), QByteArray::number(maximum));
}

void AgentBacklight::setAndGet_data()
{
    QTest::addColumn<QByteArray>("query");
    QTest::addColumn<int>("value");
    QTest::newRow("zero") << QByteArray("brightness=0") << 0;
    QTest::newRow("two digits") << QByteArray("brightness=42") << 42;
    QTest::newRow("three digits") << QByteArray("brightness=100") << 100;
    QTest::newRow("the maximum") << QByteArray("brightness=") + QByteArray::number(maximum) << maximum;
    QTest::newRow("one over") << QByteArray("brightness=") + QByteArray::number(maximum + 1) << maximum + 1;
    QTest::newRow("negative") << QByteArray("brightness=-5") << -5;
    QTest::newRow("missing is zero") << QByteArray("") << 0;
    QTest::newRow("not a number is zero") << QByteArray("brightness=bright") << 0;
}

// Accepted values answer the number of digits written and land in the file alone;
// refused ones answer "0" and leave it unchanged.
void AgentBacklight::setAndGet()
{
    QFETCH(QByteArray, query);
    QFETCH(int, value);
    const QByteArray before = read(device + QStringLiteral("/brightness"));
    const HttpAnswer answer = HttpClient::get("/setBrightness?" + query);
    QCOMPARE(answer.header("Content-Type"), QByteArray("text/plain; charset=UTF-8"));
    const bool accepted = !device.isEmpty() && value >= 0 && value <= maximum;
    if (!accepted) {
        QCOMPARE(answer.body, QByteArray("0"));
        QCOMPARE(read(device + QStringLiteral("/brightness")), before);
        QCOMPARE(body("/getBrightness"), device.isEmpty() ? QByteArray("-1") : before.trimmed());
        return;
    }
    QCOMPARE(answer.body, QByteArray::number(QByteArray::number(value).size()));
    QCOMPARE(read(device + QStringLiteral("/brightness")), QByteArray::number(value));
    QCOMPARE(body("/getBrightness"), QByteArray::number(value));
}

void AgentBacklight::kernelLineEnd()
{
    if (device.isEmpty())
        QSKIP("no backlight device");
    QFile file(device + QStringLiteral("/brightness"));
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write("128\n");
    file.close();
    QCOMPARE(body("/getBrightness"), QByteArray("128"));
}

// Sets and gets on the one shared file object from many connections at once.
void AgentBacklight::concurrentSetAndGet()
{
    if (device.isEmpty())
        QSKIP("no backlight device");
    QAtomicInt bad;
    QThreadPool pool;
    pool.setMaxThreadCount(8);
    for (int t = 0; t < 8; ++t) {
        QtConcurrent::run(&pool, [&bad, t] {
            for (int i = 0; i < 25; ++i) {
                const QByteArray set = body("/setBrightness?brightness=" + QByteArray::number((t * 25 + i) % 100));
                const int got = body("/getBrightness").toInt();
                if (set.isEmpty() || set == "0" || set == "-1" || got < 0 || got >= 100)
                    bad.ref();
            }
        });
    }
    pool.waitForDone();
    QCOMPARE(bad.loadAcquire(), 0);
}

QTEST_GUILESS_MAIN(AgentBacklight)
#include "tst_agent_backlight.moc"
