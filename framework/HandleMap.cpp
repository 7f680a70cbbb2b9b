#include "framework/HandleMap.h"

#include <vector>

namespace {

std::vector<void (*)()>& Cleanups()
{
    static std::vector<void (*)()> cleanups;
    return cleanups;
}

}  // namespace

void AfxRegisterTempMapCleanup(void (*cleanup)())
{
    Cleanups().push_back(cleanup);
}

void AfxDeleteTempMaps()
{
    for (void (*cleanup)() : Cleanups())
        cleanup();
}
