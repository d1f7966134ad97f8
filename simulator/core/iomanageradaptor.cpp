#include "iomanageradaptor.h"

#include "packagestore.h"
#include "screenlink.h"
#include "simcontext.h"
#include "systemlog.h"

namespace {
const char* const kLaunchHeader = "PowerLaunchRunApp";
}

IOManagerAdaptor::IOManagerAdaptor(const SimContext& context, QObject* parent)
    : QDBusAbstractAdaptor(parent)
    , m_context(context)
{
}

bool IOManagerAdaptor::sendAppData(const QString& command, const QDBusMessage& message)
{
    const QStringList fields = command.split(QLatin1Char('\t'));
    bool uidOk = false;
    const uint uid = fields.value(1).toUInt(&uidOk);
    if (fields.size() < 4 || fields[0] != QLatin1String(kLaunchHeader) || !uidOk) {
        m_context.log->write(QStringLiteral("malformed launch command ignored"));
        return false;
    }
    const QString sopid = fields[2];
    const QString uiappid = fields[3];
    QStringList params = fields.mid(4);
    // The command ends with the tab after uiappid when there are no parameters.
    if (params == QStringList{QString()})
        params.clear();
    if (!m_context.packages->isInstalled(sopid)) {
        m_context.log->write(QStringLiteral("launch of %1/%2 refused: not installed").arg(sopid, uiappid));
        return false;
    }
    m_context.log->write(QStringLiteral("launch %1/%2 for user %3").arg(sopid, uiappid).arg(uid));
    m_context.screen->forward(message, QStringLiteral("launch"), {sopid, uiappid, params, uid}, false);
    return false;
}

bool IOManagerAdaptor::quitApps(const QStringList& items, const QDBusMessage& message)
{
    m_context.log->write(QStringLiteral("quit %1").arg(items.join(QLatin1Char(' '))));
    m_context.screen->forward(message, QStringLiteral("quit"), {items}, false);
    return false;
}
