#include "logwriter.h"

#include <QtTest>

#include <cstdlib>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

class TestLogWriter : public QObject
{
    Q_OBJECT
private slots:
    void everyLineInOrder();
};

namespace {
const int THREADS = 8;
const int LINES = 20000;

// In a child process: a burst from many threads through a small queue, one line that must be
// written while the process idles, then an ordinary exit with lines still queued.
[[noreturn]] void burstThenExit(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append))
        std::_Exit(2);
    qSetMessagePattern(QStringLiteral("%{message}"));
    tarsel::LogWriter::install(file.handle(), 64);
    std::vector<std::thread> threads;
    for (int t = 0; t < THREADS; ++t)
        threads.emplace_back([t] {
            static const QLoggingCategory category("burst");
            for (int i = 0; i < LINES; ++i) {
                // Half the threads hand over finished text, half go through Qt's handler.
                const QByteArray line = "line " + QByteArray::number(t) + ' ' + QByteArray::number(i);
                if (t % 2)
                    tarsel::LogWriter::debug(category, line.constData(), line.size());
                else
                    qDebug("%s", line.constData());
            }
        });
    for (std::thread& thread : threads)
        thread.join();
    qDebug("idle line");
    QFile reader(path);
    if (!reader.open(QIODevice::ReadOnly))
        std::_Exit(2);
    QElapsedTimer waited;
    waited.start();
    while (!reader.readAll().contains("idle line\n")) {
        if (waited.elapsed() > 10000)
            std::_Exit(3);
        QThread::msleep(5);
    }
    for (int i = 0; i < 100; ++i)
        qDebug("line %d %d", THREADS, i); // as one more thread
    std::exit(0);
}
} // namespace

void TestLogWriter::everyLineInOrder()
{
    QTemporaryFile file;
    QVERIFY(file.open());
    const pid_t child = fork();
    if (child == 0)
        burstThenExit(file.fileName());
    QVERIFY(child > 0);
    int status = 0;
    QCOMPARE(waitpid(child, &status, 0), child);
    QVERIFY2(WIFEXITED(status) && WEXITSTATUS(status) == 0, "the idle line was not written while the process ran");

    const QList<QByteArray> lines = file.readAll().split('\n');
    QVector<int> next(THREADS + 1, 0), expected(THREADS + 1, LINES);
    expected[THREADS] = 100;
    for (const QByteArray& line : lines) {
        const QList<QByteArray> words = line.split(' ');
        if (words.size() == 3 && words.at(0) == "line") {
            const int t = words.at(1).toInt();
            QVERIFY2(t >= 0 && t <= THREADS, line.constData());
            QCOMPARE(words.at(2).toInt(), next[t]++);
        }
    }
    QCOMPARE(next, expected);
    QCOMPARE(lines.size(), THREADS * LINES + 1 + 100 + 1);
}

QTEST_GUILESS_MAIN(TestLogWriter)
#include "tst_logwriter.moc"
