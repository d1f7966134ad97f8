#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>

// Watches the private system bus with dbus-monitor and records the method calls made on one
// interface, each as "member(arg, arg, ...)".
class CallRecorder
{
public:
    explicit CallRecorder(const QString& interface);
    ~CallRecorder();

    bool start();
    // The calls seen so far, after waiting until the bus has been quiet for a moment.
    QStringList calls(int settleMs = 300);
    void clear();

private:
    void consume();

    QString interface;
    QProcess monitor;
    QByteArray pending;
    QStringList recorded;
};
