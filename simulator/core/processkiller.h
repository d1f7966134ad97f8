#pragma once

#include <QObject>

#include <functional>

// Ends agent processes on request, and only those: an id below 1, the simulator's own id and
// any process that is not the agent (a stale id may belong to someone else by now) are refused.
class ProcessKiller : public QObject
{
    Q_OBJECT
public:
    using Done = std::function<void(bool killed)>;

    explicit ProcessKiller(QObject* parent = nullptr);

    // Why a pid may not be killed, or an empty text when it may.
    static QString refusal(int pid);
    // Sends SIGTERM, then SIGKILL if the process is still there after a grace time; `done` is
    // called once the process is gone (or could not be ended).
    void terminate(int pid, const Done& done);

private:
    static bool isAgent(int pid);
    static bool isGone(int pid);
};
