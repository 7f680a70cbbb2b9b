#include "core/messages/MessageCatalog.h"

#include "core/messages/MessageArguments.h"
#include "core/messages/ProgramDirectory.h"

#include <cstdio>
#include <cstring>
#include <memory>

CMessageCatalog* g_pMessageCatalog = nullptr;

namespace {

// A longer line is read on as a line of its own.
constexpr int kPieceLength = 999;
constexpr int kReadBufferSize = 4096;

// The maker's word that message 3000 of every genuine catalog holds.
const char kMakerWord[] = "ZELK";

CString CatalogPath(const CString& fileName)
{
    CString name(fileName);
    name.MakeUpper();
    // Older language settings name a catalog such as eng32.dll; its first three letters still say
    // which language it is.
    CString path = (name.Find("DLL") < 0 && name.Find("32") < 0) ? name : name.Left(3) + ".MSG";
    if (path.Find('\\') < 0)
        path = ProgramDirectory() + path;
    return path;
}

// Up to three characters after the backslash, never past the closing quote, taken as octal digits.
char OctalEscape(const char*& source, const char* end)
{
    int value = 0;
    for (int i = 0; i < 3 && source < end; ++i, ++source)
        value = value * 8 + (*source - '0');
    return (char)(value & 0xFF);
}

// Copies the text between the quotes through the escapes; the result is never longer than the source.
void Unescape(const char* source, const char* end, char* target)
{
    while (source < end) {
        const char c = *source++;
        if (c != '\\') {
            *target++ = c;
            continue;
        }
        if (source == end)
            break;
        switch (*source) {
        case 'r': *target++ = '\r'; ++source; break;
        case 'n': *target++ = '\n'; ++source; break;
        case 't': *target++ = '\t'; ++source; break;
        case '\\': *target++ = '\\'; ++source; break;
        default: *target++ = OctalEscape(source, end); break;
        }
    }
    *target = '\0';
}

}  // namespace

CMessageCatalog::CMessageCatalog(const CString& fileName) : m_strPath(CatalogPath(fileName))
{
    m_nState = Load(m_strPath) ? kCatalogLoaded : kCatalogFailed;
}

CMessageCatalog::~CMessageCatalog()
{
    FreeEntries();
}

void CMessageCatalog::FreeEntries()
{
    for (char*& entry : m_pEntries) {
        delete[] entry;
        entry = nullptr;
    }
}

const char* CMessageCatalog::Lookup(int id, int& found) const
{
    const uint16_t index = (uint16_t)((uint16_t)id - kFirstMessageId);
    if (index >= kMessageCount) {
        found = 0;
        return "";
    }
    found = 1;
    return m_pEntries[index];
}

CString CMessageCatalog::GetFileTitle() const
{
    return m_strPath.Mid(m_strPath.ReverseFind('\\') + 1);
}

bool CMessageCatalog::Load(const CString& path)
{
    FreeEntries();
    FILE* file = std::fopen(path, "rt");
    if (!file)
        return false;
    std::unique_ptr<char[]> buffer(new char[kReadBufferSize]);
    int count = 0;
    while (count < kMessageCount && std::fgets(buffer.get(), kPieceLength + 1, file))
        ParseLine(buffer.get(), count);
    std::fclose(file);
    DropUnfitTexts();

    CString first(m_pEntries[0]);
    first.MakeUpper();
    return first.Find(kMakerWord) >= 0;
}

// A text that asks for other values than its callers pass is treated as missing: formatting it
// would read past the values given.
void CMessageCatalog::DropUnfitTexts()
{
    for (int i = 0; i < kMessageCount; ++i) {
        char*& entry = m_pEntries[i];
        if (entry && !TakesArguments(entry, MessageArgumentKinds(kFirstMessageId + i))) {
            delete[] entry;
            entry = nullptr;
        }
    }
}

void CMessageCatalog::ParseLine(const char* line, int& count)
{
    if (count >= kMessageCount)
        return;
    const char* open = std::strchr(line, '"');
    if (!open)
        return;
    const char* close = std::strchr(open + 1, '"');
    if (!close)
        return;
    const char* text = open + 1;
    char* entry = nullptr;
    if (close > text) {
        entry = new char[close - text + 1];
        Unescape(text, close, entry);
    }
    delete[] m_pEntries[count];
    m_pEntries[count] = entry;
    ++count;
}
