// The DLL's two exports. The engine directory the loader passes is "<base>\MIREVANT\"; without one
// (the DLL was found through the search path) the engine takes its own location: the folder above
// "CENGINE" when it sits in one, else its own folder.

#include <windows.h>

#include <string>
#include <strings.h>

#include "engine/EngineInstance.h"

namespace {

std::string OwnDirectory()
{
    HMODULE self = nullptr;
    char path[MAX_PATH] = {};
    if (!GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                                GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            reinterpret_cast<LPCSTR>(&OwnDirectory), &self) ||
        GetModuleFileNameA(self, path, sizeof path) == 0)
        return std::string();
    std::string directory(path);
    directory.erase(directory.find_last_of("\\/") + 1);
    std::string folder = directory.substr(0, directory.size() - 1);
    size_t slash = folder.find_last_of("\\/");
    if (slash != std::string::npos && strcasecmp(folder.c_str() + slash + 1, "CENGINE") == 0)
        directory.erase(slash + 1);
    return directory;
}

}  // namespace

extern "C" __declspec(dllexport) CCmsEngine* __cdecl GetCMSInstance(const char* engineDirectory)
{
    std::string root = engineDirectory != nullptr && *engineDirectory != '\0' ? engineDirectory
                                                                              : OwnDirectory();
    return new CEngineInstance(root);
}

extern "C" __declspec(dllexport) void __cdecl FreeCMSInstance(CCmsEngine* instance)
{
    delete static_cast<CEngineInstance*>(instance);
}
