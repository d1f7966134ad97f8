#pragma once

#include <QDBusMessage>
#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QTimer>

#include "framestore.h"

class QQuickWindow;

// The test side of one application window. Once the window has shown its first frame it
// registers "com.orvana.p<pid>" on the session bus with the layout interface
// ("com.orvana.uitest.Interface") and the window interface the simulated compositor drives
// ("com.orvana.apptest.Window": frames, keys, touch points, committed text, resize).
class AppTest : public QObject
{
    Q_OBJECT
public:
    AppTest(QQuickWindow* window, const QString& sopId, const QString& uiAppId,
            QObject* parent = nullptr);

    static QString serviceName(qint64 pid);
    static QString objectPath(qint64 pid);

    QQuickWindow* window() const { return win; }
    bool isRegistered() const { return registered; }

    QString layout() const;
    // Replies to the call with the frame file's path, width, height and bytes per line, once
    // the window shows the effect of the input delivered last.
    void requestFrame(const QDBusMessage& call);
    // Qt event type 6 press, 7 release, 51 shortcut override; true when an item took the key.
    bool deliverKey(int type, int key, int modifiers, const QString& text, bool autorepeat);
    // One touch event: every active contact with its state (1 press, 2 move, 0 release,
    // 3 stationary) at window coordinates.
    void deliverTouch(const QList<int>& ids, const QList<int>& states, const QList<int>& xs,
                      const QList<int>& ys);
    bool commitText(const QString& text);
    void resizeWindow(int width, int height);

signals:
    void busRegistered();

private:
    void onFrameSwapped();
    void registerOnBus();
    void markInput();
    void servePendingFrames();
    bool frameIsCurrent() const;

    QQuickWindow* win;
    QString sopId;
    QString uiAppId;
    FrameStore frames;
    bool registered = false;
    bool swapped = false;
    bool inputSinceSwap = false;
    QElapsedTimer sinceInput;
    QList<QDBusMessage> pendingFrames;
    QTimer frameWait;
};
