#include "connmanobject.h"

QDBusArgument& operator<<(QDBusArgument& argument, const ConnmanObject& object)
{
    argument.beginStructure();
    argument << object.objpath << object.properties;
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, ConnmanObject& object)
{
    argument.beginStructure();
    argument >> object.objpath >> object.properties;
    argument.endStructure();
    return argument;
}
