#pragma once

// The language catalog: the texts of message ids 3000..4492 from one catalog file beside the
// program. A text whose conversions do not take the values its callers pass is dropped when the
// file is read, as if the file had none for its id. The catalog reports nothing itself: while it
// is missing there is nothing to report with, so its creators show their own fixed texts when the
// state says it is unusable.

#include "framework/String.h"

#include <cstdint>

constexpr int kFirstMessageId = 3000;
constexpr int kLastMessageId = 4492;
constexpr int kMessageCount = kLastMessageId - kFirstMessageId + 1;

constexpr int32_t kCatalogLoaded = 36;
constexpr int32_t kCatalogFailed = 32;

class CMessageCatalog {
public:
    // A name with "DLL" or "32" in it stands for an older catalog name and becomes its first three
    // letters plus ".MSG"; a name without a backslash is looked up in the program directory.
    explicit CMessageCatalog(const CString& fileName);
    ~CMessageCatalog();
    CMessageCatalog(const CMessageCatalog&) = delete;
    CMessageCatalog& operator=(const CMessageCatalog&) = delete;

    // The text of a message (null when empty or absent); found is 1 for an id in 3000..4492 (taken by
    // its low 16 bits), else 0 with an empty text.
    const char* Lookup(int id, int& found) const;
    // The path after its last backslash.
    CString GetFileTitle() const;

    bool IsUsable() const { return m_nState > 32; }

    bool Load(const CString& path);
    void ParseLine(const char* line, int& count);

    int32_t m_nState = kCatalogFailed;
    CString m_strPath;
    char* m_pEntries[kMessageCount] = {};

private:
    void FreeEntries();
    void DropUnfitTexts();
};

// The one loaded catalog; null while none is loaded.
extern CMessageCatalog* g_pMessageCatalog;
