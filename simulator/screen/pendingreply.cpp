#include "pendingreply.h"

#include <QSharedPointer>

PendingReply::PendingReply(const QDBusConnection& bus, const QDBusMessage& message)
    : call(new Call{bus, message})
{
    message.setDelayedReply(true);
}

void PendingReply::send(const QVariant& value) const
{
    if (!call || call->answered)
        return;
    call->answered = true;
    call->bus.send(value.isValid() ? call->message.createReply(value) : call->message.createReply());
}
