#include "cworkspace.h"

#include "applicationbootstrap.h"

namespace ORVANA {

CWorkspace::CWorkspace(QObject* parent)
    : QObject(parent)
{
    ApplicationBootstrap::ensure();
}

CWorkspace::~CWorkspace() = default;

void CWorkspace::onLaunchComplete(Option, const QStringList&)
{
}

} // namespace ORVANA
