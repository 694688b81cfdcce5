// Prints the work directory as the tool resolves it. The driver manager caches
// its configuration for the life of a process, so each configuration a test
// tries is looked up in a process of its own.
#include <cstdio>

#include "app/WorkDirectory.h"

int main() {
    std::printf("%s", ResolveWorkDirectory().GetString());
    return 0;
}
