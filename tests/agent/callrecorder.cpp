#include "callrecorder.h"

#include <QElapsedTimer>
#include <QRegularExpression>

CallRecorder::CallRecorder(const QString& rule)
    : rule(rule)
{
}

CallRecorder::~CallRecorder()
{
    if (monitor.state() != QProcess::NotRunning) {
        monitor.kill();
        monitor.waitForFinished(3000);
    }
}

bool CallRecorder::start()
{
    const QString address = qEnvironmentVariable("DBUS_SYSTEM_BUS_ADDRESS");
    monitor.start(QStringLiteral("dbus-monitor"),
                  {QStringLiteral("--address"), address,
                   QStringLiteral("type='method_call',") + rule});
    if (!monitor.waitForStarted(3000))
        return false;
    // dbus-monitor prints its own name acquisition once it is attached.
    return monitor.waitForReadyRead(3000);
}

void CallRecorder::consume()
{
    pending += monitor.readAllStandardOutput();
    static const QRegularExpression memberPattern(QStringLiteral("member=(\\w+)"));
    static const QRegularExpression argumentPattern(
        QStringLiteral("^\\s+((?:variant\\s+)?(?:int32|uint32|int64|double|boolean|string|object path)\\s.*)$"));
    static const QRegularExpression spaces(QStringLiteral("\\s+(?=(?:[^\"]*\"[^\"]*\")*[^\"]*$)"));
    // Only whole blocks: a block ends where the next one starts.
    const int lastStart = pending.lastIndexOf("\nmethod call");
    if (lastStart < 0)
        return;
    const QList<QByteArray> lines = pending.left(lastStart).split('\n');
    pending = pending.mid(lastStart + 1);
    QString current;
    QStringList arguments;
    auto flush = [&] {
        if (!current.isEmpty())
            recorded.append(current + QLatin1Char('(') + arguments.join(QStringLiteral(", ")) + QLatin1Char(')'));
        current.clear();
        arguments.clear();
    };
    for (const QByteArray& raw : lines) {
        const QString line = QString::fromUtf8(raw);
        if (line.startsWith(QLatin1String("method call")) || line.startsWith(QLatin1String("signal"))
            || line.startsWith(QLatin1String("method return")) || line.startsWith(QLatin1String("error"))) {
            flush();
            if (line.startsWith(QLatin1String("method call")) && !line.contains(QLatin1String("interface=org.freedesktop.DBus")))
                current = memberPattern.match(line).captured(1);
            continue;
        }
        const QRegularExpressionMatch argument = argumentPattern.match(line);
        if (!current.isEmpty() && argument.hasMatch())
            arguments.append(argument.captured(1).trimmed().replace(spaces, QStringLiteral(" ")));
    }
    flush();
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
    // A sentinel block lets the last real call be parsed.
    pending += "\nmethod call sentinel\n";
    consume();
    pending.clear();
    return recorded;
}

void CallRecorder::clear()
{
    calls(100);
    recorded.clear();
}
