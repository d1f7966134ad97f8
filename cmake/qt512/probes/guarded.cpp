// Newer Qt API only where a QT_VERSION check keeps it from Qt 5.12: nothing here is reported.
// Scanned by check-qt512 --self-test, never compiled.
#if QT_VERSION >= QT_VERSION_CHECK(5, 14, 0)
    parts = text.split(QLatin1Char(','), Qt::SkipEmptyParts);
#else
    parts = text.split(QLatin1Char(','), QString::SkipEmptyParts);
#endif

#if QT_VERSION < QT_VERSION_CHECK(5, 15, 0)
    connect(socket, SIGNAL(error(QAbstractSocket::SocketError)), this, SLOT(failed()));
#else
    connect(socket, &QAbstractSocket::errorOccurred, this, &X::failed);
#ifdef Q_OS_LINUX
    QRecursiveMutex mutex;
#endif
#endif

#if QT_VERSION > QT_VERSION_CHECK(5, 13, 2)
    out << Qt::endl;
#elif defined(SOMETHING)
    out << endl;
#endif
