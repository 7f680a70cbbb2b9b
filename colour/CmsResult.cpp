#include "colour/CmsResult.h"

#include "core/cms/CmsEngine.h"
#include "core/cms/CmsEngineInstance.h"
#include "core/messages/MsgString.h"
#include "core/messages/MessageReporter.h"

#include <cstring>
#include <string>

namespace {

constexpr int kMsgCannotCombine = 3507;
constexpr int kMsgUnreadable = 3508;
constexpr int kMsgNoMemory = 3509;
constexpr int kMsgBadProfile = 3510;
constexpr int kMsgErrorWithText = 3511;
constexpr int kMsgError = 3512;
constexpr int kMsgStopped = 3519;
constexpr int kMsgNoObjectOfKind = 3536;

struct CCodeFamily {
    int32_t family;
    int32_t largest;
    int firstMessage;
    int outsideMessage;
};
constexpr CCodeFamily kSpaces = {0xC00003, 14, 3538, 3417};
constexpr CCodeFamily kModes = {0xC00004, 8, 3553, 3418};
constexpr CCodeFamily kModifications = {0xC00005, 2, 3562, 3416};

constexpr const char* kFilmTypeFolder = "cnegs\\";

std::string CodeText(const CCodeFamily& family, int32_t code)
{
    int32_t n = code == 0 ? 0 : (code - 0xC00000) >> 12;
    bool inFamily = code == 0 || ((code & 0xFFF) == (family.family & 0xFFF) && (code & ~0xFFFFF) == 0xC00000);
    if (!inFamily || n < 0 || n > family.largest) {
        ReportMessage(family.outsideMessage, (long)code);
        return std::string();
    }
    CMsgString text(family.firstMessage + n);
    return std::string((const char*)text);
}

// Lists the objects of the wanted kind in the engine's current folder; true when there is one.
bool FindObjectOfKind(int32_t outputSpace, int32_t mode)
{
    bool filmTypes = outputSpace == kCmsModeNegative && mode == kCmsModeNegative;
    int started;
    if (filmTypes) {
        g_pCmsEngine->SetAttributes(kCmsCategoryObjects, nullptr, kCmsAttrObjectFolder, kFilmTypeFolder);
        started = g_pCmsEngine->BeginFolderSearch();
    } else {
        CmsObjectInfo filter;
        memset(&filter, 0, sizeof filter);
        filter.outputSpace = outputSpace;
        filter.inputMode = mode == kCmsModeNegative ? kCmsModeNegativeLink : mode;
        started = g_pCmsEngine->BeginProfileSearch(1, &filter);
    }
    char* name = nullptr;
    bool found = started != 1 && g_pCmsEngine->NextSearchResult(&name) != 1 && name != nullptr && name[0] != '\0';
    g_pCmsEngine->EndSearch();
    return found;
}

}  // namespace

bool CheckCmsResult(int result)
{
    if (result != 1)
        return true;
    if (g_pCmsEngine == nullptr)
        return false;
    const int code = g_pCmsEngine->GetLastErrorCode();
    if (code == kCmsOk)
        return false;
    const char* engineText = g_pCmsEngine->GetLastErrorText();
    const std::string text = engineText != nullptr ? engineText : "";
    switch (code) {
    case kCmsErrNoMemory: ReportMessage(kMsgNoMemory, text.c_str()); break;
    case kCmsErrCancelled: ReportMessage(kMsgStopped); break;
    case kCmsErrCorrupt: ReportMessage(kMsgUnreadable, text.c_str()); break;
    case kCmsErrBadProfile: ReportMessage(kMsgBadProfile, text.c_str()); break;
    case kCmsErrCannotCombine: ReportMessage(kMsgCannotCombine); break;
    case kCmsErrStoppedQuietly: break;
    default:
        if (!text.empty())
            ReportMessage(kMsgErrorWithText, (long)code, text.c_str());
        else
            ReportMessage(kMsgError, (long)code);
        break;
    }
    return false;
}

bool HasProfileOfKind(int32_t outputSpace, int32_t mode)
{
    bool found = false;
    if (g_pCmsEngine != nullptr) {
        const char* folder = nullptr;
        g_pCmsEngine->GetAttributes(kCmsCategoryObjects, nullptr, kCmsAttrObjectFolder, &folder);
        std::string saved = folder != nullptr ? folder : "";
        found = FindObjectOfKind(outputSpace, mode);
        g_pCmsEngine->SetAttributes(kCmsCategoryObjects, nullptr, kCmsAttrObjectFolder, saved.c_str());
    }
    if (!found)
        ReportMessage(kMsgNoObjectOfKind);
    return found;
}

std::string SpaceCodeText(int32_t code) { return CodeText(kSpaces, code); }

std::string ModeCodeText(int32_t code) { return CodeText(kModes, code); }

std::string ModificationCodeText(int32_t code) { return CodeText(kModifications, code); }

const char* FormatInfoAttribute(const CmsObjectInfo* info, int code)
{
    static char s_szText[1024];
    s_szText[0] = '\0';
    if (g_pCmsEngine != nullptr)
        g_pCmsEngine->FormatInfoAttribute(info, code, s_szText);
    return s_szText;
}
