#include "agentprocess.h"

#include <QDir>
#include <QElapsedTimer>
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

QString AgentProcess::binary(const QString& name)
{
    const QString dir = qEnvironmentVariable("ZELVIK_BIN");
    return dir.isEmpty() ? QStandardPaths::findExecutable(name) : QDir(dir).filePath(name);
}

// With a request: true only if an HTTP answer begins to come back.
bool AgentProcess::portAnswers(quint16 port, const QByteArray& request)
{
    QTcpSocket socket;
    socket.connectToHost(QStringLiteral("127.0.0.1"), port);
    if (!socket.waitForConnected(200) || request.isEmpty())
        return socket.state() == QAbstractSocket::ConnectedState;
    socket.write(request);
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
    startedPid = process.waitForStarted(5000) ? process.processId() : 0;
    return startedPid != 0;
}

bool AgentProcess::start(const QStringList& extraEnvironment)
{
    QElapsedTimer timer;
    timer.start();
    // An HTTP answer, not just a connection: the agent's single-instance probe briefly listens on
    // the port before the server exists.
    for (bool up = launch(extraEnvironment); up && timer.elapsed() < 10000; QThread::msleep(50)) {
        if (process.state() != QProcess::Running)
            return false;
        if (portAnswers(10008, "GET /ready HTTP/1.0\r\n\r\n"))
            return true;
    }
    return false;
}

void endProcess(QProcess& process)
{
    process.terminate();
    if (!process.waitForFinished(5000)) {
        process.kill();
        process.waitForFinished(5000);
    }
}

void AgentProcess::stop()
{
    if (process.state() == QProcess::NotRunning)
        return;
    endProcess(process);
    // Kept for a person reading a failed run.
    QFile keep(qEnvironmentVariable("ZELVIK_AGENT_LOG"));
    if (!keep.fileName().isEmpty() && keep.open(QIODevice::Append))
        keep.write(log());
}

QByteArray AgentProcess::log()
{
    QFile file(logFile.fileName());
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}
