#pragma once

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryFile>

// The real agent binary, started in the simulated phone's environment.
class AgentProcess
{
public:
    AgentProcess();
    ~AgentProcess();

    // Starts the agent and waits until port 10008 answers; false if it did not come up.
    bool start(const QStringList& extraEnvironment = QStringList());
    // Starts the agent without waiting for its server.
    bool launch(const QStringList& extraEnvironment = QStringList());
    // Waits for the process to end by itself; returns its exit code, or -1 on timeout.
    int waitForExit(int timeoutMs);
    void stop();
    qint64 pid() const;
    // Everything the agent logged so far.
    QByteArray log();

    static QString binary(const QString& name);
    static bool portAnswers(quint16 port);
    static bool httpAnswers(quint16 port);

private:
    QTemporaryFile logFile;
    QProcess process;
    qint64 startedPid = 0;
};
