#include "csystemconfig.h"

#include "simcall.h"

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
    // The answer is a list holding the value, empty when nothing is stored.
    const QVariant reply = SimCall::first(SimCall::call(QStringLiteral("configValue"), {domain, group, key}));
    if (reply.userType() != QMetaType::QVariantList)
        return QVariant();
    const QVariantList values = reply.toList();
    return values.size() == 1 ? values.constFirst() : QVariant();
}

bool CSystemConfig::setValue(const QString& domain, const QString& group, const QString& key, const QVariant& value)
{
    if (!storable(value))
        return false;
    return SimCall::value<bool>(QStringLiteral("setConfigValue"),
                                {domain, group, key, QVariant::fromValue(QDBusVariant(value))});
}
