#pragma once

#include <QString>

namespace ORVANA {

// The fixed device paths ("/data/log/message", "/sys/class/backlight/", ...), prefixed with
// ORVANA_DEVICE_ROOT when that is set (the simulated phone); unchanged on a phone.
QString devicePath(const QString& fixedPath);

} // namespace ORVANA
