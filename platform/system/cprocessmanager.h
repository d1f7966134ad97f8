#pragma once

#include <QList>
#include <QObject>
#include <QString>

// Running applications.
class CProcessManager : public QObject
{
    Q_OBJECT
public:
    explicit CProcessManager(QObject* parent = nullptr);

    QList<int> processList() const;
    QString sopidByPid(int pid) const;
};
