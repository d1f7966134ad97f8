#include "launchrunner.h"

#include "applicationbootstrap.h"
#include "cworkspace.h"

#include <QCoreApplication>
#include <QTimer>

namespace ORVANA {

namespace {
// The launch option comes from whoever started the program: runService marks services,
// a plain start counts as a start from the home screen.
CWorkspace::Option launchOption(QStringList& params)
{
    const int value = qEnvironmentVariableIntValue("ORVANA_LAUNCH_OPTION");
    params = QCoreApplication::arguments().mid(1);
    if (value < CWorkspace::LaunchFromHome || value > CWorkspace::LaunchRestored)
        return CWorkspace::LaunchFromHome;
    return static_cast<CWorkspace::Option>(value);
}
} // namespace

int LaunchRunner::run(CWorkspace* workspace)
{
    QCoreApplication* app = ApplicationBootstrap::ensure();
    if (workspace) {
        QTimer::singleShot(0, workspace, [workspace] {
            QStringList params;
            const CWorkspace::Option option = launchOption(params);
            workspace->onLaunchComplete(option, params);
        });
    }
    return app->exec();
}

} // namespace ORVANA
