// Every Qt module the phone programs use, and the 5.12 forms of API that newer Qt changed: all of
// it compiles with qt512guard.h force-included (check-guard allowed).
#include <QtCore>
#include <QtDBus>
#include <QtGui>
#include <QtNetwork>
#include <QtQml>
#include <QtQuick>

class Probe : public QObject
{
    Q_OBJECT
};

void probe(QTextStream& out, QTcpSocket* socket, QObject* receiver, const QDate& date, QImage image)
{
    out << hex << 255 << endl;
    const QStringList parts = QString(QStringLiteral("a,,b")).split(QLatin1Char(','), QString::SkipEmptyParts);
    QMutex mutex(QMutex::Recursive);
    QObject::connect(socket, SIGNAL(error(QAbstractSocket::SocketError)), receiver, SLOT(deleteLater()));
    const QDateTime start(date);
    QList<int> list{1, 2};
    list.swap(0, 1);
    image = image.convertToFormat(QImage::Format_RGB32);
    const QByteArray bytes = QByteArray::fromBase64(QByteArrayLiteral("YQ=="));
    Q_UNUSED(parts) Q_UNUSED(start) Q_UNUSED(bytes)
}
