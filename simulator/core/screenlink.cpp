#include "screenlink.h"

#include <QDBusMetaType>
#include <QDBusPendingCallWatcher>
#include <QDBusServiceWatcher>

namespace {
const char* const kService = "com.orvana.sim.Screen";
const char* const kPath = "/screen";
const char* const kInterface = "com.orvana.sim.Screen";
// Well below the callers' own time-out, so they always get our answer.
const int kTimeoutMs = 5000;
}

ScreenLink::ScreenLink(const QDBusConnection& bus, QObject* parent)
    : QObject(parent)
    , m_bus(bus)
    , m_watcher(new QDBusServiceWatcher(QLatin1String(kService), bus,
                                        QDBusServiceWatcher::WatchForRegistration, this))
{
    connect(m_watcher, &QDBusServiceWatcher::serviceRegistered, this, &ScreenLink::appeared);
}

QDBusMessage ScreenLink::message(const QString& method, const QVariantList& args) const
{
    QDBusMessage message = QDBusMessage::createMethodCall(QLatin1String(kService), QLatin1String(kPath),
                                                          QLatin1String(kInterface), method);
    message.setArguments(args);
    message.setAutoStartService(false);
    return message;
}

void ScreenLink::ask(const QString& method, const QVariantList& args, const Done& done)
{
    auto* watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(message(method, args), kTimeoutMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [watcher, done]() {
        done(watcher->reply());
        watcher->deleteLater();
    });
}

void ScreenLink::forward(const QDBusMessage& request, const QString& method, const QVariantList& args,
                         const QVariant& empty)
{
    request.setDelayedReply(true);
    const QString signature = empty.isValid() ? QString::fromLatin1(QDBusMetaType::typeToSignature(empty.userType()))
                                              : QString();
    QDBusConnection bus = m_bus;
    ask(method, args, [bus, request, signature, empty](const QDBusMessage& reply) mutable {
        if (reply.type() == QDBusMessage::ReplyMessage && reply.signature() == signature)
            bus.send(request.createReply(reply.arguments()));
        else
            bus.send(empty.isValid() ? request.createReply(empty) : request.createReply());
    });
}

void ScreenLink::send(const QString& method, const QVariantList& args)
{
    m_bus.send(message(method, args));
}
