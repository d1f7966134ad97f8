#include "apptest.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QGuiApplication>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QQuickItem>
#include <QQuickWindow>
#include <QScreen>
#include <QtTest/qtesttouch.h>

#include "layoutdumper.h"
#include "uitestadaptor.h"
#include "windowadaptor.h"

namespace {

// How long a frame request waits for the render that follows delivered input; past it the
// input changed nothing on screen.
const int FRAME_WAIT_MS = 150;
// Registration does not wait for ever for a first frame (a window that paints nothing).
const int REGISTER_FALLBACK_MS = 3000;

QTouchDevice* touchScreen()
{
    static QTouchDevice* device = QTest::createTouchDevice(QTouchDevice::TouchScreen);
    return device;
}

const Qt::TouchPointState TOUCH_STATES[] = {
    Qt::TouchPointReleased, Qt::TouchPointPressed, Qt::TouchPointMoved, Qt::TouchPointStationary};

} // namespace

AppTest::AppTest(QQuickWindow* window, const QString& sopId, const QString& uiAppId,
                 QObject* parent)
    : QObject(parent), win(window), sopId(sopId), uiAppId(uiAppId),
      frames(FrameStore::pathFor(QCoreApplication::applicationPid()))
{
    Q_ASSERT(window);
    new UiTestAdaptor(this);
    new WindowAdaptor(this);
    frameWait.setSingleShot(true);
    connect(&frameWait, &QTimer::timeout, this, &AppTest::servePendingFrames);
    connect(win, &QQuickWindow::frameSwapped, this, &AppTest::onFrameSwapped,
            Qt::QueuedConnection);
    QTimer::singleShot(REGISTER_FALLBACK_MS, this, &AppTest::registerOnBus);
}

QString AppTest::serviceName(qint64 pid)
{
    return QStringLiteral("com.orvana.p") + QString::number(pid);
}

QString AppTest::objectPath(qint64 pid)
{
    return QStringLiteral("/com/orvana/p") + QString::number(pid);
}

QString AppTest::layout() const
{
    return LayoutDumper(sopId, uiAppId).dump(win);
}

void AppTest::onFrameSwapped()
{
    swapped = true;
    inputSinceSwap = false;
    registerOnBus();
    servePendingFrames();
}

void AppTest::registerOnBus()
{
    if (registered)
        return;
    registered = true;
    const qint64 pid = QCoreApplication::applicationPid();
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.registerObject(objectPath(pid), this)
        || !bus.registerService(serviceName(pid))) {
        qWarning("apptest: cannot register %s on the session bus: %s",
                 qPrintable(serviceName(pid)), qPrintable(bus.lastError().message()));
        return;
    }
    emit busRegistered();
}

void AppTest::markInput()
{
    inputSinceSwap = true;
    sinceInput.start();
}

bool AppTest::frameIsCurrent() const
{
    if (!swapped)
        return false;
    return !inputSinceSwap || sinceInput.elapsed() >= FRAME_WAIT_MS;
}

void AppTest::requestFrame(const QDBusMessage& call)
{
    pendingFrames.append(call);
    if (frameIsCurrent()) {
        servePendingFrames();
        return;
    }
    const int waited = sinceInput.isValid() ? int(sinceInput.elapsed()) : 0;
    frameWait.start(qMax(1, FRAME_WAIT_MS - waited));
}

void AppTest::servePendingFrames()
{
    if (pendingFrames.isEmpty())
        return;
    frameWait.stop();
    const QList<QDBusMessage> calls = pendingFrames;
    pendingFrames.clear();
    QImage image = win->screen()->grabWindow(win->winId()).toImage();
    QDBusConnection bus = QDBusConnection::sessionBus();
    for (const QDBusMessage& call : calls) {
        if (image.isNull() || !frames.write(image)) {
            bus.send(call.createErrorReply(QDBusError::Failed, QStringLiteral("no frame")));
            continue;
        }
        bus.send(call.createReply(QVariantList{frames.path(), image.width(), image.height(),
                                               int(image.bytesPerLine())}));
    }
}

bool AppTest::deliverKey(int type, int key, int modifiers, const QString& text, bool autorepeat)
{
    const QEvent::Type eventType = static_cast<QEvent::Type>(type);
    if (eventType != QEvent::KeyPress && eventType != QEvent::KeyRelease
        && eventType != QEvent::ShortcutOverride)
        return false;
    QKeyEvent event(eventType, key, Qt::KeyboardModifiers(modifiers), text, autorepeat);
    event.setAccepted(false);
    QCoreApplication::sendEvent(win, &event);
    markInput();
    return event.isAccepted();
}

void AppTest::deliverTouch(const QList<int>& ids, const QList<int>& states, const QList<int>& xs,
                           const QList<int>& ys)
{
    const int n = ids.size();
    if (n == 0 || states.size() != n || xs.size() != n || ys.size() != n)
        return;
    const QRectF screen = win->screen() ? QRectF(win->screen()->geometry()) : QRectF();
    QList<QTouchEvent::TouchPoint> points;
    for (int i = 0; i < n; ++i) {
        if (states[i] < 0 || states[i] > 3)
            return;
        QTouchEvent::TouchPoint point(ids[i]);
        const QPointF global = win->mapToGlobal(QPoint(xs[i], ys[i]));
        point.setState(TOUCH_STATES[states[i]]);
        point.setScreenPos(global);
        point.setPressure(states[i] == 0 ? 0 : 1);
        if (screen.width() > 0 && screen.height() > 0)
            point.setNormalizedPos(QPointF(global.x() / screen.width(), global.y() / screen.height()));
        points.append(point);
    }
    qt_handleTouchEvent(win, touchScreen(), points);
    markInput();
}

bool AppTest::commitText(const QString& text)
{
    QQuickItem* target = win->activeFocusItem();
    if (!target)
        return false;
    QInputMethodEvent event;
    event.setCommitString(text);
    QCoreApplication::sendEvent(target, &event);
    markInput();
    return event.isAccepted();
}

void AppTest::resizeWindow(int width, int height)
{
    if (width <= 0 || height <= 0)
        return;
    win->resize(width, height);
    markInput();
}
