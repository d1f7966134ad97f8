// The limit of a thread-per-connection Qt server: one QThread per connection, a fixed answer
// for every request head, no parsing beyond finding the end of the head.
#include <QCoreApplication>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>

class Connection : public QObject
{
public:
    explicit Connection(qintptr descriptor)
    {
        socket = new QTcpSocket(this);
        socket->setSocketDescriptor(descriptor);
        socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        connect(socket, &QTcpSocket::readyRead, this, &Connection::read);
        connect(socket, &QTcpSocket::disconnected, this, [this]() { thread()->quit(); });
    }

private:
    void read()
    {
        buffer += socket->readAll();
        int end;
        QByteArray out;
        while ((end = buffer.indexOf("\r\n\r\n")) >= 0) {
            const bool close = buffer.left(end).toLower().contains("connection: close");
            buffer.remove(0, end + 4);
            out += close ? "HTTP/1.1 200 OK\r\nConnection: close\r\nContent-Length: 1\r\n\r\nx"
                         : "HTTP/1.1 200 OK\r\nContent-Length: 1\r\n\r\nx";
            if (close) {
                socket->write(out);
                socket->disconnectFromHost();
                return;
            }
        }
        if (!out.isEmpty())
            socket->write(out);
    }

    QTcpSocket* socket;
    QByteArray buffer;
};

class Server : public QTcpServer
{
protected:
    void incomingConnection(qintptr descriptor) override
    {
        QThread* thread = new QThread();
        Connection* connection = new Connection(descriptor);
        connection->moveToThread(thread);
        connect(thread, &QThread::finished, connection, &QObject::deleteLater);
        connect(thread, &QThread::finished, thread, &QObject::deleteLater);
        thread->start();
    }
};

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    Server server;
    if (argc < 2 || !server.listen(QHostAddress::LocalHost, quint16(atoi(argv[1]))))
        return 1;
    return application.exec();
}
