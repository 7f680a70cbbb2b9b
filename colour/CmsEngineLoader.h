#pragma once

// Finds the colour engine DLL below the engine's base directory ("MIREVANT.INI", section
// "Zelk CMS", key BaseDir), loads it, hands out its one instance and unloads it at exit. Both
// programs carry this loader.

#include <windows.h>

#include <cstdint>

#include "core/cms/CmsEngineIni.h"

class CCmsEngine;

// Engine DLL versions in the order they are tried.
constexpr int kEngineVersions[] = {27, 28, 29, 30, 26};

// Load error codes of the loader (the classic module-loading codes).
constexpr uintptr_t kLoadOutOfMemory = 0;
constexpr uintptr_t kLoadFileNotFound = 2;
constexpr uintptr_t kLoadPathNotFound = 3;

class CCmsEngineLoader {
public:
    // Runs the search (LoadColourEngine) with the Windows directory's "mirevant.ini".
    CCmsEngineLoader();
    // The same with another engine INI file: a full path, so tests need not touch the Windows
    // directory.
    explicit CCmsEngineLoader(const char* iniFile);
    ~CCmsEngineLoader();
    CCmsEngineLoader(const CCmsEngineLoader&) = delete;
    CCmsEngineLoader& operator=(const CCmsEngineLoader&) = delete;

    // Null when no DLL is loaded or it lacks "GetCMSInstance"; the export gets the engine
    // directory when the DLL came from below the base directory, else the argument.
    CCmsEngine* GetInstance(const char* argument);
    void FreeInstance(CCmsEngine* instance);

    // The module handle (above 32) or the load error code (32 or less).
    uintptr_t GetModule() const;
    bool IsLoaded() const { return m_hModule != nullptr; }
    // "<base>\MIREVANT\" when the DLL came from below the base directory, else null.
    const char* GetEngineDirectory() const { return m_pszEngineDir; }
    // The file a failure names: the try whose error tells most (see LoadColourEngine).
    const char* GetFailedFile() const { return m_szFailedFile; }

private:
    void LoadColourEngine(const char* iniFile);
    bool LoadEngineDll(const char* baseDir, int version, bool& fromBaseDir);
    void NoteFailure(uintptr_t code, const char* file);

    HMODULE m_hModule = nullptr;
    uintptr_t m_nLoadError = kLoadFileNotFound;
    char* m_pszEngineDir = nullptr;
    char m_szFailedFile[MAX_PATH] = {};
};

// "CMS%03d32.DLL" of the version into name (at least 16 characters).
void FormatEngineDllName(int version, char* name);

// The loader's code for a Win32 error of LoadLibrary.
uintptr_t MapLoadError(DWORD error);

// The catalog message for a load error code.
int LoadErrorMessageId(uintptr_t code);

// The program's loader, kept from start-up to exit; null while there is none.
extern CCmsEngineLoader* g_pCmsEngineLoader;

// Start-up: makes the loader when none exists and sets g_pCmsEngine from its instance. When the
// engine cannot be loaded the loader is destroyed, the failure reported naming the file tried,
// and the result is false. iniFile null means the Windows directory's "mirevant.ini".
bool OpenColourEngine(const char* iniFile = nullptr);
// Exit: frees the instance, then unloads the DLL.
void CloseColourEngine();
