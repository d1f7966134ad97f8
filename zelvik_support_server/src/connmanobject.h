#pragma once

#include <QDBusArgument>
#include <QDBusObjectPath>
#include <QList>
#include <QMetaType>
#include <QVariantMap>

// One entry of ConnMan's "GetServices" answer: (oa{sv}).
struct ConnmanObject {
    QDBusObjectPath objpath;
    QVariantMap properties;
};
typedef QList<ConnmanObject> ConnmanObjectList;

QDBusArgument& operator<<(QDBusArgument& argument, const ConnmanObject& object);
const QDBusArgument& operator>>(const QDBusArgument& argument, ConnmanObject& object);

Q_DECLARE_METATYPE(ConnmanObject)
Q_DECLARE_METATYPE(ConnmanObjectList)
