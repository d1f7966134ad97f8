#include "connmantypes.h"

#include <QDBusMetaType>

QDBusArgument& operator<<(QDBusArgument& argument, const ConnmanEntry& entry)
{
    argument.beginStructure();
    argument << entry.path << entry.properties;
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, ConnmanEntry& entry)
{
    argument.beginStructure();
    argument >> entry.path >> entry.properties;
    argument.endStructure();
    return argument;
}

void registerConnmanTypes()
{
    qDBusRegisterMetaType<ConnmanEntry>();
    qDBusRegisterMetaType<ConnmanEntryList>();
}
