#pragma once

#include <QObject>
#include <QString>

class CSystemDeviceInfo : public QObject
{
    Q_OBJECT
public:
    explicit CSystemDeviceInfo(QObject* parent = nullptr);

    QString uniqueDeviceId() const;
};
