#pragma once

#include <QDBusAbstractAdaptor>

struct SimContext;

// "com.orvana.compositor.ZelvikInterfacePre": the switch application's interface.
class ZelvikPreAdaptor : public QDBusAbstractAdaptor
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "com.orvana.compositor.ZelvikInterfacePre")
public:
    ZelvikPreAdaptor(const SimContext& context, QObject* parent);

public slots:
    bool getZelvikSwitch();
    void setZelvikSwitch(bool on);
    // Recorded and logged; the simulated compositor has no main process to restart.
    void restartSystemMain();

private:
    const SimContext& m_context;
};
