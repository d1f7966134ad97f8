#include "zelvikadaptor.h"

#include "fileoperations.h"
#include "keyinput.h"
#include "phone.h"
#include "screenlink.h"
#include "sensors.h"
#include "simcontext.h"
#include "systemlog.h"

namespace {
const char* const kTouchTypes[] = {"release", "press", "move"};
}

ZelvikAdaptor::ZelvikAdaptor(const SimContext& context, QObject* parent)
    : QDBusAbstractAdaptor(parent)
    , m_context(context)
{
}

bool ZelvikAdaptor::getZelvikSwitch()
{
    return m_context.phone->zelvikSwitch();
}

QByteArray ZelvikAdaptor::getScreenImage(const QDBusMessage& message)
{
    m_context.screen->forward(message, QStringLiteral("screenImage"), {}, QByteArray());
    return QByteArray();
}

int ZelvikAdaptor::getTopWindowPid(const QDBusMessage& message)
{
    m_context.screen->forward(message, QStringLiteral("topWindowPid"), {}, 0);
    return 0;
}

void ZelvikAdaptor::sendKeyEvent(const QString& event)
{
    m_context.keys->sendKeyEvent(event);
}

void ZelvikAdaptor::sendKeyEventWithUInput(int type, int code)
{
    m_context.keys->sendInputKey(type, code);
}

void ZelvikAdaptor::sendTouchEventWithUInput(int type, int slot, int id, int x, int y)
{
    // A gesture is logged at its ends; moves would flood the log.
    if (type == 0 || type == 1)
        m_context.log->write(QStringLiteral("touch %1 slot %2 at %3,%4").arg(QLatin1String(kTouchTypes[type])).arg(slot).arg(x).arg(y));
    m_context.screen->send(QStringLiteral("sendTouch"), {type, slot, id, x, y});
}

void ZelvikAdaptor::emitSendCommitString(const QString& text)
{
    m_context.log->write(QStringLiteral("commit string of %1 characters").arg(text.size()));
    m_context.screen->send(QStringLiteral("commitString"), {text});
}

QString ZelvikAdaptor::getLatestToast()
{
    return m_context.phone->latestToast();
}

int ZelvikAdaptor::getScreenOrientation()
{
    return m_context.sensors->screenOrientation();
}

void ZelvikAdaptor::sendOrientationEvent(int orientation)
{
    m_context.sensors->sendOrientation(orientation);
}

void ZelvikAdaptor::sendAmbientLightEvent(int lux)
{
    m_context.sensors->sendAmbientLight(lux);
}

void ZelvikAdaptor::sendProximityEvent(bool withinProximity)
{
    m_context.sensors->sendProximity(withinProximity);
}

void ZelvikAdaptor::recoverOrientationSensor()
{
    m_context.sensors->recoverOrientation();
}

void ZelvikAdaptor::recoverAmbientLightSensor()
{
    m_context.sensors->recoverAmbientLight();
}

void ZelvikAdaptor::recoverProximitySensor()
{
    m_context.sensors->recoverProximity();
}

bool ZelvikAdaptor::logged(bool result, const QString& what)
{
    m_context.log->write(what + (result ? QStringLiteral(": ok") : QStringLiteral(": failed")));
    return result;
}

bool ZelvikAdaptor::fileExist(const QString& path)
{
    return FileOperations::exists(path);
}

bool ZelvikAdaptor::fileRemove(const QString& path)
{
    return logged(FileOperations::removeFile(path), QStringLiteral("remove file \"%1\"").arg(path));
}

bool ZelvikAdaptor::mkdir(const QString& path)
{
    return logged(FileOperations::makeDirectory(path), QStringLiteral("make folder \"%1\"").arg(path));
}

bool ZelvikAdaptor::fileMove(const QString& source, const QString& target)
{
    return logged(FileOperations::move(source, target), QStringLiteral("move \"%1\" to \"%2\"").arg(source, target));
}

bool ZelvikAdaptor::fileCopy(const QString& source, const QString& target)
{
    return logged(FileOperations::copy(source, target), QStringLiteral("copy \"%1\" to \"%2\"").arg(source, target));
}

QByteArray ZelvikAdaptor::dirList(const QString& path)
{
    return FileOperations::list(path);
}

bool ZelvikAdaptor::dirRemove(const QString& path)
{
    return logged(FileOperations::removeDirectory(path), QStringLiteral("remove folder \"%1\"").arg(path));
}

bool ZelvikAdaptor::dirCopy(const QString& source, const QString& target)
{
    return logged(FileOperations::copyDirectory(source, target),
                  QStringLiteral("copy folder \"%1\" to \"%2\"").arg(source, target));
}
