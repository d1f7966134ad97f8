#include "logwriter.h"
#include "zelvik_support_server_workspace.h"

#include <orvanaservicecache.h>

int main(int argc, char** argv)
{
    // Lines as written: the agent's begin with the writing function, the server's with its class.
    qSetMessagePattern(QStringLiteral("%{message}"));
    // Debug lines stay on as shipped; a writer thread keeps them off the handler threads.
    tarsel::LogWriter::install();
    zelvik_support_server_Workspace* workspace = new zelvik_support_server_Workspace();
    return ORVANA::OrvanaServiceCache::qApplication(argc, argv, workspace);
}
