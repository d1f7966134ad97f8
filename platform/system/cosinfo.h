#pragma once

#include <QObject>
#include <QString>

class COsInfo : public QObject
{
    Q_OBJECT
public:
    explicit COsInfo(QObject* parent = nullptr);

    QString osVersion() const;
};
