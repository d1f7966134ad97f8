#include "logwriter.h"
#include "zelvik_support_server_workspace.h"

#include <orvanaservicecache.h>

int main(int argc, char** argv)
{
    // Lines as written: the agent's begin with the writing function, the server's with its class.
    qSetMessagePattern(QStringLiteral("%{message}"));
    // Debug lines stay on as shipped; a writer thread keeps them off the handler threads.
    tarsel::LogWriter::install();
    // Threads other than the main one (the request handlers) run Qt's own event loop: the GLib
    // loop wakes itself through a pipe whenever a socket notifier is switched, several
    // microseconds on every request, and nothing on those threads uses GLib.
    if (!qEnvironmentVariableIsSet("QT_NO_THREADED_GLIB"))
        qputenv("QT_NO_THREADED_GLIB", "1");
    zelvik_support_server_Workspace* workspace = new zelvik_support_server_Workspace();
    return ORVANA::OrvanaServiceCache::qApplication(argc, argv, workspace);
}
