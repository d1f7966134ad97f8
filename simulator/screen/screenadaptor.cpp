#include "screenadaptor.h"

#include <QDBusConnection>

#include "pendingreply.h"
#include "screen.h"

namespace {

PendingReply later(const QDBusMessage& message)
{
    return PendingReply(QDBusConnection::systemBus(), message);
}

} // namespace

ScreenAdaptor::ScreenAdaptor(Screen* parent) : QDBusAbstractAdaptor(parent), screen(parent)
{
}

bool ScreenAdaptor::launch(const QString& sopid, const QString& uiappid, const QStringList& params,
                           uint uid, const QDBusMessage& message)
{
    screen->launch(sopid, uiappid, params, uid, later(message));
    return false;
}

bool ScreenAdaptor::quit(const QStringList& items, const QDBusMessage& message)
{
    screen->quit(items, later(message));
    return false;
}

int ScreenAdaptor::topWindowPid()
{
    return screen->topWindowPid();
}

QByteArray ScreenAdaptor::screenImage(const QDBusMessage& message)
{
    screen->screenImage(later(message));
    return QByteArray();
}

void ScreenAdaptor::sendKeyEvent(int type, int key, int modifiers, const QString& text,
                                 bool autorepeat, const QDBusMessage& message)
{
    screen->sendKeyEvent(type, key, modifiers, text, autorepeat, later(message));
}

void ScreenAdaptor::sendKey(int type, int code, const QDBusMessage& message)
{
    screen->sendKey(type, code, later(message));
}

void ScreenAdaptor::sendTouch(int type, int slot, int id, int x, int y, const QDBusMessage& message)
{
    screen->sendTouch(type, slot, id, x, y, later(message));
}

void ScreenAdaptor::commitString(const QString& text, const QDBusMessage& message)
{
    screen->commitString(text, later(message));
}

QList<int> ScreenAdaptor::processList()
{
    return screen->applications().processList();
}

QString ScreenAdaptor::sopidByPid(int pid)
{
    return screen->applications().sopidByPid(pid);
}

void ScreenAdaptor::setDisplayOn(bool on)
{
    screen->setDisplayOn(on);
}

void ScreenAdaptor::setPanelOpen(bool open)
{
    screen->setPanelOpen(open);
}

void ScreenAdaptor::showToast(const QString& text)
{
    screen->showToast(text);
}

void ScreenAdaptor::setProximityNear(bool near)
{
    screen->setProximityNear(near);
}

void ScreenAdaptor::setOrientation(int orientation)
{
    screen->setOrientation(orientation);
}
