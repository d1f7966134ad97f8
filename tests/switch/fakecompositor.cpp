#include "fakecompositor.h"

#include <cstdio>

FakeCompositor::FakeCompositor(QObject* parent, bool switchOn)
    : QDBusAbstractAdaptor(parent)
    , m_switchOn(switchOn)
{
}

bool FakeCompositor::getZelvikSwitch()
{
    record(QStringLiteral("getZelvikSwitch"));
    return m_switchOn;
}

void FakeCompositor::setZelvikSwitch(bool on)
{
    m_switchOn = on;
    record(on ? QStringLiteral("setZelvikSwitch true") : QStringLiteral("setZelvikSwitch false"));
}

void FakeCompositor::restartSystemMain()
{
    record(QStringLiteral("restartSystemMain"));
}

// Written before the reply goes out, so a caller that got its reply finds the line there.
void FakeCompositor::record(const QString& call)
{
    std::fputs(qPrintable(call + QLatin1Char('\n')), stdout);
    std::fflush(stdout);
}
