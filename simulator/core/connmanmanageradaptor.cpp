#include "connmanmanageradaptor.h"

#include "networks.h"

ConnmanManagerAdaptor::ConnmanManagerAdaptor(Networks* networks, QObject* parent)
    : QDBusAbstractAdaptor(parent)
    , m_networks(networks)
{
}

QVariantMap ConnmanManagerAdaptor::technologyProperties(const Networks* networks)
{
    bool connected = false;
    for (int i = 0; i < networks->count(); ++i) {
        const QVariantMap p = networks->properties(i);
        connected = connected
            || (networks->visible(i) && p.value(QStringLiteral("Type")) == QLatin1String("wifi")
                && p.value(QStringLiteral("State")) == QLatin1String("online"));
    }
    return {{QStringLiteral("Name"), QStringLiteral("WiFi")},
            {QStringLiteral("Type"), QStringLiteral("wifi")},
            {QStringLiteral("Powered"), networks->wifiPowered()},
            {QStringLiteral("Connected"), connected},
            {QStringLiteral("Tethering"), false}};
}

ConnmanEntryList ConnmanManagerAdaptor::GetServices()
{
    ConnmanEntryList services;
    for (int i = 0; i < m_networks->count(); ++i) {
        if (m_networks->visible(i))
            services.append({QDBusObjectPath(m_networks->path(i)), m_networks->properties(i)});
    }
    return services;
}

ConnmanEntryList ConnmanManagerAdaptor::GetTechnologies()
{
    return {{QDBusObjectPath(QStringLiteral("/net/connman/technology/wifi")), technologyProperties(m_networks)}};
}
