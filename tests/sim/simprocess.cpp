#include "simprocess.h"

#include "../common/waituntil.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QFile>

namespace {
bool simOnBus() { return QDBusConnection::systemBus().interface()->isServiceRegistered(QStringLiteral("com.orvana.compositor")); }
}

SimProcess::SimProcess()
{
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process.setStandardOutputFile(QProcess::nullDevice());
}

bool SimProcess::start(const QStringList& environment)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const QString& entry : environment)
        env.insert(entry.section(QLatin1Char('='), 0, 0), entry.section(QLatin1Char('='), 1));
    m_process.setProcessEnvironment(env);
    m_process.start(QStringLiteral(ORVANA_SIM_PATH), QStringList());
    return m_process.waitForStarted(5000) && waitUntil([this] { return simOnBus() || m_process.state() == QProcess::NotRunning; }) && simOnBus();
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
    waitUntil([] { return !simOnBus(); }, 5000);
}

QString SimProcess::logText()
{
    QFile file(logPath());
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

QDBusMessage SimProcess::call(const QString& service, const QString& path, const QString& interface, const QString& method,
                              const QVariantList& args)
{
    QDBusMessage message = QDBusMessage::createMethodCall(service, path, interface, method);
    message.setArguments(args);
    return QDBusConnection::systemBus().call(message, QDBus::Block, 15000);
}

QDBusMessage SimProcess::compositor(const QString& interface, const QString& method, const QVariantList& args)
{
    return call(QStringLiteral("com.orvana.compositor"), QStringLiteral("/com/orvana/compositor"), QStringLiteral("com.orvana.compositor.") + interface,
                method, args);
}
