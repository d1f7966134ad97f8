#include "cprocessmanager.h"

#include "simcall.h"

#include <QDBusArgument>
#include <QDBusMetaType>

CProcessManager::CProcessManager(QObject* parent)
    : QObject(parent)
{
}

QList<int> CProcessManager::processList() const
{
    const QDBusMessage reply = SimCall::call(QStringLiteral("processList"));
    const QVariant list = SimCall::first(reply);
    if (reply.signature() != QLatin1String("ai") || list.userType() != qMetaTypeId<QDBusArgument>())
        return QList<int>();
    return qdbus_cast<QList<int>>(list.value<QDBusArgument>());
}

QString CProcessManager::sopidByPid(int pid) const
{
    return SimCall::value<QString>(QStringLiteral("sopidByPid"), {pid});
}
