#pragma once

#include <QCoreApplication>

namespace ORVANA {

// Creates the process's application object on first use, from the command line that the C
// runtime handed to the library when it was loaded. A workspace is built in main before the
// framework entry runs, yet its constructor already needs an application object.
class ApplicationBootstrap
{
public:
    using Factory = QCoreApplication* (*)(int& argc, char** argv);

    // The GUI part of the framework installs a factory for a QGuiApplication at load time.
    static void setFactory(Factory factory);
    static QCoreApplication* ensure();
    static void setCommandLine(int argc, char** argv);
};

} // namespace ORVANA
