#include "csystemdisplaysettings.h"

#include "simcall.h"

CSystemDisplaySettings::CSystemDisplaySettings(QObject* parent)
    : QObject(parent)
{
}

int CSystemDisplaySettings::blankTimeout() const
{
    return SimCall::value<int>(QStringLiteral("blankTimeout"));
}

bool CSystemDisplaySettings::setBlankTimeout(int seconds)
{
    return SimCall::value<bool>(QStringLiteral("setBlankTimeout"), {seconds});
}

int CSystemDisplaySettings::dimTimeout() const
{
    return SimCall::value<int>(QStringLiteral("dimTimeout"));
}

bool CSystemDisplaySettings::setDimTimeout(int seconds)
{
    return SimCall::value<bool>(QStringLiteral("setDimTimeout"), {seconds});
}

bool CSystemDisplaySettings::ambientLightSensorEnabled() const
{
    return SimCall::value<bool>(QStringLiteral("ambientLightSensorEnabled"));
}

bool CSystemDisplaySettings::setAmbientLightSensorEnabled(bool enabled)
{
    return SimCall::value<bool>(QStringLiteral("setAmbientLightSensorEnabled"), {enabled});
}
