#include "app/VersionInfo.h"

#include "core/messages/MsgString.h"
#include "core/messages/ProgramDirectory.h"
#include "core/settings/SettingsFile.h"
#include "framework/App.h"

#include <windows.h>

#include <vector>

namespace {

constexpr int kMsgTitleEnd = 3047;

CString TwoDigits(unsigned value)
{
    CString text;
    text.Format(value < 10 ? "0%u" : "%u", value);
    return text;
}

CString QueryString(const std::vector<char>& block, WORD language, WORD codePage, const char* name)
{
    char query[50];
    wsprintfA(query, "\\StringFileInfo\\%04X%04X\\%s", language, codePage, name);
    void* value = nullptr;
    UINT length = 0;
    if (!VerQueryValueA(block.data(), query, &value, &length) || !value || length == 0)
        return CString();
    return CString((const char*)value);
}

void AppendVersionSuffix(CString& title, uint32_t packed)
{
    const CMsgString end(kMsgTitleEnd);
    const unsigned major = packed >> 24, minor = (packed >> 16) & 0xFF, fourth = packed & 0xFF;
    CString suffix;
    suffix.Format(" V%u.%s", major, (LPCSTR)TwoDigits(minor));
    if (fourth != 0)
        suffix += "." + TwoDigits(fourth);
    title += " 32" + suffix + " - " + CString((LPCSTR)end);
}

}  // namespace

void GetVersionStrings(CString& title, CVersionTexts& texts, const char* file)
{
    CString path = file ? CString(file) : ProgramDirectory() + AfxGetApp()->m_pszExeName + ".exe";
    DWORD handle = 0;
    const DWORD size = GetFileVersionInfoSizeA(path, &handle);
    texts.packedVersion = 0;
    if (size == 0) {
        texts.productVersion = "Brelvane (No BvVInfo)";
        texts.company = "ZELK (No BvVInfo)";
        return;
    }
    std::vector<char> block(size);
    if (!GetFileVersionInfoA(path, 0, size, block.data())) {
        texts.productVersion = "Brelvane (No VInfo)";
        texts.company = "ZELK (No VInfo)";
        return;
    }
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    if (VerQueryValueA(block.data(), "\\", (void**)&fixed, &length) && fixed && length >= sizeof *fixed)
        texts.packedVersion = (HIWORD(fixed->dwFileVersionMS) & 0xFF) << 24 |
                              (LOWORD(fixed->dwFileVersionMS) & 0xFF) << 16 |
                              (HIWORD(fixed->dwFileVersionLS) & 0xFF) << 8 | (LOWORD(fixed->dwFileVersionLS) & 0xFF);
    WORD* translation = nullptr;
    WORD language = 0, codePage = 0;
    if (VerQueryValueA(block.data(), "\\VarFileInfo\\Translation", (void**)&translation, &length) && translation &&
        length >= 4) {
        language = translation[0];
        codePage = translation[1];
    }
    const CString internalName = QueryString(block, language, codePage, "InternalName");
    if (!internalName.IsEmpty())
        title = internalName;
    if (g_bSimplifiedMode)
        title = "Tarvoset";
    const CString company = QueryString(block, language, codePage, "CompanyName");
    if (!company.IsEmpty())
        texts.company = company;
    const CString product = QueryString(block, language, codePage, "ProductVersion");
    if (!product.IsEmpty())
        texts.productVersion = product;
    AppendVersionSuffix(title, texts.packedVersion);
}
