#ifndef COMPOSITORPROCESS_H
#define COMPOSITORPROCESS_H

#include <QProcess>
#include <QStringList>

// Runs the fake compositor and collects the calls it reports.
class CompositorProcess
{
public:
    ~CompositorProcess();

    bool start(bool switchOn);
    void stop();
    QStringList calls();

private:
    QProcess m_process;
    QStringList m_calls;
    QByteArray m_pending;
};

#endif // COMPOSITORPROCESS_H
