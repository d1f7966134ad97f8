#pragma once

#include "connmantypes.h"

#include <QDBusAbstractAdaptor>

class Networks;

// "net.connman.Manager" at "/".
class ConnmanManagerAdaptor : public QDBusAbstractAdaptor
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "net.connman.Manager")
public:
    ConnmanManagerAdaptor(Networks* networks, QObject* parent);

    static QVariantMap technologyProperties(const Networks* networks);

public slots:
    // The visible services in list order.
    ConnmanEntryList GetServices();
    ConnmanEntryList GetTechnologies();

private:
    Networks* m_networks;
};
