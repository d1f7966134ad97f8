#include "connmantechnologyadaptor.h"

#include "connmanmanageradaptor.h"
#include "networks.h"

ConnmanTechnologyAdaptor::ConnmanTechnologyAdaptor(Networks* networks, const QDBusConnection& bus, QObject* parent)
    : QDBusAbstractAdaptor(parent)
    , m_networks(networks)
    , m_bus(bus)
{
}

QVariantMap ConnmanTechnologyAdaptor::GetProperties()
{
    return ConnmanManagerAdaptor::technologyProperties(m_networks);
}

void ConnmanTechnologyAdaptor::SetProperty(const QString& name, const QDBusVariant& value, const QDBusMessage& message)
{
    if (name != QLatin1String("Powered") || value.variant().userType() != QMetaType::Bool) {
        message.setDelayedReply(true);
        m_bus.send(message.createErrorReply(QStringLiteral("net.connman.Error.InvalidArguments"),
                                            QStringLiteral("Invalid arguments")));
        return;
    }
    m_networks->setWifiPowered(value.variant().toBool());
}
