#include "screen.h"

#include <QKeyEvent>

#include "appprocess.h"
#include "eventlog.h"
#include "linuxkeymap.h"
#include "screencomposer.h"

namespace {

const QSize DEFAULT_SIZE(720, 1280);
const int MAX_SIDE = 8192;
const qint64 TOAST_MS = 3000;

// Orientation values of the compositor: 1 portrait, 2 landscape, 4 inverted portrait,
// 8 inverted landscape.
bool isLandscape(int orientation)
{
    return orientation == 2 || orientation == 8;
}

} // namespace

QSize Screen::sizeFromEnvironment()
{
    const QStringList parts = qEnvironmentVariable("ORVANA_SCREEN_SIZE").split(QLatin1Char('x'));
    bool okW = false;
    bool okH = false;
    const QSize size = parts.size() == 2 ? QSize(parts[0].toInt(&okW), parts[1].toInt(&okH)) : QSize();
    if (!okW || !okH || size.width() <= 0 || size.height() <= 0 || size.width() > MAX_SIDE
        || size.height() > MAX_SIDE)
        return DEFAULT_SIZE;
    return size;
}

QSize Screen::rotated(const QSize& portrait, int orientation)
{
    return isLandscape(orientation) ? portrait.transposed() : portrait;
}

Screen::Screen(const QSize& portraitSize, QObject* parent)
    : QObject(parent), portrait(portraitSize)
{
    apps.resize(size());
}

void Screen::launch(const QString& sopid, const QString& uiappid, const QStringList& params,
                    uint uid, const PendingReply& reply)
{
    Q_UNUSED(uid)
    apps.launch(sopid, uiappid, params, [reply](bool ok) { reply.send(ok); });
}

void Screen::quit(const QStringList& items, const PendingReply& reply)
{
    apps.quit(items, [reply](bool ok) { reply.send(ok); });
}

int Screen::topWindowPid() const
{
    const AppProcess* top = apps.top();
    return top ? int(top->pid()) : 0;
}

QString Screen::visibleToast() const
{
    return toastClock.isValid() && toastClock.elapsed() < TOAST_MS ? toast : QString();
}

void Screen::replyBlack(const PendingReply& reply)
{
    const QSize want = size();
    if (blackPng.isEmpty() || blackSize != want) {
        blackPng = ScreenComposer::encode(ScreenComposer::black(want));
        blackSize = want;
    }
    reply.send(blackPng);
}

void Screen::screenImage(const PendingReply& reply)
{
    AppProcess* top = apps.top();
    if (!displayOn || proximityNear || !top) {
        replyBlack(reply);
        return;
    }
    top->frame([this, reply](const QImage& frame) {
        if (frame.isNull()) {
            replyBlack(reply);
            return;
        }
        reply.send(ScreenComposer::encode(ScreenComposer::compose(frame, panelOpen, visibleToast())));
    });
}

void Screen::sendKeyEvent(int type, int key, int modifiers, const QString& text, bool autorepeat,
                          const PendingReply& reply)
{
    // The agent's key texts always carry "true" in the autorepeat field, so only a repeat of
    // the virtual keyboard device counts as one for Back.
    deliverKey(type, key, modifiers, text, autorepeat, false, reply);
}

void Screen::deliverKey(int type, int key, int modifiers, const QString& text, bool autorepeat,
                        bool held, const PendingReply& reply)
{
    EventLog::write(QStringLiteral("key type %1 code %2%3").arg(type).arg(key)
                        .arg(autorepeat ? QStringLiteral(" repeat") : QString()));
    if (key == Qt::Key_Home) {
        if (type == QEvent::KeyPress && apps.home())
            apps.raise(apps.home());
        reply.send();
        return;
    }
    QPointer<AppProcess> top = apps.top();
    if (!top) {
        reply.send();
        return;
    }
    top->call(QStringLiteral("key"), {type, key, modifiers, text, autorepeat},
              [this, top, type, key, held, reply](const QDBusMessage& answer) {
                  const bool accepted = answer.type() == QDBusMessage::ReplyMessage
                      && !answer.arguments().isEmpty() && answer.arguments().first().toBool();
                  if (key == Qt::Key_Back && type == QEvent::KeyPress && !held && !accepted
                      && top && top != apps.home()) {
                      EventLog::write(QStringLiteral("back: %1 to the background").arg(top->name()));
                      apps.lower(top);
                  }
                  reply.send();
              });
}

void Screen::sendKey(int type, int code, const PendingReply& reply)
{
    const LinuxKeyMap::Key key = LinuxKeyMap::fromLinux(code);
    if (key.qtKey == 0 || type < 0 || type > 2) {
        EventLog::write(QStringLiteral("key type %1 linux code %2 ignored").arg(type).arg(code));
        reply.send();
        return;
    }
    const int qtType = type == 0 ? QEvent::KeyRelease : QEvent::KeyPress;
    deliverKey(qtType, key.qtKey, 0, key.text, type == 2, type == 2, reply);
}

void Screen::sendTouch(int type, int slot, int id, int x, int y, const PendingReply& reply)
{
    Q_UNUSED(id)
    // A dark screen takes no touches, as on the phone.
    if (!displayOn || proximityNear) {
        reply.send();
        return;
    }
    const bool starts = touches.isIdle();
    TouchTracker::Event event;
    if (!touches.update(type, slot, x, y, &event)) {
        reply.send();
        return;
    }
    if (starts)
        touchTarget = apps.top();
    if (touches.isIdle())
        EventLog::write(touches.gestureSummary()
                        + (touchTarget ? QStringLiteral(" on ") + touchTarget->name() : QString()));
    if (!touchTarget) {
        reply.send();
        return;
    }
    touchTarget->call(QStringLiteral("touch"),
                      {QVariant::fromValue(event.ids), QVariant::fromValue(event.states),
                       QVariant::fromValue(event.xs), QVariant::fromValue(event.ys)},
                      [reply](const QDBusMessage&) { reply.send(); });
}

void Screen::commitString(const QString& text, const PendingReply& reply)
{
    AppProcess* top = apps.top();
    EventLog::write(QStringLiteral("commit string of %1 character(s)%2").arg(text.size())
                        .arg(top ? QStringLiteral(" to ") + top->name() : QString()));
    if (!top) {
        reply.send();
        return;
    }
    top->call(QStringLiteral("commitString"), {text}, [reply](const QDBusMessage&) { reply.send(); });
}

void Screen::setDisplayOn(bool on)
{
    displayOn = on;
}

void Screen::setPanelOpen(bool open)
{
    panelOpen = open;
}

void Screen::showToast(const QString& text)
{
    toast = text;
    toastClock.start();
}

void Screen::setProximityNear(bool near)
{
    proximityNear = near;
}

void Screen::setOrientation(int value)
{
    if (value != 1 && value != 2 && value != 4 && value != 8)
        return;
    if (value == orientation)
        return;
    orientation = value;
    EventLog::write(QStringLiteral("orientation %1, screen %2x%3").arg(value)
                        .arg(size().width()).arg(size().height()));
    apps.resize(size());
}
