// Stands in the update tests for another copy of the program, running from
// the version folder it is copied into: it holds its version as the program
// does at start, says "running", and runs until its input closes or it is
// killed.
#include "platform/updates/VersionFolders.h"

#include <cstdio>

int main()
{
    pivra::holdRunningVersion();
    std::puts("running");
    std::fflush(stdout);
    while (std::getchar() != EOF) {
    }
    return 0;
}
