#include "proxyserver.h"

#include "ctaskproc.h"

#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#ifndef ZELVIK_RELAY_ADDRESS
#define ZELVIK_RELAY_ADDRESS "127.0.0.1"
#endif

namespace {
const quint16 RELAY_PORT = 10009;
const int SSH_PORT = 22;
const int CHECK_INTERVAL_MS = 10000;
} // namespace

ProxyServer::ProxyServer(QObject* parent)
    : QObject(parent), m_TcpServer(new QTcpServer), m_clientId(0), m_checkTimer(new QTimer)
{
    connect(m_checkTimer, &QTimer::timeout, this, &ProxyServer::checkTask);
    connect(m_TcpServer, &QTcpServer::newConnection, this, &ProxyServer::acceptConnect);
    m_TcpServer->listen(QHostAddress::Any, RELAY_PORT);
    m_checkTimer->start(CHECK_INTERVAL_MS);
}

ProxyServer::~ProxyServer()
{
    qDeleteAll(m_taskMap);
    delete m_checkTimer;
    delete m_TcpServer;
}

void ProxyServer::acceptConnect()
{
    while (QTcpSocket* socket = m_TcpServer->nextPendingConnection()) {
        auto* task = new CTaskProc(m_clientId, socket, QStringLiteral(ZELVIK_RELAY_ADDRESS), SSH_PORT, nullptr);
        connect(task, &CTaskProc::OnTaskEnd, this, &ProxyServer::ProcTaskEnd);
        m_taskMap.insert(m_clientId, task);
        // A connection that failed within the constructor reported its end before anyone listened.
        if (!task->isValid())
            ProcTaskEnd(m_clientId);
        ++m_clientId;
    }
}

void ProxyServer::ProcTaskEnd(int id)
{
    // The task is still delivering its own signal: release it from the event loop.
    if (CTaskProc* task = m_taskMap.take(id))
        task->deleteLater();
}

void ProxyServer::checkTask()
{
    for (auto it = m_taskMap.begin(); it != m_taskMap.end();) {
        if (it.value()->isValid()) {
            ++it;
        } else {
            it.value()->deleteLater();
            it = m_taskMap.erase(it);
        }
    }
}
