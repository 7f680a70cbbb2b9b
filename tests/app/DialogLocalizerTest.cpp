// The dialog font of every dialog and form, the form template that fits the screen, and the catalog
// texts of the controls.

#include "app/DialogLocalizer.h"
#include "core/messages/MsgString.h"
#include "framework/App.h"
#include "tests/app/AppTestEnvironment.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

namespace {

const char* const kKeys[] = {"Name", "Height", "Width", "Escapement", "Orientation", "Weight", "Italic", "Underline",
    "Strikeout", "Charset", "OutPrecision", "ClipPrecision", "Quality", "Pitch", "Size"};

// Sorted: keys stored before the font was written keep their places.
std::vector<std::string> SectionKeys(const char* section)
{
    char buffer[4096] = {};
    GetPrivateProfileSectionA(section, buffer, sizeof buffer, TestIniPath().c_str());
    std::vector<std::string> keys;
    for (const char* line = buffer; *line; line += strlen(line) + 1)
        keys.push_back(std::string(line, strchr(line, '=') - line));
    std::sort(keys.begin(), keys.end());
    return keys;
}

std::string Key(const char* section, const char* key)
{
    return (const char*)TestApp().GetProfileString(section, key, "");
}

int DisplayDpi()
{
    HDC dc = GetDC(nullptr);
    const int dpi = GetDeviceCaps(dc, LOGPIXELSY);
    ReleaseDC(nullptr, dc);
    return dpi;
}

LONG HeightOf(int points) { return -(LONG)std::floor(points * 20.0 * DisplayDpi() / 1440.0 + 0.5); }

std::string FaceOf(HFONT font)
{
    LOGFONTA logFont = {};
    GetObjectA(font, sizeof logFont, &logFont);
    return logFont.lfFaceName;
}

// The system's font maker, except for the one face that no display has.
HFONT MakeFontUnlessMissing(const LOGFONTA* logFont)
{
    return strcmp(logFont->lfFaceName, "No Such Face At All") == 0 ? nullptr : CreateFontIndirectA(logFont);
}

TEST(DialogFont, SectionTemplateAndFaceByScreenAndIni)
{
    const std::string longName = "Abcdefghij Abcdefghij Abcdefghij Abcdefghij";
    const std::string cutName = longName.substr(0, LF_FACESIZE - 1);
    const struct {
        const char* name;
        CScreenFacts screen;
        const char* storedName;  // with Size below; none: a fresh INI file
        int storedSize;
        const char* section;
        uint16_t formTemplate;
        const char* face;  // of the font in use; null: the system font
        int points;
        bool writesKeys;
    } cases[] = {
        {"fresh INI", {1024, 1, MakeFontUnlessMissing}, nullptr, 0, "DialogFont", 5022, "Arial", 8, true},
        {"640-wide screen", {640, 1, MakeFontUnlessMissing}, nullptr, 0, "SmallDialogFont", 5301, "Small Fonts", 7,
            true},
        {"TrueType off", {800, 0, MakeFontUnlessMissing}, nullptr, 0, "SmallDialogFont", 5301, "Small Fonts", 7, true},
        {"stored size 10", {1024, 1, MakeFontUnlessMissing}, "Courier New", 10, "DialogFont", 5022, "Courier New", 10,
            true},
        {"a face that cannot be made", {1024, 1, MakeFontUnlessMissing}, "No Such Face At All", 9, "DialogFont", 5022,
            nullptr, 9, false},
        {"an over-long name", {1024, 1, MakeFontUnlessMissing}, longName.c_str(), 9, "DialogFont", 5022,
            cutName.c_str(), 9, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ResetTestIni();
        if (c.storedName) {
            TestApp().WriteProfileString(c.section, "Name", c.storedName);
            TestApp().WriteProfileInt(c.section, "Size", c.storedSize);
        }
        CDialogLocalizer localizer(FALSE, c.screen);
        EXPECT_STREQ(c.section, localizer.Section());
        EXPECT_EQ(c.formTemplate, localizer.m_nFormTemplate);
        EXPECT_EQ(377, localizer.m_nTemplateWidth);
        EXPECT_EQ(248, localizer.m_nTemplateHeight);
        if (c.face) {
            EXPECT_EQ(c.face, FaceOf(localizer.DialogFont()));  // an over-long name is cut to what a face holds
            EXPECT_EQ(HeightOf(c.points), localizer.LogFont().lfHeight);
        } else {
            EXPECT_EQ((HFONT)GetStockObject(SYSTEM_FONT), (HFONT)localizer.DialogFont());
        }
        if (c.writesKeys) {
            std::vector<std::string> fifteen(std::begin(kKeys), std::end(kKeys));
            std::sort(fifteen.begin(), fifteen.end());
            EXPECT_EQ(fifteen, SectionKeys(c.section));
            EXPECT_EQ(c.face, Key(c.section, "Name"));
            EXPECT_EQ(std::to_string(c.points), Key(c.section, "Size"));
            EXPECT_EQ(std::to_string(HeightOf(c.points)), Key(c.section, "Height"));
        } else {
            // the INI keeps what the user set
            EXPECT_EQ((std::vector<std::string> {"Name", "Size"}), SectionKeys(c.section));
            EXPECT_EQ(c.storedName, Key(c.section, "Name"));
        }
    }
    ResetTestIni();
}

TEST(DialogFont, CameraTemplatesWithoutAResourceFallBack)
{
    ResetTestIni();
    CDialogLocalizer localizer(TRUE, {1024, 1, nullptr});
    EXPECT_EQ(5283, localizer.m_nFormTemplate);
    // the camera form's template is not among the resources yet: 380 x 250 and the template size 8
    EXPECT_EQ(380, localizer.m_nTemplateWidth);
    EXPECT_EQ(250, localizer.m_nTemplateHeight);
    EXPECT_EQ(8, localizer.m_nTemplateSize);
    ResetTestIni();
}

int CALLBACK CountFamily(const LOGFONTA*, const TEXTMETRICA*, DWORD, LPARAM count)
{
    ++*(int*)count;
    return 0;
}

TEST(DialogFont, FormSizeInPixelsFromTheTemplateFont)
{
    ResetTestIni();
    CDialogLocalizer localizer(FALSE, {1024, 1, nullptr});
    int width = 0, height = 0;
    localizer.FormTemplatePixelSize(width, height);
    // the template's "Arial" 8 measured, or the dialog base units on a display without that face
    HDC dc = GetDC(nullptr);
    int families = 0;
    EnumFontFamiliesA(dc, "Arial", (FONTENUMPROCA)CountFamily, (LPARAM)&families);
    double unitX = LOWORD(GetDialogBaseUnits());
    double unitY = HIWORD(GetDialogBaseUnits());
    if (families > 0) {
        HFONT font = CreateFontA(HeightOf(8), 0, 0, 0, FW_NORMAL, 0, 0, 0, 0, OUT_TT_PRECIS, CLIP_STROKE_PRECIS,
            PROOF_QUALITY, VARIABLE_PITCH | FF_SWISS, "Arial");
        HGDIOBJ old = SelectObject(dc, font);
        SIZE extent = {};
        GetTextExtentPoint32A(dc, "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz", 52, &extent);
        TEXTMETRICA metrics = {};
        GetTextMetricsA(dc, &metrics);
        SelectObject(dc, old);
        DeleteObject(font);
        unitX = extent.cx / 52.0;
        unitY = metrics.tmHeight;
    }
    ReleaseDC(nullptr, dc);
    EXPECT_EQ((int)std::floor(std::floor(unitX + 0.5) * 377 / 4.0 + 0.5), width);
    EXPECT_EQ((int)std::floor(248 * unitY / 8.0 + 0.5), height);
    EXPECT_GT(width, 377);  // more pixels than dialog units
    EXPECT_GT(height, 248);
    // the stored description is the template's font now; the dialog font is unchanged
    EXPECT_EQ(HeightOf(8), localizer.LogFont().lfHeight);
    EXPECT_EQ(PROOF_QUALITY, localizer.LogFont().lfQuality);
    ResetTestIni();
}

// A parent with children of the given ids, each starting with the text "placeholder".
struct CChildWindows {
    explicit CChildWindows(const std::vector<int>& ids)
    {
        parent.CreateEx(0, AfxRegisterWndClass(0), "children", WS_OVERLAPPEDWINDOW, 0, 0, 300, 200, nullptr, nullptr);
        for (int id : ids)
            CreateWindowExA(0, "STATIC", "placeholder", WS_CHILD, 0, 0, 50, 10, parent.m_hWnd, (HMENU)(INT_PTR)id,
                nullptr, nullptr);
    }
    ~CChildWindows() { parent.DestroyWindow(); }
    std::vector<HWND> InZOrder() const
    {
        std::vector<HWND> children;
        for (HWND child = GetWindow(parent.m_hWnd, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
            children.push_back(child);
        return children;
    }
    CWnd parent;
};

TEST(DialogFont, LocalizeGivesFontAndCatalogTextsWithinTheRange)
{
    ResetTestIni();
    CDialogLocalizer localizer(FALSE, {1024, 1, nullptr});
    // 3000 and 8000 lie outside the catalog range, 7999 has no text, 3585 an empty one; the
    // children after the 256th are left alone
    std::vector<int> ids = {3000, 3001, 7999, 8000, 3585};
    ids.resize(257, 3658);
    CChildWindows windows(ids);
    localizer.Localize(&windows.parent, nullptr, TRUE);
    const std::vector<HWND> children = windows.InZOrder();
    ASSERT_EQ(257u, children.size());
    const HFONT dialogFont = localizer.DialogFont();
    for (size_t i = 0; i < children.size(); ++i) {
        const int id = GetDlgCtrlID(children[i]);
        const HFONT font = (HFONT)SendMessageA(children[i], WM_GETFONT, 0, 0);
        if (i == 256) {
            EXPECT_NE(dialogFont, font);
            EXPECT_EQ("placeholder", TextOf(children[i]));
            continue;
        }
        EXPECT_EQ(dialogFont, font) << id;
        const bool replaced = id == 3001 || id == 3658;
        EXPECT_EQ(replaced ? std::string((const char*)CMsgString(id)) : std::string("placeholder"), TextOf(children[i]))
            << id;
    }

    // another font, texts kept
    CChildWindows plain({3001});
    HFONT other = (HFONT)GetStockObject(ANSI_VAR_FONT);
    localizer.Localize(&plain.parent, CFont::FromHandle(other), FALSE);
    const HWND child = plain.InZOrder().at(0);
    EXPECT_EQ(other, (HFONT)SendMessageA(child, WM_GETFONT, 0, 0));
    EXPECT_EQ("placeholder", TextOf(child));
    ResetTestIni();
}

}  // namespace
