#pragma once

#include <QDBusAbstractAdaptor>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QVariantMap>

class Networks;

// "net.connman.Technology" at "/net/connman/technology/wifi".
class ConnmanTechnologyAdaptor : public QDBusAbstractAdaptor
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "net.connman.Technology")
public:
    ConnmanTechnologyAdaptor(Networks* networks, const QDBusConnection& bus, QObject* parent);

public slots:
    QVariantMap GetProperties();
    // Only "Powered" (a boolean) can be set.
    void SetProperty(const QString& name, const QDBusVariant& value, const QDBusMessage& message);

private:
    Networks* m_networks;
    QDBusConnection m_bus;
};
