#include "processkiller.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTimer>

#include <memory>

#include <signal.h>
#include <unistd.h>

namespace {
const char* const kAgentName = "zelvik_support_server";
const int kPollMs = 20;
const int kGraceMs = 2000;
const int kGiveUpMs = 4000;

QString baseName(QString path)
{
    path.remove(QStringLiteral(" (deleted)"));
    return path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
}
}

ProcessKiller::ProcessKiller(QObject* parent)
    : QObject(parent)
{
}

bool ProcessKiller::isAgent(int pid)
{
    const QString proc = QStringLiteral("/proc/%1/").arg(pid);
    const QString exe = QFileInfo(proc + QStringLiteral("exe")).symLinkTarget();
    if (!exe.isEmpty())
        return baseName(exe) == QLatin1String(kAgentName);
    // Without the right to read the link the command line still names the program.
    QFile cmdline(proc + QStringLiteral("cmdline"));
    if (!cmdline.open(QIODevice::ReadOnly))
        return false;
    const QByteArray argv0 = cmdline.readAll().split('\0').value(0);
    return baseName(QString::fromLocal8Bit(argv0)) == QLatin1String(kAgentName);
}

bool ProcessKiller::isGone(int pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return true;
    // The state follows the command name in parentheses; a zombie has released everything.
    const QByteArray text = stat.readAll();
    const int close = text.lastIndexOf(')');
    return close < 0 || text.mid(close + 2, 1) == "Z";
}

QString ProcessKiller::refusal(int pid)
{
    if (pid < 1)
        return QStringLiteral("not a process id");
    if (pid == getpid())
        return QStringLiteral("the simulator itself");
    if (isGone(pid))
        return QStringLiteral("no such process");
    if (!isAgent(pid))
        return QStringLiteral("not an agent process");
    return QString();
}

void ProcessKiller::terminate(int pid, const Done& done)
{
    if (::kill(pid, SIGTERM) != 0) {
        done(false);
        return;
    }
    auto* timer = new QTimer(this);
    auto clock = std::make_shared<QElapsedTimer>();
    auto forced = std::make_shared<bool>(false);
    clock->start();
    connect(timer, &QTimer::timeout, this, [=]() {
        const bool gone = isGone(pid);
        if (!gone && clock->elapsed() < kGiveUpMs) {
            if (!*forced && clock->elapsed() >= kGraceMs) {
                *forced = true;
                ::kill(pid, SIGKILL);
            }
            return;
        }
        timer->stop();
        timer->deleteLater();
        done(gone);
    });
    timer->start(kPollMs);
}
