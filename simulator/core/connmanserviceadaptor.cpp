#include "connmanserviceadaptor.h"

#include "networks.h"

ConnmanServiceAdaptor::ConnmanServiceAdaptor(Networks* networks, int index, const QDBusConnection& bus, QObject* parent)
    : QDBusAbstractAdaptor(parent)
    , m_networks(networks)
    , m_index(index)
    , m_bus(bus)
{
}

void ConnmanServiceAdaptor::answer(bool ok, const QDBusMessage& message)
{
    if (ok)
        return;
    message.setDelayedReply(true);
    m_bus.send(message.createErrorReply(QStringLiteral("net.connman.Error.NotFound"),
                                        QStringLiteral("The service is not available")));
}

void ConnmanServiceAdaptor::Connect(const QDBusMessage& message)
{
    answer(m_networks->connectService(m_index), message);
}

void ConnmanServiceAdaptor::Disconnect(const QDBusMessage& message)
{
    answer(m_networks->disconnectService(m_index), message);
}

QVariantMap ConnmanServiceAdaptor::GetProperties()
{
    return m_networks->properties(m_index);
}
