#include "orvanaservicecache.h"

#include "applicationbootstrap.h"
#include "launchrunner.h"

namespace ORVANA {

int OrvanaServiceCache::qApplication(int& argc, char** argv, CWorkspace* workspace)
{
    ApplicationBootstrap::setCommandLine(argc, argv);
    return LaunchRunner::run(workspace);
}

} // namespace ORVANA
