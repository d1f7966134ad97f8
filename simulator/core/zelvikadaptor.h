#pragma once

#include <QByteArray>
#include <QDBusAbstractAdaptor>
#include <QDBusMessage>
#include <QString>

struct SimContext;

// "com.orvana.compositor.ZelvikInterface": the agent's automation interface. Screen and input
// methods go on to orvana-screen; sensors, toasts and files are answered here.
class ZelvikAdaptor : public QDBusAbstractAdaptor
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "com.orvana.compositor.ZelvikInterface")
public:
    ZelvikAdaptor(const SimContext& context, QObject* parent);

public slots:
    bool getZelvikSwitch();

    QByteArray getScreenImage(const QDBusMessage& message);
    int getTopWindowPid(const QDBusMessage& message);
    void sendKeyEvent(const QString& event);
    void sendKeyEventWithUInput(int type, int code);
    void sendTouchEventWithUInput(int type, int slot, int id, int x, int y);
    void emitSendCommitString(const QString& text);
    QString getLatestToast();

    int getScreenOrientation();
    void sendOrientationEvent(int orientation);
    void sendAmbientLightEvent(int lux);
    void sendProximityEvent(bool withinProximity);
    void recoverOrientationSensor();
    void recoverAmbientLightSensor();
    void recoverProximitySensor();

    bool fileExist(const QString& path);
    bool fileRemove(const QString& path);
    bool mkdir(const QString& path);
    bool fileMove(const QString& source, const QString& target);
    bool fileCopy(const QString& source, const QString& target);
    QByteArray dirList(const QString& path);
    bool dirRemove(const QString& path);
    bool dirCopy(const QString& source, const QString& target);

private:
    bool logged(bool result, const QString& what);

    const SimContext& m_context;
};
