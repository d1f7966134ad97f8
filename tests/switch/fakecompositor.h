#ifndef FAKECOMPOSITOR_H
#define FAKECOMPOSITOR_H

#include <QDBusAbstractAdaptor>

// The compositor's switch interface, recording each call as one line on standard output.
class FakeCompositor : public QDBusAbstractAdaptor
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "com.orvana.compositor.ZelvikInterfacePre")
public:
    FakeCompositor(QObject* parent, bool switchOn);

public slots:
    bool getZelvikSwitch();
    void setZelvikSwitch(bool on);
    void restartSystemMain();

private:
    static void record(const QString& call);

    bool m_switchOn;
};

#endif // FAKECOMPOSITOR_H
