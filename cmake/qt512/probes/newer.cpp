// Lines marked "newer" use Qt API that 5.12 lacks; the rest is 5.12 API that looks alike.
// Scanned by check-qt512 --self-test, never compiled.
void probe()
{
    out << value << Qt::endl;  // newer
    out << value << endl;
    qDebug() << Qt::hex << 255;  // newer
    qDebug() << hex << 255;
    parts = text.split(QLatin1Char(','), Qt::SkipEmptyParts);  // newer
    parts = text.split(QLatin1Char(','), QString::SkipEmptyParts);
    connect(socket, &QAbstractSocket::errorOccurred, this, &X::failed);  // newer
    connect(socket, &QTcpSocket::errorOccurred, this, &X::failed);  // newer
    connect(reply, SIGNAL(errorOccurred(QNetworkReply::NetworkError)), this, SLOT(failed()));  // newer
    connect(process, &QProcess::errorOccurred, this, &X::failed);
    connect(socket, SIGNAL(error(QAbstractSocket::SocketError)), this, SLOT(failed()));
    QRecursiveMutex mutex;  // newer
    QMutex mutex2(QMutex::Recursive);
    const QDateTime start = date.startOfDay();  // newer
    const QDateTime start2 = QDateTime(date);
    list.swapItemsAt(0, 1);  // newer
    list.swap(0, 1);
    image.convertTo(QImage::Format_RGB32);  // newer
    image = image.convertToFormat(QImage::Format_RGB32);
    const QPixmap p = label->pixmap(Qt::ReturnByValue);  // newer
    QThreadPool::globalInstance()->start([] { work(); });  // newer
    QThreadPool::globalInstance()->start(new Job);
    auto *job = QRunnable::create([] { work(); });  // newer
    const bool has = QLatin1String("abc").contains(QLatin1Char('b'));  // newer
    const bool has2 = QString(QLatin1String("abc")).contains(QLatin1Char('b'));
    const QSet<int> set(list.begin(), list.end());  // newer
    const QSet<int> set2 = list.toSet();
    const QStringList copy = QStringList(parts.cbegin(), parts.cend());  // newer
    const auto r = QByteArray::fromBase64Encoding(data);  // newer
    const QByteArray r2 = QByteArray::fromBase64(data);
    const QStringList args = QProcess::splitCommand(line);  // newer
    QFile::moveToTrash(path);  // newer
    QFile::remove(path);
    const QPointF at = wheel->globalPosition();  // newer
    const QPointF at2 = wheel->globalPosF();
    manager.setTransferTimeout(5000);  // newer
    qmlRegisterSingletonInstance("a", 1, 0, "A", object);  // newer
    view.setInitialProperties({});  // newer
    // A comment may name Qt::endl or QRecursiveMutex freely.
    const char *text = "QT_VERSION";
}

class Item : public QObject
{
    Q_OBJECT
    QML_ELEMENT  // newer
};
const char QML_SUFFIX[] = "_QML";
