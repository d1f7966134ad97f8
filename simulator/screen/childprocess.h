#pragma once

#include <QProcess>

// A process that ends when orvana-screen ends, however that happens.
class ChildProcess : public QProcess
{
    Q_OBJECT
public:
    using QProcess::QProcess;

protected:
    void setupChildProcess() override;
};
