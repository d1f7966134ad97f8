#pragma once

#include <QProcess>
#include <QStringList>
#include <QTemporaryFile>

// Asks a process to end, then kills it if it does not.
void endProcess(QProcess& process);

// The real agent binary, started in the simulated phone's environment.
class AgentProcess
{
public:
    AgentProcess();
    ~AgentProcess() { stop(); }

    // Starts the agent and waits until port 10008 answers HTTP; false if it did not come up.
    bool start(const QStringList& extraEnvironment = QStringList());
    // Starts the agent without waiting for its server.
    bool launch(const QStringList& extraEnvironment = QStringList());
    // Waits for the process to end by itself; returns its exit code, or -1 on timeout.
    int waitForExit(int timeoutMs)
    {
        return process.waitForFinished(timeoutMs) && process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    }
    void stop();
    qint64 pid() const { return startedPid; }
    // Everything the agent logged so far.
    QByteArray log();

    static QString binary(const QString& name);
    static bool portAnswers(quint16 port, const QByteArray& request = QByteArray());

private:
    QTemporaryFile logFile;
    QProcess process;
    qint64 startedPid = 0;
};
