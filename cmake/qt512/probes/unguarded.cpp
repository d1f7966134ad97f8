// Checks on other conditions, or on versions up to 5.12, guard nothing.
// Scanned by check-qt512 --self-test, never compiled.
#if QT_VERSION >= QT_VERSION_CHECK(5, 12, 0)
    out << Qt::endl;  // newer
#endif
#ifdef Q_OS_LINUX
    QRecursiveMutex mutex;  // newer
#else
    list.swapItemsAt(0, 1);  // newer
#endif
#if QT_VERSION < QT_VERSION_CHECK(5, 14, 0)
    out << endl;
#else
    out << Qt::endl;
#endif
    out << Qt::flush;  // newer
