#pragma once

#include <QObject>

class CNetworkManager : public QObject
{
    Q_OBJECT
public:
    explicit CNetworkManager(QObject* parent = nullptr);

    bool isNetworkAvailable() const;
};
