#include "applicationbootstrap.h"

namespace ORVANA {

namespace {
int commandLineCount = 0;
char** commandLine = nullptr;
char* emptyCommandLine[] = {const_cast<char*>("orvana-app"), nullptr};
ApplicationBootstrap::Factory factory = nullptr;

// glibc hands argc, argv and envp to the initialisers of every loaded object.
void captureCommandLine(int argc, char** argv, char**)
{
    ApplicationBootstrap::setCommandLine(argc, argv);
}
__attribute__((section(".init_array"), used)) void (*captureCommandLineEntry)(int, char**, char**) =
    captureCommandLine;
} // namespace

void ApplicationBootstrap::setFactory(Factory f)
{
    factory = f;
}

void ApplicationBootstrap::setCommandLine(int argc, char** argv)
{
    if (argc > 0 && argv) {
        commandLineCount = argc;
        commandLine = argv;
    }
}

QCoreApplication* ApplicationBootstrap::ensure()
{
    if (QCoreApplication* app = QCoreApplication::instance())
        return app;
    if (!commandLine) {
        commandLineCount = 1;
        commandLine = emptyCommandLine;
    }
    // QCoreApplication keeps a reference to the count for its whole life.
    static int count = commandLineCount;
    return factory ? factory(count, commandLine) : new QCoreApplication(count, commandLine);
}

} // namespace ORVANA
