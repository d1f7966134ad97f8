#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QSize>
#include <QStringList>

#include "appmanager.h"
#include "pendingreply.h"
#include "touchtracker.h"

class AppProcess;

// The simulated phone's screen: which application is on top, what the screen shows, and where
// key, touch and text input go. Calls that reach an application answer once it has answered.
class Screen : public QObject
{
    Q_OBJECT
public:
    // Portrait size: ORVANA_SCREEN_SIZE ("WxH") or 720x1280.
    static QSize sizeFromEnvironment();
    // Home screen and the other applications' windows take the screen size turned by the
    // orientation: 1 and 4 portrait, 2 and 8 landscape.
    static QSize rotated(const QSize& portrait, int orientation);

    explicit Screen(const QSize& portraitSize, QObject* parent = nullptr);

    AppManager& applications() { return apps; }
    QSize size() const { return rotated(portrait, orientation); }

    void launch(const QString& sopid, const QString& uiappid, const QStringList& params, uint uid,
                const PendingReply& reply);
    void quit(const QStringList& items, const PendingReply& reply);
    int topWindowPid() const;
    void screenImage(const PendingReply& reply);
    void sendKeyEvent(int type, int key, int modifiers, const QString& text, bool autorepeat,
                      const PendingReply& reply);
    void sendKey(int type, int code, const PendingReply& reply);
    void sendTouch(int type, int slot, int id, int x, int y, const PendingReply& reply);
    void commitString(const QString& text, const PendingReply& reply);

    void setDisplayOn(bool on);
    void setPanelOpen(bool open);
    void showToast(const QString& text);
    void setProximityNear(bool near);
    void setOrientation(int value);

private:
    // `held`: a repeat while the key is held down, which never sends an application back.
    void deliverKey(int type, int key, int modifiers, const QString& text, bool autorepeat,
                    bool held, const PendingReply& reply);
    QString visibleToast() const;
    void replyBlack(const PendingReply& reply);

    AppManager apps;
    TouchTracker touches;
    QPointer<AppProcess> touchTarget;
    QSize portrait;
    int orientation = 1;
    bool displayOn = true;
    bool panelOpen = false;
    bool proximityNear = false;
    QString toast;
    QElapsedTimer toastClock;
    QByteArray blackPng;
    QSize blackSize;
};
