#include "compositorprocess.h"

CompositorProcess::~CompositorProcess()
{
    stop();
}

bool CompositorProcess::start(bool switchOn)
{
    stop();
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process.start(QStringLiteral(FAKE_COMPOSITOR), {switchOn ? "on" : "off"});
    if (!m_process.waitForStarted(5000))
        return false;
    while (!m_pending.contains('\n')) {
        if (!m_process.waitForReadyRead(5000))
            return false;
        m_pending += m_process.readAllStandardOutput();
    }
    const bool ready = m_pending.startsWith("ready\n");
    m_pending.remove(0, m_pending.indexOf('\n') + 1);
    return ready;
}

void CompositorProcess::stop()
{
    if (m_process.state() != QProcess::NotRunning) {
        m_process.terminate();
        if (!m_process.waitForFinished(5000)) {
            m_process.kill();
            m_process.waitForFinished(5000);
        }
    }
    // Output of this run must not show up as calls of the next one.
    if (m_process.isOpen())
        m_process.readAllStandardOutput();
    m_calls.clear();
    m_pending.clear();
}

QStringList CompositorProcess::calls()
{
    m_pending += m_process.readAllStandardOutput();
    int end;
    while ((end = m_pending.indexOf('\n')) >= 0) {
        m_calls << QString::fromUtf8(m_pending.left(end));
        m_pending.remove(0, end + 1);
    }
    return m_calls;
}
