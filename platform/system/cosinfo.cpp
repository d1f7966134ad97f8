#include "cosinfo.h"

#include "simcall.h"

COsInfo::COsInfo(QObject* parent)
    : QObject(parent)
{
}

QString COsInfo::osVersion() const
{
    return SimCall::value<QString>(QStringLiteral("osVersion"));
}
