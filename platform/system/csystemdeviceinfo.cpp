#include "csystemdeviceinfo.h"

#include "simcall.h"

CSystemDeviceInfo::CSystemDeviceInfo(QObject* parent)
    : QObject(parent)
{
}

QString CSystemDeviceInfo::uniqueDeviceId() const
{
    return SimCall::value<QString>(QStringLiteral("uniqueDeviceId"));
}
