#include "zelvik_support_server_workspace.h"

#include "agentlog.h"
#include "proxyserver.h"
#include "uimonitor.h"

#include <httplistener.h>
#include <httprequest.h>

#include <QDBusConnection>
#include <QDBusInterface>
#include <QDBusReply>
#include <QHostAddress>
#include <QSettings>
#include <QTcpServer>

#include <cstdlib>
#include <unistd.h>

namespace {
const quint16 agentPort = 10008;
}

zelvik_support_server_Workspace::zelvik_support_server_Workspace()
    : ORVANA::CWorkspace(nullptr)
{
    // Never deleted: the listener reads it for the life of the process.
    QSettings* settings = new QSettings(QStringLiteral("orvana"), QStringLiteral("zelvik_support"));

    // An earlier agent still serving holds the port.
    QTcpServer* probe = new QTcpServer();
    const bool portInUse = !probe->listen(QHostAddress::Any, agentPort);
    probe->close();
    delete probe;

    QDBusConnection bus = QDBusConnection::systemBus();
    QDBusInterface* compositor =
        new QDBusInterface(SYSTEM_MAIN_SERVICE, SYSTEM_MAIN_PATH, SYSTEM_MAIN_INTERFACE, bus);
    QDBusInterface* automation =
        new QDBusInterface(SYSTEM_MAIN_SERVICE, SYSTEM_MAIN_PATH, SYSTEM_MAIN_ZVK_INTERFACE, bus);

    qCDebug(lcAgent) << Q_FUNC_INFO << "port in use:" << portInUse;
    if (portInUse) {
        qCDebug(lcAgent) << Q_FUNC_INFO << settings->allKeys();
        qCDebug(lcAgent) << Q_FUNC_INFO << "selfPid:" << settings->value(QStringLiteral("selfPid"));
        qCDebug(lcAgent) << Q_FUNC_INFO << "own pid:" << getpid();
        compositor->call(QStringLiteral("killProcessesByPid"),
                         settings->value(QStringLiteral("selfPid")).toInt());
        compositor->disconnect();
    }
    delete compositor;

    settings->setValue(QStringLiteral("selfPid"), static_cast<int>(getpid()));
    settings->sync();
    qCDebug(lcAgent) << Q_FUNC_INFO << "own pid:" << getpid();
    qCDebug(lcAgent) << Q_FUNC_INFO << settings->allKeys();

    const QDBusReply<bool> switchOn = automation->call(QStringLiteral("getZelvikSwitch"));
    delete automation;
    if (!switchOn.value())
        std::exit(0);

    // The group stays open: the listener reads its keys by their short names.
    settings->beginGroup(QStringLiteral("listener"));
    settings->setValue(QStringLiteral("port"), agentPort);
    settings->setValue(QStringLiteral("minThreads"), 4);
    settings->setValue(QStringLiteral("maxThreads"), 100);
    settings->setValue(QStringLiteral("cleanupInterval"), 60000);
    settings->setValue(QStringLiteral("readTimeout"), 60000);
    settings->setValue(QStringLiteral("maxRequestSize"), 16000);
    settings->setValue(QStringLiteral("maxMultiPartSize"), 2147483647);
    settings->setValue(QStringLiteral("path"), QStringLiteral(":/website/"));

    UIMonitor* monitor = new UIMonitor(this);
    listener = new tarsel::HttpListener(settings, monitor, nullptr);
    m_proxy = new ProxyServer(nullptr);
}

void zelvik_support_server_Workspace::onLaunchComplete(ORVANA::CWorkspace::Option option,
                                                       const QStringList&)
{
    if (option == ORVANA::CWorkspace::LaunchFromHome)
        qCDebug(lcAgent) << Q_FUNC_INFO << "Start by Home";
}
