// Uploads with a real client (curl): the file lands at the path named in "FileName" and
// nothing stays behind in the agent's temporary directory.
#include "agentprocess.h"
#include "httpclient.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QtTest>

namespace {
QString root()
{
    return qEnvironmentVariable("ORVANA_DEVICE_ROOT");
}

QString tempDirectory()
{
    return root() + QStringLiteral("/data/home/user/com.orvana.zelvikSupport/temp");
}

QStringList leftovers()
{
    return QDir(tempDirectory()).entryList(QDir::Files | QDir::Hidden | QDir::System);
}

QString makeFile(const QString& name, qint64 size)
{
    const QString path = root() + QLatin1Char('/') + name;
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return QString();
    QFile random(QStringLiteral("/dev/urandom"));
    random.open(QIODevice::ReadOnly);
    for (qint64 done = 0; done < size;) {
        const QByteArray block = random.read(qMin<qint64>(1 << 20, size - done));
        file.write(block);
        done += block.size();
    }
    return path;
}

QByteArray digest(const QString& path)
{
    QFile file(path);
    QCryptographicHash hash(QCryptographicHash::Sha256);
    return file.open(QIODevice::ReadOnly) && hash.addData(&file) ? hash.result() : QByteArray();
}

HttpAnswer curl(const QStringList& arguments)
{
    QProcess process;
    process.start(QStringLiteral("curl"), QStringList{QStringLiteral("-s"), QStringLiteral("-i"), QStringLiteral("-H"),
                                                      QStringLiteral("Expect:")}
                                              + arguments
                                              + QStringList{QStringLiteral("http://127.0.0.1:10008/upLoadFile")});
    process.waitForFinished(120000);
    HttpAnswer answer;
    answer.ok = HttpClient::parse(process.readAllStandardOutput(), &answer);
    return answer;
}
} // namespace

class AgentUpload : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { QVERIFY2(agent.start(), agent.log().constData()); }
    void cleanupTestCase() { agent.stop(); }
    void uploads_data();
    void uploads();
    void replacesAnExistingFile();
    void withoutAFileField_data();
    void withoutAFileField();

private:
    AgentProcess agent;
};

void AgentUpload::uploads_data()
{
    QTest::addColumn<qint64>("size");
    QTest::newRow("small") << qint64(1000);
    QTest::newRow("empty") << qint64(0);
    QTest::newRow("100 MiB") << qint64(100) * 1024 * 1024;
}

void AgentUpload::uploads()
{
    QFETCH(qint64, size);
    const QString source = makeFile(QStringLiteral("source.bin"), size);
    const QString target = root() + QStringLiteral("/uploaded/") + QTest::currentDataTag() + QStringLiteral(".bin");
    QVERIFY(QDir().mkpath(root() + QStringLiteral("/uploaded")));
    const HttpAnswer answer =
        curl({QStringLiteral("-F"), QStringLiteral("file=@") + source, QStringLiteral("-H"),
              QStringLiteral("FileName: ") + target});
    QVERIFY(answer.ok);
    QCOMPARE(answer.status, 200);
    QCOMPARE(answer.body, QByteArray("1"));
    QVERIFY(!answer.hasHeader("Content-Type"));
    QCOMPARE(QFileInfo(target).size(), size);
    QCOMPARE(digest(target), digest(source));
    QVERIFY(QFileInfo(target).permissions() & QFileDevice::ExeOther);
    QCOMPARE(leftovers(), QStringList());
}

void AgentUpload::replacesAnExistingFile()
{
    const QString target = root() + QStringLiteral("/existing.txt");
    QFile old(target);
    QVERIFY(old.open(QIODevice::WriteOnly));
    old.write("old content that is longer than the new one");
    old.close();
    const QString source = makeFile(QStringLiteral("new.bin"), 10);
    const HttpAnswer answer =
        curl({QStringLiteral("-F"), QStringLiteral("file=@") + source, QStringLiteral("-H"),
              QStringLiteral("FileName: ") + target});
    QCOMPARE(answer.body, QByteArray("1"));
    QCOMPARE(digest(target), digest(source));
    QCOMPARE(leftovers(), QStringList());
}

void AgentUpload::withoutAFileField_data()
{
    QTest::addColumn<QStringList>("arguments");
    const QString source = QStringLiteral("@/etc/hostname");
    const QString target = QStringLiteral("FileName: ") + root() + QStringLiteral("/never.txt");
    QTest::newRow("no FileName header") << QStringList{QStringLiteral("-F"), QStringLiteral("file=") + source};
    QTest::newRow("target folder missing")
        << QStringList{QStringLiteral("-F"), QStringLiteral("file=") + source, QStringLiteral("-H"),
                       QStringLiteral("FileName: ") + root() + QStringLiteral("/no/such/dir/x")};
    QTest::newRow("other field name") << QStringList{QStringLiteral("-F"), QStringLiteral("other=") + source,
                                                     QStringLiteral("-H"), target};
    QTest::newRow("form field only") << QStringList{QStringLiteral("-F"), QStringLiteral("file=text"),
                                                    QStringLiteral("-H"), target};
    QTest::newRow("not multipart") << QStringList{QStringLiteral("-d"), QStringLiteral("file=x"),
                                                  QStringLiteral("-H"), target};
}

// Nothing to move, or nowhere to move it: "0", and no file left anywhere.
void AgentUpload::withoutAFileField()
{
    QFETCH(QStringList, arguments);
    const HttpAnswer answer = curl(arguments);
    QCOMPARE(answer.status, 200);
    QCOMPARE(answer.body, QByteArray("0"));
    QVERIFY(!QFile::exists(root() + QStringLiteral("/never.txt")));
    // The request's temporary file goes once the answer is out; a slow (emulated) agent takes a moment.
    QTRY_COMPARE_WITH_TIMEOUT(leftovers(), QStringList(), 5000);
}

QTEST_GUILESS_MAIN(AgentUpload)
#include "tst_agent_upload.moc"
