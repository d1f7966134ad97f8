#pragma once

#include <QDBusAbstractAdaptor>
#include <QString>

struct SimContext;

// "com.orvana.sim.Control": what applications ask of the simulated phone.
class ControlAdaptor : public QDBusAbstractAdaptor
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "com.orvana.sim.Control")
public:
    ControlAdaptor(const SimContext& context, QObject* parent);

public slots:
    void showToast(const QString& text);

private:
    const SimContext& m_context;
};
