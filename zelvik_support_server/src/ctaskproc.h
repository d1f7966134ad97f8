#pragma once

#include <QAbstractSocket>
#include <QByteArray>
#include <QObject>
#include <QString>

class QTcpSocket;
class QTimer;

// One relayed connection: the accepted socket from the test host joined byte for byte to an
// outgoing socket to the target.
class CTaskProc : public QObject
{
    Q_OBJECT
public:
    CTaskProc(int id, QTcpSocket*& socket, QString ip, int port, QObject* parent);
    ~CTaskProc() override;

    bool isValid() const { return m_valid; }

signals:
    void OnTaskEnd(int id);
    void OnReadLocalClientData(int, QByteArray&);
    void OnReadSvrClientData(int, QByteArray&);
    void OnTaskStartOk(int id);

private slots:
    void recvClientData();
    void recvSvrData();
    void diconnect();
    void procConnectErr(QAbstractSocket::SocketError);
    void procConnectOk();

private:
    using Relayed = void (CTaskProc::*)(int, QByteArray&);

    void connectToTarget(quint16 localPort);
    void relay(QTcpSocket* from, QTcpSocket* to, Relayed notify, qint64 maxPending);
    void passOnRest();
    void drainProgress();
    void end();

    int m_id;
    QString m_ip;
    int m_port;
    bool m_valid;
    QTcpSocket* pLocalClient;
    QTcpSocket* pToSvrClient;
    quint16 m_localPort = 0;
    // Set once either side closed: both sides are being written out and closed.
    bool m_closing = false;
    QTimer* m_drainTimer;
};
