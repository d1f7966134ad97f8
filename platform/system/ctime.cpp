#include "ctime.h"

#include "simcall.h"

CTime::CTime(QObject* parent)
    : QObject(parent)
{
}

bool CTime::setTime(const QDateTime& time)
{
    if (!time.isValid())
        return false;
    return SimCall::value<bool>(QStringLiteral("setTime"), {qlonglong(time.toMSecsSinceEpoch())});
}

CTime::AutoSystemTimeStatus CTime::autoSystemTime() const
{
    return AutoSystemTimeStatus(SimCall::value<int>(QStringLiteral("autoSystemTime")));
}

bool CTime::setAutoSystemTime(AutoSystemTimeStatus status)
{
    return SimCall::value<bool>(QStringLiteral("setAutoSystemTime"), {int(status)});
}
