#pragma once

#include <QDBusMessage>
#include <QProcess>
#include <QStringList>
#include <QVariantList>

// Runs orvana-sim on the test's private system bus (the buses and the device root come from
// scripts/phone-env) and calls it.
class SimProcess
{
public:
    SimProcess();
    ~SimProcess() { stop(); }

    // Starts orvana-sim with extra "NAME=value" environment entries and waits until it owns its names.
    bool start(const QStringList& environment = QStringList());
    void stop();
    qint64 pid() const { return m_process.processId(); }

    static QString root() { return qEnvironmentVariable("ORVANA_DEVICE_ROOT"); }
    static QString logPath() { return root() + QStringLiteral("/data/log/message"); }
    static QString logText();

    static QDBusMessage call(const QString& service, const QString& path, const QString& interface, const QString& method,
                             const QVariantList& args = QVariantList());
    static QDBusMessage compositor(const QString& interface, const QString& method, const QVariantList& args = QVariantList());
    static QDBusMessage zelvik(const QString& method, const QVariantList& args = QVariantList())
    {
        return compositor(QStringLiteral("ZelvikInterface"), method, args);
    }
    // The first reply argument, or an invalid variant on error.
    static QVariant value(const QDBusMessage& reply)
    {
        return reply.type() == QDBusMessage::ReplyMessage ? reply.arguments().value(0) : QVariant();
    }

private:
    QProcess m_process;
};
