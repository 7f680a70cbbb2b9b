#include "app/DialogLocalizer.h"

#include "core/messages/MsgString.h"
#include "framework/App.h"
#include "framework/Module.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

CDialogLocalizer* g_pDialogLocalizer = nullptr;

namespace {

constexpr int kFirstCatalogControl = 3001;
constexpr int kLastCatalogControl = 7999;
// Templates hold far fewer; the bound keeps a broken window list from running on.
constexpr int kMostChildren = 256;

constexpr uint16_t kScannerForm = 5022;
constexpr uint16_t kCameraForm = 5283;
constexpr uint16_t kSmallScannerForm = 5301;
constexpr uint16_t kSmallCameraForm = 5302;

// The one display width on which the normal templates do not fit.
constexpr int kSmallScreenWidth = 640;
// Used when a device context for the display cannot be made.
constexpr int kFallbackDpi = 20;

const char* const kSmallSection = "SmallDialogFont";
const char* const kNormalSection = "DialogFont";

int ProfileInt(const char* section, const char* key, int fallback)
{
    return (int)AfxGetApp()->GetProfileInt(section, key, fallback);
}

int ProfileDecimal(const char* section, const char* key, const char* fallback)
{
    return atoi(AfxGetApp()->GetProfileString(section, key, fallback));
}

void WriteDecimal(const char* section, const char* key, int value)
{
    CString text;
    text.Format("%d", value);
    AfxGetApp()->WriteProfileString(section, key, text);
}

int DisplayDpi(int fallback)
{
    HDC dc = CreateDCA("DISPLAY", nullptr, nullptr, nullptr);
    if (!dc)
        return fallback;
    const int dpi = GetDeviceCaps(dc, LOGPIXELSY);
    DeleteDC(dc);
    return dpi;
}

// A point size as a character height in pixels: negative, rounded to the nearest pixel.
LONG PixelHeight(int pointSize, int dpi)
{
    return -(LONG)std::floor(std::fabs((double)pointSize * 20.0 * dpi / 1440.0) + 0.5);
}

void CopyFace(LOGFONTA& logFont, const char* face) { lstrcpynA(logFont.lfFaceName, face, LF_FACESIZE); }

int CALLBACK CountFace(const LOGFONTA*, const TEXTMETRICA*, DWORD, LPARAM found)
{
    ++*(int*)found;
    return 0;
}

bool IsFaceInstalled(HDC dc, const char* face)
{
    int found = 0;
    EnumFontFamiliesA(dc, face, (FONTENUMPROCA)CountFace, (LPARAM)&found);
    return found > 0;
}

// A template's variable-length field: 0xFFFF and an ordinal, or a zero-terminated wide string.
const WORD* SkipSzOrOrdinal(const WORD* field)
{
    if (*field == 0xFFFF)
        return field + 2;
    while (*field++ != 0) { }
    return field;
}

}  // namespace

CScreenFacts CScreenFacts::Current()
{
    return {GetSystemMetrics(SM_CXSCREEN), (int)GetProfileIntA("TrueType", "TTEnable", 1), nullptr};
}

void ReadLogFont(const char* section, LOGFONTA& logFont, int& pointSize)
{
    logFont = {};
    CopyFace(logFont, AfxGetApp()->GetProfileString(section, "Name", "Arial"));
    logFont.lfHeight = ProfileDecimal(section, "Height", "-13");
    logFont.lfWidth = ProfileDecimal(section, "Width", "0");
    logFont.lfEscapement = ProfileDecimal(section, "Escapement", "0");
    logFont.lfOrientation = ProfileDecimal(section, "Orientation", "0");
    logFont.lfWeight = ProfileDecimal(section, "Weight", "400");
    logFont.lfItalic = (BYTE)ProfileInt(section, "Italic", 0);
    logFont.lfUnderline = (BYTE)ProfileInt(section, "Underline", 0);
    logFont.lfStrikeOut = (BYTE)ProfileInt(section, "Strikeout", 0);
    logFont.lfCharSet = (BYTE)ProfileInt(section, "Charset", 0);
    logFont.lfOutPrecision = (BYTE)ProfileInt(section, "OutPrecision", 3);
    logFont.lfClipPrecision = (BYTE)ProfileInt(section, "ClipPrecision", 2);
    logFont.lfQuality = (BYTE)ProfileInt(section, "Quality", 1);
    logFont.lfPitchAndFamily = (BYTE)ProfileInt(section, "Pitch", 34);
    pointSize = ProfileInt(section, "Size", 8);
}

void WriteLogFont(const char* section, const LOGFONTA& logFont, int pointSize)
{
    CWinApp* app = AfxGetApp();
    app->WriteProfileString(section, "Name", logFont.lfFaceName);
    WriteDecimal(section, "Height", logFont.lfHeight);
    WriteDecimal(section, "Width", logFont.lfWidth);
    WriteDecimal(section, "Escapement", logFont.lfEscapement);
    WriteDecimal(section, "Orientation", logFont.lfOrientation);
    WriteDecimal(section, "Weight", logFont.lfWeight);
    app->WriteProfileInt(section, "Italic", logFont.lfItalic);
    app->WriteProfileInt(section, "Underline", logFont.lfUnderline);
    app->WriteProfileInt(section, "Strikeout", logFont.lfStrikeOut);
    app->WriteProfileInt(section, "Charset", logFont.lfCharSet);
    app->WriteProfileInt(section, "OutPrecision", logFont.lfOutPrecision);
    app->WriteProfileInt(section, "ClipPrecision", logFont.lfClipPrecision);
    app->WriteProfileInt(section, "Quality", logFont.lfQuality);
    app->WriteProfileInt(section, "Pitch", logFont.lfPitchAndFamily);
    app->WriteProfileInt(section, "Size", pointSize);
}

BOOL DialogTemplateFont(uint16_t templateId, int& width, int& height, CString& face, uint16_t& pointSize)
{
    width = height = 0;
    HINSTANCE module = AfxGetResourceHandle();
    HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(templateId), (LPCSTR)RT_DIALOG);
    HGLOBAL loaded = found ? LoadResource(module, found) : nullptr;
    const WORD* words = loaded ? (const WORD*)LockResource(loaded) : nullptr;
    if (!words)
        return FALSE;
    const bool extended = words[0] == 1 && words[1] == 0xFFFF;
    // DLGTEMPLATEEX: version, signature, help id, extended style, style, count, x, y, cx, cy;
    // DLGTEMPLATE: style, extended style, count, x, y, cx, cy.
    const DWORD style = extended ? *(const DWORD*)(words + 6) : *(const DWORD*)words;
    const WORD* sizes = extended ? words + 11 : words + 7;
    width = (short)sizes[0];
    height = (short)sizes[1];
    if (!(style & DS_SETFONT))
        return FALSE;
    const WORD* field = SkipSzOrOrdinal(SkipSzOrOrdinal(sizes + 2));
    field = SkipSzOrOrdinal(field);  // the title is a string like the others
    pointSize = field[0];
    // The extended form carries weight, italic and character set before the face.
    const WORD* faceName = extended ? field + 3 : field + 1;
    char ansi[LF_FACESIZE + 1] = {};
    WideCharToMultiByte(CP_ACP, 0, (LPCWSTR)faceName, -1, ansi, LF_FACESIZE, nullptr, nullptr);
    ansi[LF_FACESIZE] = '\0';
    face = ansi;
    return TRUE;
}

void LocalizeChildren(HWND window, HFONT font, BOOL replaceTexts)
{
    HWND child = GetWindow(window, GW_CHILD);
    for (int count = 0; child && count < kMostChildren; ++count, child = GetWindow(child, GW_HWNDNEXT)) {
        if (font)
            SendMessageA(child, WM_SETFONT, (WPARAM)font, TRUE);
        const int id = GetDlgCtrlID(child);
        if (!replaceTexts || id < kFirstCatalogControl || id > kLastCatalogControl)
            continue;
        // An empty catalog line counts as no text: the template's placeholder beats a blank control.
        CMsgString text(id);
        if (!text.IsEmpty())
            SetWindowTextA(child, text);
    }
}

CDialogLocalizer::CDialogLocalizer(BOOL cameraForm) : CDialogLocalizer(cameraForm, CScreenFacts::Current()) { }

CDialogLocalizer::CDialogLocalizer(BOOL cameraForm, const CScreenFacts& screen)
{
    CreateDialogFont(cameraForm, screen);
}

void CDialogLocalizer::CreateDialogFont(BOOL cameraForm, const CScreenFacts& screen)
{
    const bool small = screen.nScreenWidth == kSmallScreenWidth || screen.bTrueTypeEnabled == 0;
    m_pszSection = small ? kSmallSection : kNormalSection;
    m_nFormTemplate =
        small ? (cameraForm ? kSmallCameraForm : kSmallScannerForm) : (cameraForm ? kCameraForm : kScannerForm);
    if (!DialogTemplateFont(m_nFormTemplate, m_nTemplateWidth, m_nTemplateHeight, m_strTemplateFace, m_nTemplateSize)) {
        if (m_nTemplateWidth == 0)
            m_nTemplateWidth = 380;
        if (m_nTemplateHeight == 0)
            m_nTemplateHeight = 250;
        m_strTemplateFace = "";
        m_nTemplateSize = 8;
    }
    int pointSize = 0;
    ReadLogFont(m_pszSection, m_LogFont, pointSize);
    if (ProfileInt(m_pszSection, "Size", 0) == 0) {
        CopyFace(m_LogFont, m_strTemplateFace);
        pointSize = m_nTemplateSize;
    }
    m_LogFont.lfHeight = PixelHeight(pointSize, DisplayDpi(kFallbackDpi));
    // A font that cannot be made leaves the INI as the user set it; the system font stands in.
    HFONT font = screen.pfnCreateFont ? screen.pfnCreateFont(&m_LogFont) : CreateFontIndirectA(&m_LogFont);
    if (!font) {
        m_DialogFont.CreateStockObject(SYSTEM_FONT);
        return;
    }
    m_DialogFont.Attach(font);
    WriteLogFont(m_pszSection, m_LogFont, pointSize);
}

void CDialogLocalizer::FormTemplatePixelSize(int& width, int& height)
{
    const int dpi = DisplayDpi(kFallbackDpi);
    m_LogFont = {};
    m_LogFont.lfHeight = PixelHeight(m_nTemplateSize, dpi);
    m_LogFont.lfWeight = FW_NORMAL;
    m_LogFont.lfOutPrecision = OUT_TT_PRECIS;
    m_LogFont.lfClipPrecision = CLIP_STROKE_PRECIS;
    m_LogFont.lfQuality = PROOF_QUALITY;
    m_LogFont.lfPitchAndFamily = VARIABLE_PITCH | FF_SWISS;
    if (!m_strTemplateFace.IsEmpty())
        CopyFace(m_LogFont, m_strTemplateFace);
    const LONG baseUnits = GetDialogBaseUnits();
    double unitX = LOWORD(baseUnits);
    double unitY = HIWORD(baseUnits);
    HDC dc = GetDC(nullptr);
    HFONT font = IsFaceInstalled(dc, m_LogFont.lfFaceName) ? CreateFontIndirectA(&m_LogFont) : nullptr;
    if (font) {
        HGDIOBJ previous = SelectObject(dc, font);
        static const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
        SIZE extent = {};
        GetTextExtentPoint32A(dc, kAlphabet, 52, &extent);
        TEXTMETRICA metrics = {};
        GetTextMetricsA(dc, &metrics);
        unitX = extent.cx / 52.0;
        unitY = metrics.tmHeight;
        SelectObject(dc, previous);
        DeleteObject(font);
    }
    ReleaseDC(nullptr, dc);
    width = (int)std::floor(std::floor(unitX + 0.5) * m_nTemplateWidth / 4.0 + 0.5);
    height = (int)std::floor(m_nTemplateHeight * unitY / 8.0 + 0.5);
}

void CDialogLocalizer::Localize(CWnd* window, CFont* font, BOOL replaceTexts)
{
    if (!window || !window->m_hWnd)
        return;
    LocalizeChildren(window->m_hWnd, font ? (HFONT)*font : (HFONT)m_DialogFont, replaceTexts);
}
