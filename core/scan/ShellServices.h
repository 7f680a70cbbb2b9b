#pragma once

// What the scan core asks of the program around it (the application shell, its main view and its
// dialogs): one table of operations, shaped like the colour engine's table and the device-I/O seam.
// The core calls Shell(); the application installs its own table once at start-up. Until it does
// (and in batch tools and tests) the defaults below stand in: they show nothing, choose nothing,
// load nothing and switch nothing on, measure drives through the file system, read a plain bitmap
// and answer boxes with the system's message box. A test derives a table overriding only what it
// plays a part in and installs it for its own life with CShellServicesScope.

#include <windows.h>

#include <cstdint>

class CDib;
class CFile;
class CObList;
class CToneCurveSet;
class CWnd;

// The free bytes of the drive that holds a path, and the drive's number.
struct CDriveSpace {
    uint64_t freeBytes;
    uint16_t drive;
};

class CShellServices {
public:
    virtual ~CShellServices() = default;

    // The status-bar text of a scan step (a message id and its value, such as a percentage).
    virtual void ShowScanStatus(int messageId, int32_t value);
    // The per-model invert-image option of an image type: non-zero inverts.
    virtual int IsModeEnabled(int32_t imageType);
    // Whether 16-bit samples of an image type are stored high byte first.
    virtual int GetSwapBytes(int32_t imageType);
    // The main view's engine-correction switch: non-zero lets the colour engine correct negatives,
    // 0 the driver.
    virtual int UsesEngineCorrection();
    // The drive that holds a path, for the scan's disk-space check.
    virtual CDriveSpace DriveSpace(const char* path);

    // Reads the stored preview (from its 14-byte file header on) into a new bitmap; null when the
    // file is not one. The preview window reads into its own bitmap class.
    virtual CDib* ReadPreviewDib(CFile& file);
    // Hands the display state of the held preview image to its successor; held may be null.
    virtual void HandOverPreview(CDib* held, CDib* successor);

    // Whether a tone-curve file can be applied at all; without it a curve file the settings ask for
    // refuses the lookup tables instead of giving way to the plain table.
    virtual bool LoadsToneCurves();
    // The curves of a curve file; null when it cannot be read. The caller deletes the set.
    virtual CToneCurveSet* LoadToneCurves(const char* path);
    // Closes the "Profile support" status window a prescan would leave behind, when it is open.
    virtual void CloseProfileStatus();
    // The main view's colour, medium, output and detection choices stored with the settings; false
    // when there is no view to ask.
    virtual bool GetViewSelections(int32_t choices[4]);

    // Loads the colour engine before the device search asks the bus, unless a loader is in place
    // already; false when the engine cannot be loaded (reported, naming the file tried), and the
    // search then ends. iniFile null: the Windows directory's engine INI. The loader lives in the
    // colour library, above the core; the default loads nothing and lets the search go on.
    virtual bool LoadColourEngine(const char* iniFile);
    // One status line of the device search on the splash window.
    virtual void ShowSplashStatus(CWnd* splash, const char* text);
    // The Abort/Retry/Ignore box of "no scanner found".
    virtual int SearchBox(HWND owner, LPCSTR text, LPCSTR caption, UINT style);
    // The chooser over two or more devices: 1 and the chosen list position, or 0 when cancelled.
    virtual int ChooseScanner(CObList& devices, int* position);
    // The box that tells the catalog could not be used (no catalog text exists yet to report it).
    virtual int CatalogBox(HWND owner, LPCSTR text, LPCSTR caption, UINT style);
};

// The table in use: the installed one, else the defaults.
CShellServices& Shell();
// Installs a table (null: back to the defaults) and returns the one it replaces. The caller keeps
// ownership.
CShellServices* SetShellServices(CShellServices* services);

// Installs a table for the life of the object and puts the one before it back.
class CShellServicesScope {
public:
    explicit CShellServicesScope(CShellServices& services) : m_pPrevious(SetShellServices(&services)) { }
    ~CShellServicesScope() { SetShellServices(m_pPrevious); }
    CShellServicesScope(const CShellServicesScope&) = delete;
    CShellServicesScope& operator=(const CShellServicesScope&) = delete;

private:
    CShellServices* m_pPrevious;
};
