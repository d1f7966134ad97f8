#pragma once

#include <QString>

// Appends one line per event to the system log "/data/log/message" (opened and closed per line,
// so rotation by orvana-sim never loses a line).
class EventLog
{
public:
    static void write(const QString& text);
};
