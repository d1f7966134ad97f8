#pragma once

#include <QDBusConnection>
#include <QDBusMessage>
#include <QSharedPointer>
#include <QVariant>

// The answer to a D-Bus call that is given later (after an application has answered).
// Copies share the call; only the first send() answers it.
class PendingReply
{
public:
    PendingReply() = default;
    PendingReply(const QDBusConnection& bus, const QDBusMessage& call);

    void send(const QVariant& value = QVariant()) const;

private:
    struct Call
    {
        QDBusConnection bus;
        QDBusMessage message;
        bool answered = false;
    };
    QSharedPointer<Call> call;
};
