#pragma once

#include <QDBusArgument>
#include <QDBusObjectPath>
#include <QList>
#include <QMetaType>
#include <QVariantMap>

// One element of ConnMan's object lists: (oa{sv}).
struct ConnmanEntry
{
    QDBusObjectPath path;
    QVariantMap properties;
};
using ConnmanEntryList = QList<ConnmanEntry>;

Q_DECLARE_METATYPE(ConnmanEntry)
Q_DECLARE_METATYPE(ConnmanEntryList)

QDBusArgument& operator<<(QDBusArgument& argument, const ConnmanEntry& entry);
const QDBusArgument& operator>>(const QDBusArgument& argument, ConnmanEntry& entry);

void registerConnmanTypes();
