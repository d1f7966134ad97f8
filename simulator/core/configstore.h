#pragma once

#include <QString>
#include <QVariant>
#include <QVariantList>

class DeviceState;

// The configuration store behind CSystemConfig: typed values by domain, group and key.
class ConfigStore
{
public:
    explicit ConfigStore(DeviceState* state);

    // The stored value, or an invalid variant.
    QVariant value(const QString& domain, const QString& group, const QString& key) const;
    // False for a value of a type the store does not keep.
    bool setValue(const QString& domain, const QString& group, const QString& key, const QVariant& value);

private:
    static QString entryName(const QString& domain, const QString& group, const QString& key);

    DeviceState* m_state;
};
