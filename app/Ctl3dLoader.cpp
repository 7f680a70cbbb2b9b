#include "app/Ctl3dLoader.h"

#include <string>
#include <vector>

namespace {

const char* const kEntryNames[11] = {
    "Ctl3dSubclassDlg", "Ctl3dSubclassDlgEx", "Ctl3dGetVer",       "Ctl3dEnabled",
    "Ctl3dCtlColorEx",  "Ctl3dColorChange",   "Ctl3dSubclassCtl",  "Ctl3dDlgFramePaint",
    "Ctl3dAutoSubclass", "Ctl3dRegister",     "Ctl3dUnregister",
};

enum EntryIndex { kSubclassDlg = 0, kColorChange = 5, kAutoSubclass = 8, kRegister = 9, kUnregister = 10 };

}  // namespace

LONG CopyCompressedFile(HFILE source, HFILE destination)
{
    typedef LONG(WINAPI * LzCopyProc)(INT, INT);
    OFSTRUCT found = {};
    if (OpenFile("LZ32.dll", &found, OF_EXIST) == HFILE_ERROR)
        return -100;
    HMODULE library = LoadLibraryA("LZ32.dll");
    if (!library)
        return -100;
    const LzCopyProc copy = (LzCopyProc)(void*)GetProcAddress(library, "LZCopy");
    const LONG result = copy ? copy((INT)source, (INT)destination) : -100;
    FreeLibrary(library);
    return result;
}

CCtl3dLoader::~CCtl3dLoader()
{
    if (m_hRegistered)
        CallInstance(kUnregister, m_hRegistered);
    if (m_hModule)
        FreeLibrary(m_hModule);
}

void CCtl3dLoader::BindEntryPoints()
{
    for (int i = 0; i < 11; ++i)
        m_pfnEntries[i] = GetProcAddress(m_hModule, kEntryNames[i]);
    m_bLoaded = 1;
}

int CCtl3dLoader::Load()
{
    std::vector<char> directory(255);
    UINT length = GetSystemDirectoryA(directory.data(), 242);
    if (length >= 242) {
        directory.resize(length + 13);
        length = GetSystemDirectoryA(directory.data(), length + 1);
    }
    if (length == 0) {
        m_nError = kCtl3dNoSystemDirectory;
        return 0;
    }
    std::string path(directory.data());
    if (path.back() != '\\')
        path += '\\';
    path += "ctl3d32.dll";
    OFSTRUCT info = {};
    HMODULE module = nullptr;
    if (OpenFile(path.c_str(), &info, OF_EXIST) != HFILE_ERROR)
        module = LoadLibraryA(path.c_str());
    if (!module && !GetModuleHandleA("ctl3d32")) {
        OFSTRUCT sourceInfo = {};
        const HFILE source = OpenFile("ctl3d32.dll", &sourceInfo, OF_READ);
        if (source != HFILE_ERROR) {
            OFSTRUCT targetInfo = {};
            const HFILE target = OpenFile(path.c_str(), &targetInfo, OF_CREATE);
            const LONG copied = target != HFILE_ERROR ? CopyCompressedFile(source, target) : 0;
            _lclose(source);
            if (target != HFILE_ERROR)
                _lclose(target);
            if (copied > 0)
                module = LoadLibraryA(path.c_str());
        }
    }
    if (module) {
        m_hModule = module;
        BindEntryPoints();
    }
    if (!m_bLoaded && m_nError == kCtl3dNoError)
        m_nError = kCtl3dLoadFailed;
    return 1;
}

bool CCtl3dLoader::Ready()
{
    m_nError = kCtl3dNoError;
    if (!m_bLoaded)
        Load();
    return m_bLoaded != 0;
}

BOOL CCtl3dLoader::CallInstance(int entry, HINSTANCE instance)
{
    if (!Ready())
        return 0;
    if (!m_pfnEntries[entry]) {
        m_nError = kCtl3dNoEntryPoint;
        return 0;
    }
    return ((InstanceProc)(void*)m_pfnEntries[entry])(instance);
}

BOOL CCtl3dLoader::SubclassDlg3d(HWND window, WORD controls)
{
    if (!Ready())
        return 0;
    if (!m_pfnEntries[kSubclassDlg]) {
        m_nError = kCtl3dNoEntryPoint;
        return 0;
    }
    return ((SubclassDlgProc)(void*)m_pfnEntries[kSubclassDlg])(window, controls);
}

BOOL CCtl3dLoader::ColorChange()
{
    if (!Ready())
        return 0;
    if (!m_pfnEntries[kColorChange]) {
        m_nError = kCtl3dNoEntryPoint;
        return 0;
    }
    return ((VoidProc)(void*)m_pfnEntries[kColorChange])();
}

BOOL CCtl3dLoader::Register(HINSTANCE instance)
{
    if (CallInstance(kRegister, instance) && CallInstance(kAutoSubclass, instance))
        m_hRegistered = instance;
    return m_hRegistered != nullptr;
}
