#include "configstore.h"

#include "devicestate.h"

#include <QJsonArray>
#include <QJsonObject>

namespace {
// Kept types; values are stored as text (lists as arrays) with their type name, so a value
// reads back with the type it was given.
const QMetaType::Type kTypes[] = {QMetaType::Bool, QMetaType::Int, QMetaType::UInt, QMetaType::LongLong,
                                  QMetaType::ULongLong, QMetaType::Double, QMetaType::QString,
                                  QMetaType::QStringList};

bool kept(int type)
{
    for (QMetaType::Type t : kTypes) {
        if (t == type)
            return true;
    }
    return false;
}
}

ConfigStore::ConfigStore(DeviceState* state)
    : m_state(state)
{
}

QString ConfigStore::entryName(const QString& domain, const QString& group, const QString& key)
{
    // Unit separators keep "a/b" + "c" apart from "a" + "b/c".
    return domain + QChar(0x1f) + group + QChar(0x1f) + key;
}

QVariant ConfigStore::value(const QString& domain, const QString& group, const QString& key) const
{
    const QJsonObject entry = m_state->entry(QStringLiteral("config"), entryName(domain, group, key)).toObject();
    const int type = QMetaType::type(entry.value(QStringLiteral("type")).toString().toLatin1());
    if (!kept(type))
        return QVariant();
    QVariant stored = entry.value(QStringLiteral("value")).toVariant();
    if (type == QMetaType::QStringList)
        return stored.toStringList();
    return stored.convert(type) ? stored : QVariant();
}

bool ConfigStore::setValue(const QString& domain, const QString& group, const QString& key, const QVariant& value)
{
    if (!kept(value.userType()))
        return false;
    QJsonObject entry;
    entry.insert(QStringLiteral("type"), QLatin1String(value.typeName()));
    entry.insert(QStringLiteral("value"), value.userType() == QMetaType::QStringList
                                              ? QJsonValue(QJsonArray::fromStringList(value.toStringList()))
                                              : QJsonValue(value.toString()));
    m_state->setEntry(QStringLiteral("config"), entryName(domain, group, key), entry);
    return true;
}
