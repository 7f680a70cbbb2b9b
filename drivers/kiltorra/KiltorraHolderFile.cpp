// The holder characterisation file of the KILTORRA and what its lines do to the format table.

#include "drivers/kiltorra/KiltorraHolderFile.h"

#include "core/messages/MsgString.h"
#include "core/messages/TraceLog.h"

#include <cctype>
#include <cstdio>
#include <cstring>

namespace {

constexpr const char* kHeaderText = "Slide Holder Characterisation for Kiltorra";
constexpr int kLineCharacters = 254;
constexpr int kNamedEntries = kFormatTableEntries - 1;  // the last entry stays the end entry
constexpr uint16_t kNoName = 0;

struct CHolderKeyword {
    const char* keyword;
    uint16_t names[2];
    uint16_t glNames[2];
};

// The first keyword the format field contains selects its names; kNoName is the literal name
// "DONTCARE" that no entry carries.
const CHolderKeyword kKeywords[] = {
    {"24x36", {3176, 3177}, {3607, 3608}},
    {"6x6cm", {3180, kNoName}, {3609, kNoName}},
    {"6x7cm", {3188, 3189}, {3617, 3618}},
    {"6x9cm", {3183, 3184}, {3612, 3613}},
    {"9x12cm", {3185, 3186}, {3614, 3615}},
    {"4x5inch", {3182, 3181}, {3611, 3610}},
    {"Universal", {3191, kNoName}, {3616, kNoName}},
};

void Trace(const char* what, const CString& line)
{
    if (g_pTraceLog != nullptr && g_pTraceLog->IsOn())
        g_pTraceLog->Printf("kiltorr.prf: %s: %.200s", what, (const char*)line);
}

CString NameOf(uint16_t id) { return id == kNoName ? CString("DONTCARE") : CString(CMsgString(id)); }

// The C library's atoi, but a value outside 16 bits is reported instead of cut.
bool ParseNumber(const CString& text, uint16_t& number)
{
    const char* p = text;
    while (*p == ' ' || *p == '\t')
        ++p;
    bool negative = *p == '-';
    if (*p == '-' || *p == '+')
        ++p;
    long long value = 0;
    for (; std::isdigit((unsigned char)*p); ++p) {
        value = value * 10 + (*p - '0');
        if (value > 65535)
            return false;
    }
    if (negative && value != 0)
        return false;
    number = uint16_t(value);
    return true;
}

int NamedCount(const CFormatTable& table)
{
    int n = 0;
    while (n < kFormatTableEntries && !table.m_Entries[n].m_strName.IsEmpty())
        ++n;
    return n;
}

// Reads one line of at most kLineCharacters characters without its line feed; the rest of a
// longer line is skipped rather than read as a holder line of its own. False at the end of file.
bool ReadLine(FILE* file, CString& line, bool& cut)
{
    char buffer[kLineCharacters + 2];
    if (std::fgets(buffer, kLineCharacters + 1, file) == nullptr)
        return false;
    size_t length = std::strlen(buffer);
    cut = false;
    if (length > 0 && buffer[length - 1] == '\n') {
        buffer[--length] = '\0';
    } else {
        int c;
        while ((c = std::fgetc(file)) != EOF && c != '\n')
            cut = true;
    }
    line = buffer;
    return true;
}

}  // namespace

void CKiltorraHolderFile::ShiftFormatEntry(CFormatTable& table, int index)
{
    if (index < 0 || index + 1 >= kFormatTableEntries)
        return;
    table.m_Entries[index + 1] = table.m_Entries[index];
}

bool CKiltorraHolderFile::AddHolderEntry(
    CFormatTable& table, const CString& holder, const CString& format, const CString& numberText)
{
    // An empty format would be contained in every name and rename the whole table.
    if (format.IsEmpty())
        return false;
    uint16_t number = 0;
    if (!ParseNumber(numberText, number))
        return false;
    CString names[2] = {format, format};
    bool gl = format.Find("GL") >= 0;
    for (const CHolderKeyword& row : kKeywords) {
        if (format.Find(row.keyword) < 0)
            continue;
        const uint16_t* ids = gl ? row.glNames : row.names;
        names[0] = NameOf(ids[0]);
        names[1] = NameOf(ids[1]);
        break;
    }
    CString suffix = "(" + holder + ")";

    bool changed = false;
    int count = NamedCount(table);
    for (int i = 0; i < count; ++i) {
        CFormatEntry& entry = table.m_Entries[i];
        if (entry.m_strName == names[0] || entry.m_strName == names[1]) {
            entry.m_strName += suffix;
            entry.m_nExtra = number;
            changed = true;
        }
    }
    if (changed)
        return true;

    // Each name inserts a named copy after the first entry that contains it; an entry (and the copy
    // it leaves behind) is handled at most once per line, even when both names are the same.
    bool done[2] = {names[0].IsEmpty() != 0, names[1].IsEmpty() != 0};
    for (int i = 0; i < NamedCount(table) && !(done[0] && done[1]); ++i) {
        CFormatEntry& entry = table.m_Entries[i];
        int which = !done[0] && entry.m_strName.Find(names[0]) >= 0 ? 0
            : !done[1] && entry.m_strName.Find(names[1]) >= 0       ? 1
                                                                    : -1;
        if (which < 0)
            continue;
        done[which] = true;
        if (names[0] == names[1])
            done[1 - which] = true;
        int named = NamedCount(table);
        if (named >= kNamedEntries) {
            Trace("the format table is full, holder line skipped", holder);
            return changed;
        }
        for (int k = named - 1; k >= i; --k)
            ShiftFormatEntry(table, k);
        table.m_Entries[i].m_strName += suffix;
        table.m_Entries[i].m_nExtra = number;
        changed = true;
        ++i;  // the unchanged copy
    }
    return changed;
}

void CKiltorraHolderFile::Read(const CString& path, CFormatTable& table)
{
    FILE* file = std::fopen(path, "rt");
    if (file == nullptr)
        return;
    CString line;
    bool cut = false;
    bool valid = ReadLine(file, line, cut) && !cut && line == kHeaderText;
    valid = valid && ReadLine(file, line, cut) && line.GetLength() > 0 && line[0] == 'V';
    while (valid && ReadLine(file, line, cut)) {
        if (cut)
            Trace("line longer than 254 characters, the rest skipped", line);
        int first = line.Find(',');
        int second = first >= 0 ? line.Find(',', first + 1) : -1;
        if (second < 0)
            continue;
        int third = line.Find(',', second + 1);
        CString holder = line.Left(first);
        CString format = line.Mid(first + 1, second - first - 1);
        CString number = third >= 0 ? line.Mid(second + 1, third - second - 1) : line.Mid(second + 1);
        if (!AddHolderEntry(table, holder, format, number))
            Trace("holder line skipped", line);
    }
    std::fclose(file);
}
