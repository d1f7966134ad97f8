#pragma once

namespace ORVANA {

class CWorkspace;

// Entry of a service program: runs the event loop with the given workspace.
class OrvanaServiceCache
{
public:
    static int qApplication(int& argc, char** argv, CWorkspace* workspace);
};

} // namespace ORVANA
