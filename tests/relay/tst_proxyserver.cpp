// The relay against a target that the test itself serves on the relay address, port 22.
// Run inside its own network namespace (netns-run): ports 10009, 22 and 8080 are fixed.

#include "proxyserver.h"

#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>

#include "waituntil.h"

#include <memory>

namespace {

const quint16 RELAY_PORT = 10009;
const quint16 SSH_PORT = 22;
const quint16 FIXED_LOCAL_PORT = 8080;
const int SLOW_READER_BUFFER = 16 * 1024;

QStringList capturedLog;
QtMessageHandler previousHandler = nullptr;

void captureMessage(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    capturedLog << message;
    previousHandler(type, context, message);
}

int countLines(const QString& pattern) { return capturedLog.filter(QRegularExpression(pattern)).size(); }

QByteArray randomBytes(int size)
{
    QByteArray data(size, Qt::Uninitialized);
    QRandomGenerator generator(size);
    generator.fillRange(reinterpret_cast<quint32*>(data.data()), size / 4);
    return data;
}

QByteArray readExactly(QTcpSocket* socket, int size)
{
    QByteArray data;
    waitUntil([&] {
        data += socket->readAll();
        return data.size() >= size;
    });
    return data;
}

bool isClosed(QTcpSocket* socket) { return waitUntil([socket] { return socket->state() == QAbstractSocket::UnconnectedState; }, 5000); }

// One relayed connection: the test host's socket and the target's accepted socket.
struct Session {
    std::unique_ptr<QTcpSocket> client;
    std::unique_ptr<QTcpSocket> target;
};

} // namespace

class TestProxyServer : public QObject
{
    Q_OBJECT
    std::unique_ptr<ProxyServer> proxy;
    QTcpServer target;
    int nextId = 0;

    Session open(int receiveBuffer = 0, const QByteArray& first = QByteArray())
    {
        Session s;
        s.client.reset(new QTcpSocket);
        if (receiveBuffer > 0) {
            // The kernel's receive buffer must be set before the connection is made: on a bound socket.
            s.client->bind(QHostAddress::LocalHost);
            s.client->setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, receiveBuffer);
            s.client->setReadBufferSize(receiveBuffer);
        }
        s.client->connectToHost(QHostAddress::LocalHost, RELAY_PORT);
        // The test host may speak first, before the outgoing connection is up.
        s.client->write(first);
        // Ids in order from 0, one per accepted connection, never reused.
        const QString started = QStringLiteral("OnTaskStartOk: %1$").arg(nextId);
        if (waitUntil([&] { return target.hasPendingConnections() && countLines(started) == 1; })) {
            s.target.reset(target.nextPendingConnection());
            s.target->setParent(nullptr);
        }
        ++nextId;
        return s;
    }

private slots:
    void initTestCase()
    {
        previousHandler = qInstallMessageHandler(captureMessage);
        proxy.reset(new ProxyServer(nullptr));
    }

    void cleanupTestCase()
    {
        proxy.reset();
        qInstallMessageHandler(previousHandler);
    }

    void init() { QVERIFY2(target.listen(QHostAddress::LocalHost, SSH_PORT), qPrintable(target.errorString())); }

    void cleanup()
    {
        target.close();
        QVERIFY(waitUntil([this] { return proxy->taskCount() == 0; }));
    }

    // Bytes both ways at once, or a burst after which one side closes: the other side gets every
    // byte, then the close.
    void transfer_data()
    {
        QTest::addColumn<int>("up");
        QTest::addColumn<int>("down");
        QTest::addColumn<QString>("closer");
        QTest::addColumn<bool>("slowReader");
        QTest::newRow("one byte") << 1 << 5 << "" << false;
        QTest::newRow("ssh banner") << 32 << 36 << "" << false;
        QTest::newRow("8 MiB") << 8 * 1024 * 1024 << 8 * 1024 * 1024 + 4 << "" << false;
        QTest::newRow("test host closes, small") << 100 << 0 << "host" << false;
        QTest::newRow("target closes, small") << 0 << 100 << "target" << false;
        QTest::newRow("test host closes, 4 MiB") << 4 * 1024 * 1024 << 0 << "host" << false;
        QTest::newRow("target closes, 4 MiB") << 0 << 4 * 1024 * 1024 << "target" << false;
        // The relay still holds much of the burst when the target's close comes in.
        QTest::newRow("target closes, 6 MiB to a slow reader") << 0 << 6 * 1024 * 1024 << "target" << true;
    }

    void transfer()
    {
        QFETCH(int, up);
        QFETCH(int, down);
        QFETCH(QString, closer);
        QFETCH(bool, slowReader);
        const QByteArray toTarget = randomBytes(up), toClient = randomBytes(down);
        // A test host that stays speaks first, before the outgoing connection is up.
        Session s = open(slowReader ? SLOW_READER_BUFFER : 0, closer.isEmpty() ? toTarget : QByteArray());
        QVERIFY(s.target);
        if (closer == "host") {
            s.client->write(toTarget);
            s.client->disconnectFromHost();
        }
        s.target->write(toClient);
        if (closer == "target")
            s.target->disconnectFromHost();
        QByteArray atTarget, atClient;
        waitUntil([&] {
            atTarget += s.target->readAll();
            atClient += s.client->readAll();
            return atTarget.size() >= up && atClient.size() >= down;
        }, 20000);
        QCOMPARE(atTarget.size(), up);
        QCOMPARE(atClient.size(), down);
        QVERIFY(atTarget == toTarget && atClient == toClient);
        if (closer.isEmpty())
            return;
        QVERIFY(isClosed(closer == "host" ? s.target.get() : s.client.get()));
        // The fixed local port is free again: the next session leaves from it.
        Session next = open();
        QVERIFY(next.target);
        QCOMPARE(next.target->peerPort(), FIXED_LOCAL_PORT);
    }

    // The first session leaves from the fixed local port, the second from another. A target that does
    // not read must not hold up the other session (the relay never blocks).
    void twoSessionsAtOnce()
    {
        Session slow = open();
        Session fast = open();
        QVERIFY(slow.target && fast.target);
        QCOMPARE(slow.target->peerPort(), FIXED_LOCAL_PORT);
        QVERIFY(fast.target->peerPort() != FIXED_LOCAL_PORT);
        slow.client->write(randomBytes(16 * 1024 * 1024));
        slow.target->write("to the slow one");
        QTest::qWait(200);
        fast.client->write("ping");
        QCOMPARE(readExactly(fast.target.get(), 4), QByteArray("ping"));
        fast.target->write("pong");
        QCOMPARE(readExactly(fast.client.get(), 4), QByteArray("pong"));
        QCOMPARE(readExactly(slow.client.get(), 15), QByteArray("to the slow one"));
    }

    void targetUnreachableClosesClient_data()
    {
        QTest::addColumn<bool>("addressGone");
        QTest::newRow("connection refused") << false;
        // Without the relay address the connection fails at once, within the task's constructor.
        QTest::newRow("relay address gone") << true;
    }

    void targetUnreachableClosesClient()
    {
        QFETCH(bool, addressGone);
        target.close();
        auto address = [addressGone](const char* action) {
            if (addressGone)
                QProcess::execute("ip", {"addr", action, "127.0.0.1/8", "dev", "lo"});
        };
        address("del");
        const auto restore = qScopeGuard([&] { address("add"); });
        const QString errorLine = QStringLiteral("to svr: 127\\.0\\.0\\.1:22: ");
        const int errorsBefore = countLines(errorLine);
        QTcpSocket client;
        QSignalSpy connected(&client, &QTcpSocket::connected);
        client.connectToHost(addressGone ? QHostAddress::LocalHostIPv6 : QHostAddress::LocalHost, RELAY_PORT);
        QVERIFY(waitUntil([&] { return connected.count() == 1; }));
        QVERIFY(isClosed(&client));
        QCOMPARE(countLines(errorLine), errorsBefore + 1);
        // Failed within the task's constructor or later: either way the task is gone at once.
        QCOMPARE(proxy->taskCount(), 0);
        QCOMPARE(countLines(QStringLiteral("OnTaskStartOk: %1$").arg(nextId)), 0);
        ++nextId;
    }
};

QTEST_GUILESS_MAIN(TestProxyServer)
#include "tst_proxyserver.moc"