#include "simcall.h"

#include <QDBusConnection>
#include <QDBusPendingCall>

namespace {
const char* const kService = "com.orvana.sim";
const char* const kPath = "/com/orvana/sim";
const char* const kInterface = "com.orvana.sim.System";
// Longer than the simulator's own wait for the simulated screen, so its answer always arrives.
const int kTimeoutMs = 8000;
}

QDBusMessage SimCall::call(const QString& method, const QVariantList& args)
{
    QDBusMessage message = QDBusMessage::createMethodCall(QLatin1String(kService), QLatin1String(kPath),
                                                          QLatin1String(kInterface), method);
    message.setArguments(args);
    // Not QDBus::Block: Qt's blocking call stores error replies in the connection's one lastError
    // without a lock, and concurrent failing calls (the simulator gone) corrupt the heap.
    QDBusPendingCall pending = QDBusConnection::systemBus().asyncCall(message, kTimeoutMs);
    pending.waitForFinished();
    return pending.reply();
}

QVariant SimCall::first(const QDBusMessage& reply)
{
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return QVariant();
    return reply.arguments().constFirst();
}
