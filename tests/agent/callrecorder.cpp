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
    static const QRegularExpression blockStart(QStringLiteral("^(method call|signal|method return|error)"));
    bool inCall = false;
    for (const QByteArray& raw : pending.split('\n')) {
        const QString line = QString::fromUtf8(raw);
        const QRegularExpressionMatch argument = argumentPattern.match(line);
        if (blockStart.match(line).hasMatch()) {
            inCall = line.startsWith(QLatin1String("method call")) && !line.contains(QLatin1String("interface=org.freedesktop.DBus"));
            if (inCall)
                recorded.append(memberPattern.match(line).captured(1) + QLatin1String("()"));
        } else if (inCall && argument.hasMatch()) {
            QString& call = recorded.last();
            call.insert(call.size() - 1, (call.endsWith(QLatin1String("()")) ? QString() : QStringLiteral(", "))
                                             + argument.captured(1).trimmed().replace(spaces, QStringLiteral(" ")));
        }
    }
    pending.clear();
    return recorded;
}
