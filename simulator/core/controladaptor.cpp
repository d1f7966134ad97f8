#include "controladaptor.h"

#include "phone.h"
#include "simcontext.h"

ControlAdaptor::ControlAdaptor(const SimContext& context, QObject* parent)
    : QDBusAbstractAdaptor(parent)
    , m_context(context)
{
}

void ControlAdaptor::showToast(const QString& text)
{
    m_context.phone->showToast(text);
}
