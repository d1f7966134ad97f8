#include "fakescreen.h"

#include <QDBusConnection>
#include <QDBusMetaType>

bool FakeScreen::attach()
{
    qDBusRegisterMetaType<QList<int>>();
    QDBusConnection bus = QDBusConnection::systemBus();
    return bus.registerObject(QStringLiteral("/screen"), this, QDBusConnection::ExportAllSlots)
        && bus.registerService(QStringLiteral("com.orvana.sim.Screen"));
}

void FakeScreen::detach()
{
    QDBusConnection bus = QDBusConnection::systemBus();
    bus.unregisterService(QStringLiteral("com.orvana.sim.Screen"));
    bus.unregisterObject(QStringLiteral("/screen"));
}

void FakeScreen::record(const QString& method, const QStringList& args)
{
    calls << method + QLatin1Char(':') + args.join(QLatin1Char(','));
}

bool FakeScreen::launch(const QString& sopid, const QString& uiappid, const QStringList& params, uint uid)
{
    record(QStringLiteral("launch"), QStringList{sopid, uiappid, params.join(QLatin1Char('|')), QString::number(uid)});
    return true;
}

bool FakeScreen::quit(const QStringList& items)
{
    record(QStringLiteral("quit"), items);
    return true;
}

int FakeScreen::topWindowPid()
{
    return 4242;
}

QByteArray FakeScreen::screenImage()
{
    return QByteArray("\x89PNG", 4);
}

void FakeScreen::sendKeyEvent(int type, int key, int modifiers, const QString& text, bool autorepeat)
{
    record(QStringLiteral("sendKeyEvent"), {QString::number(type), QString::number(key), QString::number(modifiers),
                                            text, autorepeat ? QStringLiteral("true") : QStringLiteral("false")});
}

void FakeScreen::sendKey(int type, int code)
{
    record(QStringLiteral("sendKey"), {QString::number(type), QString::number(code)});
}

void FakeScreen::sendTouch(int type, int slot, int id, int x, int y)
{
    record(QStringLiteral("sendTouch"), {QString::number(type), QString::number(slot), QString::number(id),
                                         QString::number(x), QString::number(y)});
}

void FakeScreen::commitString(const QString& text)
{
    record(QStringLiteral("commitString"), {text});
}

QList<int> FakeScreen::processList()
{
    return {11, 12};
}

QString FakeScreen::sopidByPid(int pid)
{
    return QStringLiteral("pkg.%1").arg(pid);
}

void FakeScreen::setDisplayOn(bool on)
{
    record(QStringLiteral("setDisplayOn"), {on ? QStringLiteral("true") : QStringLiteral("false")});
}

void FakeScreen::setPanelOpen(bool open)
{
    record(QStringLiteral("setPanelOpen"), {open ? QStringLiteral("true") : QStringLiteral("false")});
}

void FakeScreen::showToast(const QString& text)
{
    record(QStringLiteral("showToast"), {text});
}

void FakeScreen::setProximityNear(bool near)
{
    record(QStringLiteral("setProximityNear"), {near ? QStringLiteral("true") : QStringLiteral("false")});
}

void FakeScreen::setOrientation(int orientation)
{
    record(QStringLiteral("setOrientation"), {QString::number(orientation)});
}
