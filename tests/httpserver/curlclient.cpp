#include "curlclient.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>

QByteArray runCurl(const QStringList& arguments, QByteArray* standardError, int timeoutMs)
{
    QProcess process;
    process.start("curl", arguments);
    QElapsedTimer timer;
    timer.start();
    while (process.state() != QProcess::NotRunning && timer.elapsed() < timeoutMs) {
        QCoreApplication::processEvents();
        process.waitForFinished(5);
    }
    if (process.state() != QProcess::NotRunning) {
        process.kill();
        process.waitForFinished();
    }
    if (standardError)
        *standardError = process.readAllStandardError();
    return process.readAllStandardOutput();
}
