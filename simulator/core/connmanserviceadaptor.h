#pragma once

#include <QDBusAbstractAdaptor>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QVariantMap>

class Networks;

// "net.connman.Service": one object per simulated network.
class ConnmanServiceAdaptor : public QDBusAbstractAdaptor
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "net.connman.Service")
public:
    ConnmanServiceAdaptor(Networks* networks, int index, const QDBusConnection& bus, QObject* parent);

public slots:
    void Connect(const QDBusMessage& message);
    void Disconnect(const QDBusMessage& message);
    QVariantMap GetProperties();

private:
    void answer(bool ok, const QDBusMessage& message);

    Networks* m_networks;
    int m_index;
    QDBusConnection m_bus;
};
