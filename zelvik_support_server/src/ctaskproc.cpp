#include "ctaskproc.h"

#include <QDebug>
#include <QHostAddress>
#include <QSignalBlocker>
#include <QTcpSocket>
#include <QTimer>

#include <limits>

namespace {

// The first relayed connection leaves from this local port; while it is taken (another session
// to the same target holds it) a free port is used instead.
const quint16 FIXED_LOCAL_PORT = 8080;

// Flow control: a side is read only while the other side has less than MAX_PENDING bytes waiting
// to be sent, and Qt stops reading a socket whose buffer holds READ_BUFFER_SIZE bytes, so a slow
// receiver throttles the sender through TCP instead of filling the relay's memory.
const qint64 READ_BUFFER_SIZE = 256 * 1024;
const qint64 MAX_PENDING = 1024 * 1024;
const qint64 UNLIMITED = std::numeric_limits<qint64>::max();

// After one side closed, the other side gets what was relayed before the close, for as long as
// its reader keeps taking bytes: the task ends when nothing was written for this long.
const int DRAIN_STALL_MS = 30000;

// Connect errors that come from the shared local port rather than from the target (a second
// connection from the same local port to the same target fails with EADDRNOTAVAIL, which Qt
// reports as an unknown error).
bool isLocalAddressClash(QAbstractSocket::SocketError error)
{
    return error == QAbstractSocket::AddressInUseError || error == QAbstractSocket::SocketAddressNotAvailableError
        || error == QAbstractSocket::UnknownSocketError;
}

} // namespace

CTaskProc::CTaskProc(int id, QTcpSocket*& socket, QString ip, int port, QObject* parent)
    : QObject(parent), m_id(id), m_ip(ip), m_port(port), m_valid(true), pLocalClient(socket),
      pToSvrClient(nullptr), m_drainTimer(new QTimer(this))
{
    m_drainTimer->setSingleShot(true);
    m_drainTimer->setInterval(DRAIN_STALL_MS);
    connect(m_drainTimer, &QTimer::timeout, this, &CTaskProc::end);
    Q_ASSERT_X(socket != nullptr, "CTaskProc", "socket!=nullptr");
    pLocalClient->setParent(nullptr);
    pLocalClient->setReadBufferSize(READ_BUFFER_SIZE);
    // Interactive sessions: the relay must not add Nagle delays of its own.
    pLocalClient->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    connect(pLocalClient, &QTcpSocket::readyRead, this, &CTaskProc::recvClientData);
    connect(pLocalClient, &QTcpSocket::disconnected, this, &CTaskProc::diconnect);
    // The target's side, held back by flow control, goes on once this side has drained.
    connect(pLocalClient, &QTcpSocket::bytesWritten, this, &CTaskProc::recvSvrData);
    connect(pLocalClient, &QTcpSocket::bytesWritten, this, &CTaskProc::drainProgress);

    connectToTarget(FIXED_LOCAL_PORT);
}

CTaskProc::~CTaskProc()
{
    pToSvrClient->close();
    pLocalClient->close();
    delete pToSvrClient;
    delete pLocalClient;
}

void CTaskProc::connectToTarget(quint16 localPort)
{
    // Each attempt gets a fresh socket: a socket that was bound once cannot be bound again.
    delete pToSvrClient;
    pToSvrClient = new QTcpSocket;
    pToSvrClient->setReadBufferSize(READ_BUFFER_SIZE);
    connect(pToSvrClient, &QTcpSocket::readyRead, this, &CTaskProc::recvSvrData);
    connect(pToSvrClient, &QTcpSocket::disconnected, this, &CTaskProc::diconnect);
    connect(pToSvrClient, SIGNAL(error(QAbstractSocket::SocketError)), this,
            SLOT(procConnectErr(QAbstractSocket::SocketError)));
    connect(pToSvrClient, &QTcpSocket::connected, this, &CTaskProc::procConnectOk);
    // The test host's side, held back by flow control, goes on once this side has drained.
    connect(pToSvrClient, &QTcpSocket::bytesWritten, this, &CTaskProc::recvClientData);
    connect(pToSvrClient, &QTcpSocket::bytesWritten, this, &CTaskProc::drainProgress);

    m_localPort = localPort;
    const QHostAddress address(m_ip);
    bool bound;
    {
        // A failed bind reports an error signal; that is not a failed task.
        const QSignalBlocker blocker(pToSvrClient);
        bound = pToSvrClient->bind(address, localPort, QAbstractSocket::ShareAddress | QAbstractSocket::ReuseAddressHint);
    }
    if (!bound && localPort != 0) {
        connectToTarget(0);
        return;
    }
    pToSvrClient->connectToHost(address, static_cast<quint16>(m_port), QIODevice::ReadWrite);
}

void CTaskProc::relay(QTcpSocket* from, QTcpSocket* to, Relayed notify, qint64 maxPending)
{
    while (from->bytesAvailable() > 0 && to->bytesToWrite() < maxPending) {
        QByteArray bytes = from->read(from->bytesAvailable());
        to->write(bytes);
        emit(this->*notify)(m_id, bytes);
    }
}

void CTaskProc::recvClientData()
{
    // Bytes from the test host wait in their socket until the target is connected.
    if (pToSvrClient->state() == QAbstractSocket::ConnectedState)
        relay(pLocalClient, pToSvrClient, &CTaskProc::OnReadLocalClientData, MAX_PENDING);
}

void CTaskProc::recvSvrData()
{
    relay(pToSvrClient, pLocalClient, &CTaskProc::OnReadSvrClientData, MAX_PENDING);
}

void CTaskProc::passOnRest()
{
    if (pToSvrClient->state() == QAbstractSocket::ConnectedState)
        relay(pLocalClient, pToSvrClient, &CTaskProc::OnReadLocalClientData, UNLIMITED);
    relay(pToSvrClient, pLocalClient, &CTaskProc::OnReadSvrClientData, UNLIMITED);
    pToSvrClient->flush();
    pLocalClient->flush();
}

void CTaskProc::diconnect()
{
    if (!m_valid)
        return;
    if (!m_closing) {
        m_closing = true;
        // What one side sent just before it closed still reaches the other side: each side is
        // closed only once it has written out what it holds, and the task ends after both. A
        // socket with nothing left to write reports its end from within disconnectFromHost.
        passOnRest();
        m_drainTimer->start();
        pToSvrClient->disconnectFromHost();
        if (!m_valid)
            return;
        pLocalClient->disconnectFromHost();
        if (!m_valid)
            return;
    }
    if (pToSvrClient->state() == QAbstractSocket::UnconnectedState
        && pLocalClient->state() == QAbstractSocket::UnconnectedState)
        end();
}

void CTaskProc::drainProgress()
{
    if (m_closing && m_valid)
        m_drainTimer->start();
}

// Both sides are closed (or their readers stalled): the task reports its end, once.
void CTaskProc::end()
{
    if (!m_valid)
        return;
    m_valid = false;
    m_drainTimer->stop();
    pToSvrClient->abort();
    pLocalClient->abort();
    emit OnTaskEnd(m_id);
}

void CTaskProc::procConnectErr(QAbstractSocket::SocketError error)
{
    if (m_localPort == FIXED_LOCAL_PORT && pToSvrClient->state() != QAbstractSocket::ConnectedState
        && isLocalAddressClash(error)) {
        // Not from within the socket's own error report.
        m_localPort = 0;
        QMetaObject::invokeMethod(this, [this] { if (m_valid) connectToTarget(0); }, Qt::QueuedConnection);
        return;
    }
    qDebug().noquote() << Q_FUNC_INFO
                       << QStringLiteral("to svr: %1:%2: %3").arg(m_ip).arg(m_port).arg(pToSvrClient->errorString());
    // Closes the test host's side too, once it has what was relayed.
    diconnect();
}

void CTaskProc::procConnectOk()
{
    pToSvrClient->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    qDebug() << Q_FUNC_INFO << "OnTaskStartOk:" << m_id;
    emit OnTaskStartOk(m_id);
    recvClientData();
}
