#include "csystemconfig.h"

#include "simcall.h"

#include <QDBusArgument>
#include <QDBusMetaType>
#include <QDBusVariant>

namespace {
// The value types the store keeps; anything else is refused before it reaches the bus.
bool storable(const QVariant& value)
{
    switch (value.userType()) {
    case QMetaType::Bool:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Double:
    case QMetaType::QString:
    case QMetaType::QStringList:
        return true;
    default:
        return false;
    }
}
}

CSystemConfig::CSystemConfig(QObject* parent)
    : QObject(parent)
{
}

QVariant CSystemConfig::value(const QString& domain, const QString& group, const QString& key) const
{
    // The answer (av) holds the value, or nothing when the store has none.
    const QDBusMessage reply = SimCall::call(QStringLiteral("configValue"), {domain, group, key});
    const QVariant list = SimCall::first(reply);
    if (reply.signature() != QLatin1String("av") || list.userType() != qMetaTypeId<QDBusArgument>())
        return QVariant();
    const QVariantList values = qdbus_cast<QVariantList>(list.value<QDBusArgument>());
    if (values.size() != 1)
        return QVariant();
    QVariant value = values.constFirst();
    if (value.userType() == qMetaTypeId<QDBusVariant>())
        value = value.value<QDBusVariant>().variant();
    return storable(value) ? value : QVariant();
}

bool CSystemConfig::setValue(const QString& domain, const QString& group, const QString& key, const QVariant& value)
{
    if (!storable(value))
        return false;
    return SimCall::value<bool>(QStringLiteral("setConfigValue"),
                                {domain, group, key, QVariant::fromValue(QDBusVariant(value))});
}
