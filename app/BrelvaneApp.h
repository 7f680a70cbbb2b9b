#pragma once

// The application object of brelvane: the start-up that builds every global service in a fixed
// order and decides between an interactive and a batch start, the batch command interpreter's three
// entry points, and the exit that tears the services down again. The process exit code tells a
// batch caller what happened (BatchOutput.h).

#include "app/BrelvaneShell.h"
#include "app/Ctl3dLoader.h"
#include "colour/EngineScanColour.h"
#include "framework/App.h"
#include "framework/CmdUI.h"
#include "framework/String.h"

#include <cstdint>

class CSplashWnd;

class CBrelvaneApp : public CWinApp {
    DECLARE_MESSAGE_MAP()
public:
    CBrelvaneApp();

    BOOL InitInstance() override;
    int ExitInstance() override;
    BOOL OnIdle(LONG count) override;

    // Applies the keywords of the command string and runs its output command; 1 when one ran (the
    // main window is then destroyed), else 0.
    virtual int RunBatchCommands(CString commandLine);
    // Whether the string (any case) asks for a batch start; one that names a response file always
    // does, so that no line taken from a file opens the window.
    virtual int IsBatchCommandLine(CString commandLine);
    virtual int ExpandResponseFiles(CString& commandLine);

    // The title, the image-mode key section and the settings record's version word; accepts every
    // device.
    BOOL CheckScannerFirmware(CString& title, uint16_t& versionWord);

    // The localized menu bar on the main window; in Tarvoset mode the window has none.
    void BuildMainMenu();

    int GetExitCode() const { return m_nExitCode; }
    CCtl3dLoader& Ctl3d() { return m_Ctl3d; }
    int32_t m_bProfilesEnabled = 1;

protected:
    // The File and Quality menus' commands; each refreshes the form afterwards.
    void OnOpenSettings();
    void OnSaveSettingsAs();
    void OnSaveSettings();
    void OnLoadDefaultSettings();
    void OnQuality(UINT id);
    // The Quality menu marks the record's quality.
    void OnUpdateQuality(CCmdUI* ui);

private:
    void UseProgramProfile();
    void RestoreProfile();
    void DetectWindowsClass();
    BOOL StartServices();
    void CreateMainFrame(const CString& title);
    void AnswerBoxesInLog();
    void CreateSplash();
    void DestroySplash();
    BOOL CheckResponseFile();
    BOOL FailStart();

    CBrelvaneShell m_Shell;
    CEngineScanColour m_ScanColour;
    CCtl3dLoader m_Ctl3d;
    CSplashWnd* m_pSplash = nullptr;
    CString m_strProfilePath;
    LPCSTR m_pszSavedProfile = nullptr;
    bool m_bProfileReplaced = false;
    int m_nExitCode;
};
