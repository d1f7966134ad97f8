#pragma once

#include <QDBusAbstractAdaptor>
#include <QDBusMessage>
#include <QList>
#include <QStringList>

class Screen;

// "com.orvana.sim.Screen" at "/screen" on the system bus, called by orvana-sim.
class ScreenAdaptor : public QDBusAbstractAdaptor
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "com.orvana.sim.Screen")
public:
    explicit ScreenAdaptor(Screen* parent);

public slots:
    bool launch(const QString& sopid, const QString& uiappid, const QStringList& params, uint uid,
                const QDBusMessage& message);
    bool quit(const QStringList& items, const QDBusMessage& message);
    int topWindowPid();
    QByteArray screenImage(const QDBusMessage& message);
    void sendKeyEvent(int type, int key, int modifiers, const QString& text, bool autorepeat,
                      const QDBusMessage& message);
    void sendKey(int type, int code, const QDBusMessage& message);
    void sendTouch(int type, int slot, int id, int x, int y, const QDBusMessage& message);
    void commitString(const QString& text, const QDBusMessage& message);
    QList<int> processList();
    QString sopidByPid(int pid);
    void setDisplayOn(bool on);
    void setPanelOpen(bool open);
    void showToast(const QString& text);
    void setProximityNear(bool near);
    void setOrientation(int orientation);

private:
    Screen* screen;
};
