#pragma once

#include <QProcess>
#include <QStringList>

// Watches the private system bus with dbus-monitor and records the method calls that match a
// rule (e.g. "interface='x.y'" or "sender=':1.4'"), each as "member(type value, ...)", such as
// "setVolume(int32 1, int32 7)". The bus daemon's own interface is left out.
class CallRecorder
{
public:
    explicit CallRecorder(const QString& rule) : rule(rule) {}
    ~CallRecorder();

    bool start();
    // The calls seen so far, after waiting until the bus has been quiet for a moment.
    QStringList calls(int settleMs = 300);
    void clear() { calls(100); recorded.clear(); }

private:
    QString rule;
    QProcess monitor;
    QByteArray pending;
    QStringList recorded;
};
