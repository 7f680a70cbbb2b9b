#include "app/LanguageCatalog.h"

#include "core/messages/MessageCatalog.h"
#include "core/messages/MsgString.h"
#include "core/messages/ProgramDirectory.h"
#include "core/scan/ShellServices.h"
#include "framework/App.h"

namespace {

constexpr int kMsgCatalogVersion = 4492;
const char* const kCatalogVersion = "V2.09";
const char* const kEnglish = "ENG.MSG";

struct CLanguageMatch {
    const char* code;
    const char* catalog;
};

const CLanguageMatch kLanguages[] = {
    {"ESN", "SPA.MSG"}, {"ESP", "SPA.MSG"}, {"FRA", "FRE.MSG"}, {"FRC", "FRE.MSG"},
    {"ITA", "ITA.MSG"}, {"DEU", "GER.MSG"},
};

void ShowCatalogBox(const CString& text)
{
    const CWnd* main = AfxGetMainWnd();
    Shell().CatalogBox(main ? main->m_hWnd : nullptr, text, "Brelvane Error", MB_TASKMODAL);
}

bool CreateCatalog(const CString& name, const char* directory)
{
    // A bare language code ("GER") names the catalog file of that code.
    const CString file = name.Find('.') < 0 ? name.Left(3) + ".MSG" : name;
    // The catalog puts the program directory before a bare name itself.
    g_pMessageCatalog = new CMessageCatalog(directory ? CString(directory) + file : file);
    if (g_pMessageCatalog->IsUsable())
        return true;
    delete g_pMessageCatalog;
    g_pMessageCatalog = nullptr;
    return false;
}

}  // namespace

const char* CatalogForLanguage(const char* language)
{
    CString value(language);
    value.MakeUpper();
    for (const CLanguageMatch& match : kLanguages)
        if (value.Find(match.code) >= 0)
            return match.catalog;
    return kEnglish;
}

bool LoadLanguageCatalog(const char* directory)
{
    char language[300] = {};
    GetProfileStringA("intl", "sLanguage", "", language, sizeof language);
    CString name = AfxGetApp()->GetProfileString("General", "Language", CatalogForLanguage(language));
    name.MakeUpper();
    const CString shownDirectory = directory ? CString(directory) : ProgramDirectory();
    if (!CreateCatalog(name, directory)) {
        CString text;
        text.Format("There's a problem loading (%s). It's probably not in the path or the %s directory.",
                    (LPCSTR)name, (LPCSTR)shownDirectory);
        const bool wasEnglish = name == kEnglish;
        if (!wasEnglish)
            text += "\n\rBrelvane will try to load the English version.";
        ShowCatalogBox(text);
        if (wasEnglish)
            return false;
        name = kEnglish;
        if (!CreateCatalog(name, directory)) {
            text.Format("There's a problem loading %s. Copy %s to %s or reinstall.", kEnglish, kEnglish,
                        (LPCSTR)shownDirectory);
            ShowCatalogBox(text);
            return false;
        }
    }
    if (CMsgString(kMsgCatalogVersion) != kCatalogVersion) {
        CString text;
        text.Format("There's a problem with %s. It is not the same version as the application. Copy the %s to %s "
                    "or reinstall.",
                    (LPCSTR)name, (LPCSTR)name, (LPCSTR)shownDirectory);
        ShowCatalogBox(text);
        return false;
    }
    return true;
}
