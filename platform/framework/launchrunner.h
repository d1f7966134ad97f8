#pragma once

namespace ORVANA {

class CWorkspace;

// Shared tail of both framework entries: report the launch to the workspace, run the loop.
class LaunchRunner
{
public:
    static int run(CWorkspace* workspace);
};

} // namespace ORVANA
