#pragma once

#include <QDateTime>
#include <QObject>

// System clock.
class CTime : public QObject
{
    Q_OBJECT
public:
    // Fixed underlying type: any int a client or the service sends is a defined value.
    enum AutoSystemTimeStatus : int { AutoSystemTimeOff = 0, AutoSystemTimeOn = 1 };
    Q_ENUM(AutoSystemTimeStatus)

    explicit CTime(QObject* parent = nullptr);

    bool setTime(const QDateTime& time);
    AutoSystemTimeStatus autoSystemTime() const;
    bool setAutoSystemTime(AutoSystemTimeStatus status);
};
