#pragma once

#include <QString>
#include <QStringList>

// The simulated backlight devices: "<class dir>/<device>/brightness" and "max_brightness".
class Backlight
{
public:
    // `setting` is ORVANA_SIM_BACKLIGHTS: empty for one device "panel" of maximum 255, "none" for
    // no device, or "name:max,name:max" (for example "a:255,b:100"). Gives the devices made.
    static QStringList create(const QString& classDir, const QString& setting);

private:
    static bool createDevice(const QString& dir, int maximum);
};
