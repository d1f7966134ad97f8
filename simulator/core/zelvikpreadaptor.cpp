#include "zelvikpreadaptor.h"

#include "phone.h"
#include "simcontext.h"

ZelvikPreAdaptor::ZelvikPreAdaptor(const SimContext& context, QObject* parent)
    : QDBusAbstractAdaptor(parent)
    , m_context(context)
{
}

bool ZelvikPreAdaptor::getZelvikSwitch()
{
    return m_context.phone->zelvikSwitch();
}

void ZelvikPreAdaptor::setZelvikSwitch(bool on)
{
    m_context.phone->setZelvikSwitch(on);
}

void ZelvikPreAdaptor::restartSystemMain()
{
    m_context.phone->recordRestart();
}
