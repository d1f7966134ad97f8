#include "zelvik_support_server_workspace.h"

#include <orvanaservicecache.h>

int main(int argc, char** argv)
{
    zelvik_support_server_Workspace* workspace = new zelvik_support_server_Workspace();
    return ORVANA::OrvanaServiceCache::qApplication(argc, argv, workspace);
}
