#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QStringList>

// Stands in for orvana-screen on the bus and records every call as "method:arg,arg,...".
class FakeScreen : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "com.orvana.sim.Screen")
public:
    bool attach();
    void detach();

    QStringList calls;

public slots:
    bool launch(const QString& sopid, const QString& uiappid, const QStringList& params, uint uid);
    bool quit(const QStringList& items);
    int topWindowPid();
    QByteArray screenImage();
    void sendKeyEvent(int type, int key, int modifiers, const QString& text, bool autorepeat);
    void sendKey(int type, int code);
    void sendTouch(int type, int slot, int id, int x, int y);
    void commitString(const QString& text);
    QList<int> processList();
    QString sopidByPid(int pid);
    void setDisplayOn(bool on);
    void setPanelOpen(bool open);
    void showToast(const QString& text);
    void setProximityNear(bool near);
    void setOrientation(int orientation);

private:
    void record(const QString& method, const QStringList& args = QStringList());
};
