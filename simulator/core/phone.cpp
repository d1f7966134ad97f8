#include "phone.h"

#include "devicestate.h"
#include "screenlink.h"
#include "systemlog.h"

#include <QDateTime>

namespace {
// The panel the screen draws (the agent's "/setPanelState" opens panel 1).
const int kScreenPanel = 1;
}

Phone::Phone(DeviceState* state, SystemLog* log, ScreenLink* screen, QObject* parent)
    : QObject(parent)
    , m_state(state)
    , m_log(log)
    , m_screen(screen)
{
    connect(screen, &ScreenLink::appeared, this, &Phone::pushToScreen);
}

bool Phone::zelvikSwitch() const
{
    return m_state->value(QStringLiteral("zelvikSwitch"), false).toBool();
}

void Phone::setZelvikSwitch(bool on)
{
    m_state->setValue(QStringLiteral("zelvikSwitch"), on);
    m_log->write(QStringLiteral("automation switch %1").arg(on ? QStringLiteral("on") : QStringLiteral("off")));
}

void Phone::recordRestart()
{
    m_state->setValue(QStringLiteral("restartCount"), m_state->value(QStringLiteral("restartCount")).toInt() + 1);
    m_state->setValue(QStringLiteral("lastRestart"), QDateTime::currentDateTimeUtc().toString(Qt::ISODate));
    m_log->write(QStringLiteral("restart of system-main requested"));
}

int Phone::displayState() const
{
    return m_state->value(QStringLiteral("displayState"), DisplayOn).toInt();
}

bool Phone::setDisplayState(int state)
{
    static const char* const names[] = {"off", "on", "dim"};
    if (state < DisplayOff || state > DisplayDim)
        return false;
    m_state->setValue(QStringLiteral("displayState"), state);
    m_log->write(QStringLiteral("display %1").arg(QLatin1String(names[state])));
    m_screen->send(QStringLiteral("setDisplayOn"), {state != DisplayOff});
    return true;
}

bool Phone::panelState(int panel) const
{
    return m_state->entry(QStringLiteral("panels"), QString::number(panel), false).toBool();
}

void Phone::setPanelState(int panel, bool open)
{
    m_state->setEntry(QStringLiteral("panels"), QString::number(panel), open);
    m_log->write(QStringLiteral("panel %1 %2").arg(panel).arg(open ? QStringLiteral("open") : QStringLiteral("closed")));
    if (panel == kScreenPanel)
        m_screen->send(QStringLiteral("setPanelOpen"), {open});
}

QString Phone::latestToast() const
{
    return m_state->value(QStringLiteral("latestToast")).toString();
}

void Phone::showToast(const QString& text)
{
    m_state->setValue(QStringLiteral("latestToast"), text);
    m_log->write(QStringLiteral("toast: %1").arg(text));
    m_screen->send(QStringLiteral("showToast"), {text});
}

void Phone::pushToScreen()
{
    m_screen->send(QStringLiteral("setDisplayOn"), {displayState() != DisplayOff});
    m_screen->send(QStringLiteral("setPanelOpen"), {panelState(kScreenPanel)});
    if (!latestToast().isEmpty())
        m_screen->send(QStringLiteral("showToast"), {latestToast()});
}
