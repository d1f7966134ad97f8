#pragma once

#include <QString>
#include <QStringList>

namespace ORVANA {

class CGuiApplication
{
public:
    // Starts the named service program as a detached process. The program is looked up
    // beside the calling program first, then on PATH. Returns false when it cannot start.
    static bool runService(const QString& name, const QStringList& args);
};

} // namespace ORVANA
