#pragma once

#include <QMap>
#include <QObject>

class CTaskProc;
class QTcpServer;
class QTimer;

// Relays every connection on port 10009 to the device's SSH port, one CTaskProc per connection.
class ProxyServer : public QObject
{
    Q_OBJECT
public:
    explicit ProxyServer(QObject* parent);
    ~ProxyServer() override;

    // Tasks that have not ended yet.
    int taskCount() const { return m_taskMap.size(); }

private slots:
    void acceptConnect();
    void ProcTaskEnd(int id);
    void checkTask();

private:
    QTcpServer* m_TcpServer;
    int m_clientId;
    QMap<int, CTaskProc*> m_taskMap;
    QTimer* m_checkTimer;
};
