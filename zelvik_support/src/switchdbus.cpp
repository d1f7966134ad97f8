#include "switchdbus.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusInterface>
#include <QDBusReply>
#include <QDebug>

namespace {
const QString serviceName = QStringLiteral("com.orvana.compositor");
const QString servicePath = QStringLiteral("/com/orvana/compositor");
const QString serviceInterface = QStringLiteral("com.orvana.compositor.ZelvikInterfacePre");
} // namespace

SwitchDBus::SwitchDBus(QObject* parent)
    : QObject(parent)
    , interface(new QDBusInterface(serviceName, servicePath, serviceInterface,
                                   QDBusConnection::systemBus()))
{
    if (interface->isValid())
        qDebug() << "dbus interface connected";
    else
        qDebug().noquote() << interface->lastError().message();
}

bool SwitchDBus::getSwitch()
{
    const QDBusReply<bool> reply = interface->call(QStringLiteral("getZelvikSwitch"));
    return reply.isValid() && reply.value();
}

void SwitchDBus::setSwitch(bool s)
{
    interface->call(QStringLiteral("setZelvikSwitch"), s);
}

void SwitchDBus::restartSystemMain()
{
    interface->call(QStringLiteral("restartSystemMain"));
    // Leave through the event loop so the framework's entry returns 0 and tears down in order;
    // the call may come from inside a QML handler, where exit() would pull the engine away.
    QCoreApplication::exit(0);
}
