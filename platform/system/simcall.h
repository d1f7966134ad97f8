#pragma once

#include <QDBusMessage>
#include <QString>
#include <QVariant>
#include <QVariantList>

// Synchronous calls on the simulated phone's system service ("com.orvana.sim", system bus).
// Every call is self-contained, so one client object may be used from many threads at once.
// A failed call (service missing, error reply, time-out, wrong reply type) gives T().
class SimCall
{
public:
    static QDBusMessage call(const QString& method, const QVariantList& args = QVariantList());

    template<typename T>
    static T value(const QString& method, const QVariantList& args = QVariantList())
    {
        const QVariant v = first(call(method, args));
        return v.userType() == qMetaTypeId<T>() ? v.value<T>() : T();
    }

    // The first argument of a successful reply, else an invalid variant.
    static QVariant first(const QDBusMessage& reply);
};
