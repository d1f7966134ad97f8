#include "zelvik_support_workspace.h"

#include <orvanaguicache.h>

int main(int argc, char* argv[])
{
    zelvik_support_Workspace workspace;
    return ORVANA::OrvanaGuiCache::qApplication(argc, argv, &workspace);
}
