#include "framework/Module.h"

namespace {

HINSTANCE g_instance = nullptr;
HINSTANCE g_resources = nullptr;

}  // namespace

HINSTANCE AfxGetInstanceHandle()
{
    return g_instance ? g_instance : ::GetModuleHandleA(nullptr);
}

HINSTANCE AfxGetResourceHandle()
{
    return g_resources ? g_resources : AfxGetInstanceHandle();
}

void AfxSetInstanceHandle(HINSTANCE instance)
{
    g_instance = instance;
}

void AfxSetResourceHandle(HINSTANCE resources)
{
    g_resources = resources;
}
