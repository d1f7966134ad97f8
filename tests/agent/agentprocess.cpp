#include "agentprocess.h"

#include <QDir>
#include <QFile>
#include <QElapsedTimer>
#include <QProcessEnvironment>
#include <QStandardPaths>
#include <QTcpSocket>
#include <QThread>

AgentProcess::AgentProcess()
{
    // A file, not a pipe: a pipe nobody reads fills up and stalls the agent's logging.
    logFile.open();
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.setStandardOutputFile(logFile.fileName());
}

AgentProcess::~AgentProcess()
{
    stop();
}

QString AgentProcess::binary(const QString& name)
{
    const QString dir = qEnvironmentVariable("ZELVIK_BIN");
    if (!dir.isEmpty())
        return QDir(dir).filePath(name);
    return QStandardPaths::findExecutable(name);
}

bool AgentProcess::portAnswers(quint16 port)
{
    QTcpSocket socket;
    socket.connectToHost(QStringLiteral("127.0.0.1"), port);
    return socket.waitForConnected(200);
}

bool AgentProcess::httpAnswers(quint16 port)
{
    QTcpSocket socket;
    socket.connectToHost(QStringLiteral("127.0.0.1"), port);
    if (!socket.waitForConnected(200))
        return false;
    socket.write("GET /ready HTTP/1.0\r\n\r\n");
    QByteArray answer;
    while (answer.size() < 9 && socket.waitForReadyRead(1000))
        answer += socket.readAll();
    return answer.startsWith("HTTP/1.1 ");
}

bool AgentProcess::launch(const QStringList& extraEnvironment)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("*.debug=true"));
    for (const QString& entry : extraEnvironment)
        env.insert(entry.section(QLatin1Char('='), 0, 0), entry.section(QLatin1Char('='), 1));
    process.setProcessEnvironment(env);
    // ZELVIK_AGENT names another agent program, e.g. one that runs the arm64 agent under qemu.
    const QString agent = qEnvironmentVariable("ZELVIK_AGENT");
    process.start(agent.isEmpty() ? binary(QStringLiteral("zelvik_support_server")) : agent, QStringList());
    if (!process.waitForStarted(5000))
        return false;
    startedPid = process.processId();
    return true;
}

bool AgentProcess::start(const QStringList& extraEnvironment)
{
    if (!launch(extraEnvironment))
        return false;
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < 10000) {
        if (process.state() != QProcess::Running)
            return false;
        // An HTTP answer, not just a connection: the agent's single-instance probe briefly
        // listens on the port before the server exists.
        if (httpAnswers(10008))
            return true;
        QThread::msleep(50);
    }
    return false;
}

int AgentProcess::waitForExit(int timeoutMs)
{
    if (!process.waitForFinished(timeoutMs))
        return -1;
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

void AgentProcess::stop()
{
    if (process.state() == QProcess::NotRunning)
        return;
    process.terminate();
    if (!process.waitForFinished(5000)) {
        process.kill();
        process.waitForFinished(5000);
    }
    // Kept for a person reading a failed run.
    const QString keep = qEnvironmentVariable("ZELVIK_AGENT_LOG");
    if (!keep.isEmpty()) {
        QFile file(keep);
        if (file.open(QIODevice::Append))
            file.write(log());
    }
}

qint64 AgentProcess::pid() const
{
    return startedPid;
}

QByteArray AgentProcess::log()
{
    QFile file(logFile.fileName());
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}
