#include "callrecorder.h"

#include <QElapsedTimer>
#include <QRegularExpression>

CallRecorder::~CallRecorder()
{
    monitor.kill();
    monitor.waitForFinished(3000);
}

bool CallRecorder::start()
{
    monitor.start(QStringLiteral("dbus-monitor"), {QStringLiteral("--address"), qEnvironmentVariable("DBUS_SYSTEM_BUS_ADDRESS"),
                                                   QStringLiteral("type='method_call',") + rule});
    // dbus-monitor prints its own name acquisition once it is attached.
    return monitor.waitForStarted(3000) && monitor.waitForReadyRead(3000);
}

QStringList CallRecorder::calls(int settleMs)
{
    QElapsedTimer quiet;
    quiet.start();
    while (quiet.elapsed() < settleMs) {
        if (monitor.waitForReadyRead(50)) {
            pending += monitor.readAllStandardOutput();
            quiet.restart();
        }
    }
    static const QRegularExpression memberPattern(QStringLiteral("member=(\\w+)"));
    static const QRegularExpression argumentPattern(
        QStringLiteral("^\\s+((?:variant\\s+)?(?:int32|uint32|int64|double|boolean|string|object path)\\s.*)$"));
    static const QRegularExpression spaces(QStringLiteral("\\s+(?=(?:[^\"]*\"[^\"]*\")*[^\"]*$)"));
    // A sentinel block ends the last real one.
    QString current;
    QStringList arguments;
    for (const QByteArray& raw : (pending + "\nmethod call sentinel\n").split('\n')) {
        const QString line = QString::fromUtf8(raw);
        const QRegularExpressionMatch argument = argumentPattern.match(line);
        static const QRegularExpression blockStart(QStringLiteral("^(method call|signal|method return|error)"));
        if (blockStart.match(line).hasMatch()) {
            if (!current.isEmpty())
                recorded.append(current + QLatin1Char('(') + arguments.join(QStringLiteral(", ")) + QLatin1Char(')'));
            current = line.startsWith(QLatin1String("method call")) && !line.contains(QLatin1String("interface=org.freedesktop.DBus"))
                ? memberPattern.match(line).captured(1) : QString();
            arguments.clear();
        } else if (!current.isEmpty() && argument.hasMatch()) {
            arguments.append(argument.captured(1).trimmed().replace(spaces, QStringLiteral(" ")));
        }
    }
    pending.clear();
    return recorded;
}
