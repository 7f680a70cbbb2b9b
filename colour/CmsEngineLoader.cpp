#include "colour/CmsEngineLoader.h"

#include <cstdio>
#include <cstring>
#include <new>

#include "core/cms/CmsEngine.h"
#include "core/cms/CmsEngineInstance.h"
#include "core/messages/MessageReporter.h"

CCmsEngineLoader* g_pCmsEngineLoader = nullptr;

namespace {

constexpr int kMsgLoaderNoMemory = 3515;

struct LoadErrorMessage {
    uintptr_t code;
    int messageId;
};

constexpr LoadErrorMessage kLoadErrorMessages[] = {
    {0, 3479},  {2, 3480},  {3, 3481},  {5, 3482},  {6, 3483},  {8, 3484},  {10, 3485},
    {11, 3486}, {12, 3487}, {13, 3488}, {14, 3489}, {15, 3490}, {16, 3491}, {19, 3492},
    {20, 3493}, {21, 3494},
};

bool IsMissingFile(uintptr_t code) { return code == kLoadFileNotFound || code == kLoadPathNotFound; }

}  // namespace

void FormatEngineDllName(int version, char* name)
{
    std::snprintf(name, 16, "CMS%03d32.DLL", version);
}

uintptr_t MapLoadError(DWORD error)
{
    switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_MOD_NOT_FOUND:
        return kLoadFileNotFound;
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
    case ERROR_BAD_PATHNAME:
    case ERROR_INVALID_DRIVE:
        return kLoadPathNotFound;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
        return 5;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY:
        return 8;
    case ERROR_OLD_WIN_VERSION:
        return 10;
    case ERROR_BAD_FORMAT:
    case ERROR_BAD_EXE_FORMAT:
    case ERROR_INVALID_EXE_SIGNATURE:
        return 11;
    case ERROR_APP_WRONG_OS:
        return 12;
    default:
        // Initialisation failures, missing imports and anything else: the library is unusable.
        return 20;
    }
}

int LoadErrorMessageId(uintptr_t code)
{
    for (const LoadErrorMessage& entry : kLoadErrorMessages)
        if (entry.code == code)
            return entry.messageId;
    // A code without a message of its own still must not end the start-up silently.
    return kLoadErrorMessages[0].messageId;
}

CCmsEngineLoader::CCmsEngineLoader() { LoadColourEngine(kEngineIniFile); }

CCmsEngineLoader::CCmsEngineLoader(const char* iniFile) { LoadColourEngine(iniFile); }

CCmsEngineLoader::~CCmsEngineLoader()
{
    if (m_hModule == nullptr)
        return;
    delete[] m_pszEngineDir;
    FreeLibrary(m_hModule);
}

uintptr_t CCmsEngineLoader::GetModule() const
{
    return m_hModule != nullptr ? reinterpret_cast<uintptr_t>(m_hModule) : m_nLoadError;
}

// Keeps the failure that tells the user most: the first one, unless it only says "missing" and a
// later try found a file it could not load.
void CCmsEngineLoader::NoteFailure(uintptr_t code, const char* file)
{
    if (m_szFailedFile[0] != '\0' && !(IsMissingFile(m_nLoadError) && !IsMissingFile(code)))
        return;
    m_nLoadError = code;
    std::snprintf(m_szFailedFile, sizeof m_szFailedFile, "%s", file);
}

void CCmsEngineLoader::LoadColourEngine(const char* iniFile)
{
    char baseDir[256] = {};
    GetPrivateProfileStringA(kEngineIniSection, "BaseDir", "", baseDir, sizeof baseDir, iniFile);
    if (baseDir[0] == '\0') {
        FormatEngineDllName(kEngineVersions[0], m_szFailedFile);
        return;
    }
    UINT previous = SetErrorMode(SEM_NOOPENFILEERRORBOX);
    SetErrorMode(previous | SEM_NOOPENFILEERRORBOX);

    size_t length = std::strlen(baseDir);
    if (baseDir[length - 1] == '\\')
        baseDir[length - 1] = '\0';

    bool fromBaseDir = false;
    for (int version : kEngineVersions)
        if (LoadEngineDll(baseDir, version, fromBaseDir))
            break;
    if (m_hModule == nullptr || !fromBaseDir)
        return;
    m_pszEngineDir = new char[std::strlen(baseDir) + sizeof "\\MIREVANT\\"];
    std::sprintf(m_pszEngineDir, "%s\\MIREVANT\\", baseDir);
}

bool CCmsEngineLoader::LoadEngineDll(const char* baseDir, int version, bool& fromBaseDir)
{
    char name[16];
    FormatEngineDllName(version, name);
    char path[256];
    int length = std::snprintf(path, sizeof path, "%s%s%s", baseDir, "\\MIREVANT\\CENGINE\\", name);
    if (length < static_cast<int>(sizeof path)) {
        m_hModule = LoadLibraryA(path);
        if (m_hModule != nullptr) {
            fromBaseDir = true;
            return true;
        }
        NoteFailure(MapLoadError(GetLastError()), path);
    } else {
        // A cut path would name another file; count it as a path that does not exist.
        NoteFailure(kLoadPathNotFound, path);
    }
    m_hModule = LoadLibraryA(name);
    if (m_hModule != nullptr) {
        fromBaseDir = false;
        return true;
    }
    NoteFailure(MapLoadError(GetLastError()), name);
    return false;
}

CCmsEngine* CCmsEngineLoader::GetInstance(const char* argument)
{
    if (m_hModule == nullptr)
        return nullptr;
    auto getInstance = reinterpret_cast<GetCmsInstanceFn>(
        reinterpret_cast<void*>(GetProcAddress(m_hModule, kGetCmsInstanceExport)));
    if (getInstance == nullptr)
        return nullptr;
    return getInstance(m_pszEngineDir != nullptr ? m_pszEngineDir : argument);
}

void CCmsEngineLoader::FreeInstance(CCmsEngine* instance)
{
    if (instance == nullptr || m_hModule == nullptr)
        return;
    auto freeInstance = reinterpret_cast<FreeCmsInstanceFn>(
        reinterpret_cast<void*>(GetProcAddress(m_hModule, kFreeCmsInstanceExport)));
    if (freeInstance != nullptr)
        freeInstance(instance);
}

bool OpenColourEngine(const char* iniFile)
{
    if (g_pCmsEngineLoader == nullptr) {
        g_pCmsEngineLoader = iniFile != nullptr ? new (std::nothrow) CCmsEngineLoader(iniFile)
                                                : new (std::nothrow) CCmsEngineLoader();
        if (g_pCmsEngineLoader == nullptr) {
            ReportMessage(kMsgLoaderNoMemory);
            return false;
        }
    }
    if (!g_pCmsEngineLoader->IsLoaded()) {
        uintptr_t code = g_pCmsEngineLoader->GetModule();
        char file[MAX_PATH];
        std::snprintf(file, sizeof file, "%s", g_pCmsEngineLoader->GetFailedFile());
        delete g_pCmsEngineLoader;
        g_pCmsEngineLoader = nullptr;
        ReportMessage(LoadErrorMessageId(code), file);
        return false;
    }
    g_pCmsEngine = g_pCmsEngineLoader->GetInstance(nullptr);
    return true;
}

void CloseColourEngine()
{
    if (g_pCmsEngineLoader == nullptr)
        return;
    g_pCmsEngineLoader->FreeInstance(g_pCmsEngine);
    g_pCmsEngine = nullptr;
    delete g_pCmsEngineLoader;
    g_pCmsEngineLoader = nullptr;
}
