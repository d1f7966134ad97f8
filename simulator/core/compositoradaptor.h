#pragma once

#include <QDBusAbstractAdaptor>
#include <QDBusMessage>

struct SimContext;

// "com.orvana.compositor.CompositorInterface".
class CompositorAdaptor : public QDBusAbstractAdaptor
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "com.orvana.compositor.CompositorInterface")
public:
    CompositorAdaptor(const SimContext& context, QObject* parent);

public slots:
    // Answers once the process is gone: true if it was ended.
    bool killProcessesByPid(int pid, const QDBusMessage& message);
    bool getPanelState(int panel);
    void setPanelState(int panel, bool state);

private:
    const SimContext& m_context;
};
