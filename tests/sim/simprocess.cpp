#include "simprocess.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusPendingCallWatcher>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QProcessEnvironment>
#include <QThread>

SimProcess::SimProcess()
{
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process.setStandardOutputFile(QProcess::nullDevice());
}

SimProcess::~SimProcess()
{
    stop();
}

bool SimProcess::start(const QStringList& environment)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const QString& entry : environment)
        env.insert(entry.section(QLatin1Char('='), 0, 0), entry.section(QLatin1Char('='), 1));
    m_process.setProcessEnvironment(env);
    m_process.start(QStringLiteral(ORVANA_SIM_PATH), QStringList());
    if (!m_process.waitForStarted(5000))
        return false;
    QDBusConnectionInterface* bus = QDBusConnection::systemBus().interface();
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 10000) {
        if (bus->isServiceRegistered(QStringLiteral("com.orvana.compositor")))
            return true;
        if (m_process.state() == QProcess::NotRunning)
            return false;
        QCoreApplication::processEvents();
        QThread::msleep(10);
    }
    return false;
}

void SimProcess::stop()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.terminate();
    if (!m_process.waitForFinished(5000)) {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
    // The bus drops the names once it sees the connection close.
    QDBusConnectionInterface* bus = QDBusConnection::systemBus().interface();
    for (int i = 0; i < 500 && bus->isServiceRegistered(QStringLiteral("com.orvana.compositor")); ++i)
        QThread::msleep(10);
}

qint64 SimProcess::pid() const
{
    return m_process.processId();
}

QString SimProcess::root()
{
    return qEnvironmentVariable("ORVANA_DEVICE_ROOT");
}

QString SimProcess::logPath()
{
    return root() + QStringLiteral("/data/log/message");
}

QString SimProcess::logText()
{
    QFile file(logPath());
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

QDBusMessage SimProcess::call(const QString& service, const QString& path, const QString& interface,
                              const QString& method, const QVariantList& args)
{
    QDBusMessage message = QDBusMessage::createMethodCall(service, path, interface, method);
    message.setArguments(args);
    // The watcher reports a reply that came early too (queued), which a blocking call with its
    // own event loop may miss.
    QDBusPendingCallWatcher watcher(QDBusConnection::systemBus().asyncCall(message, 15000));
    if (!watcher.isFinished()) {
        QEventLoop loop;
        QObject::connect(&watcher, &QDBusPendingCallWatcher::finished, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return watcher.reply();
}

QDBusMessage SimProcess::compositor(const QString& interface, const QString& method, const QVariantList& args)
{
    return call(QStringLiteral("com.orvana.compositor"), QStringLiteral("/com/orvana/compositor"),
                QStringLiteral("com.orvana.compositor.") + interface, method, args);
}

QDBusMessage SimProcess::zelvik(const QString& method, const QVariantList& args)
{
    return compositor(QStringLiteral("ZelvikInterface"), method, args);
}

QVariant SimProcess::value(const QDBusMessage& reply)
{
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return QVariant();
    return reply.arguments().constFirst();
}
