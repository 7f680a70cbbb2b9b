#pragma once

// The one dialog font of every dialog and form, the form template that fits the screen, and the
// catalog texts of their controls. The font lives in the private INI file under "DialogFont", or
// "SmallDialogFont" on a 640-wide screen or with TrueType switched off, where the small form
// templates are used too. Fifteen keys describe it; the program-parameters dialog and the tone
// editor read the same keys.

#include "framework/Gdi.h"
#include "framework/String.h"
#include "framework/Wnd.h"

#include <cstdint>

// What the font choice asks of the display and the font maker; the system's unless a caller
// supplies them.
struct CScreenFacts {
    int nScreenWidth;
    int bTrueTypeEnabled;
    HFONT (*pfnCreateFont)(const LOGFONTA* logFont) = nullptr;  // none: CreateFontIndirect
    static CScreenFacts Current();
};

class CDialogLocalizer {
public:
    explicit CDialogLocalizer(BOOL cameraForm);
    CDialogLocalizer(BOOL cameraForm, const CScreenFacts& screen);
    virtual ~CDialogLocalizer() = default;
    CDialogLocalizer(const CDialogLocalizer&) = delete;
    CDialogLocalizer& operator=(const CDialogLocalizer&) = delete;

    // Gives each child (Z order, at most 256) the font (the dialog font when none is given) and,
    // when asked, the catalog text of its id; an id outside 3001..7999 or without a text keeps the
    // template's text.
    virtual void Localize(CWnd* window, CFont* font, BOOL replaceTexts);

    // The form template's size in pixels with the template's own font.
    void FormTemplatePixelSize(int& width, int& height);

    const char* Section() const { return m_pszSection; }
    CFont& DialogFont() { return m_DialogFont; }
    const LOGFONTA& LogFont() const { return m_LogFont; }

    int m_nTemplateWidth = 0;
    int m_nTemplateHeight = 0;
    CString m_strTemplateFace;
    uint16_t m_nTemplateSize = 0;
    uint16_t m_nFormTemplate = 0;

private:
    void CreateDialogFont(BOOL cameraForm, const CScreenFacts& screen);

    const char* m_pszSection = "DialogFont";
    LOGFONTA m_LogFont = {};
    CFont m_DialogFont;
};

extern CDialogLocalizer* g_pDialogLocalizer;

// The fifteen keys of a font section; a "Name" longer than a face can hold is cut.
void ReadLogFont(const char* section, LOGFONTA& logFont, int& pointSize);
void WriteLogFont(const char* section, const LOGFONTA& logFont, int pointSize);

// Width and height in dialog units, face and point size of a dialog resource of this program;
// FALSE when the template is missing or names no font.
BOOL DialogTemplateFont(uint16_t templateId, int& width, int& height, CString& face, uint16_t& pointSize);

// The children's font and catalog texts without a localizer: what a dialog shown before the main
// window exists (the scanner choice of the device search) gets. A null font leaves the fonts alone.
void LocalizeChildren(HWND window, HFONT font, BOOL replaceTexts);
