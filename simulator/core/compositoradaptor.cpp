#include "compositoradaptor.h"

#include "phone.h"
#include "processkiller.h"
#include "simcontext.h"
#include "systemlog.h"

#include <QDBusConnectionInterface>
#include <QDBusReply>

CompositorAdaptor::CompositorAdaptor(const SimContext& context, QObject* parent)
    : QDBusAbstractAdaptor(parent)
    , m_context(context)
{
}

bool CompositorAdaptor::killProcessesByPid(int pid, const QDBusMessage& message)
{
    QString refusal = ProcessKiller::refusal(pid);
    // A reused stored id can name the agent that asks: it must not end itself.
    const QDBusReply<uint> caller = m_context.bus.interface()->servicePid(message.service());
    if (refusal.isEmpty() && caller.isValid() && int(caller.value()) == pid)
        refusal = QStringLiteral("the caller itself");
    if (!refusal.isEmpty()) {
        m_context.log->write(QStringLiteral("kill of process %1 refused: %2").arg(pid).arg(refusal));
        return false;
    }
    m_context.log->write(QStringLiteral("killing agent process %1").arg(pid));
    message.setDelayedReply(true);
    QDBusConnection bus = m_context.bus;
    SystemLog* log = m_context.log;
    m_context.killer->terminate(pid, [bus, message, log, pid](bool killed) mutable {
        log->write(QStringLiteral("agent process %1 %2").arg(pid).arg(killed ? QStringLiteral("ended")
                                                                              : QStringLiteral("could not be ended")));
        bus.send(message.createReply(killed));
    });
    return false;
}

bool CompositorAdaptor::getPanelState(int panel)
{
    return m_context.phone->panelState(panel);
}

void CompositorAdaptor::setPanelState(int panel, bool state)
{
    m_context.phone->setPanelState(panel, state);
}
