#pragma once

// Chains of stored engine objects (flavour parts) that the engine applies to image data in one call.
// The entries are reference-counted handles, so one object can sit in a dialog's list and in the
// chain at once; only the last release frees the engine object. One chain, the current flavour,
// lives from start-up to exit: a scan applies it to every block, the preview to its bitmap.

#include "core/cms/CmsEngine.h"

#include <cstdint>
#include <string>

class CDib;

// Three pointers, copied by value so that copies share everything; releasing is explicit.
class CChromabondHandle {
public:
    // A handle with a record gets one more holder (true); an empty one gets a new zeroed record, the
    // name and a count of 1 (false when memory runs out, the handle then empty).
    bool Acquire(const char* name);
    // True when this release freed the engine object; false while others hold it or without one.
    bool Release();
    // Acquires the handle and loads the object at path into it (a handle that has its record keeps
    // it: only the count rises). A failed load releases the handle again and answers false.
    bool Load(const char* path);
    bool Save(const char* path) const;
    std::string GetName() const;

    bool IsEmpty() const { return m_pCount == nullptr; }
    CmsHandle* Record() const { return m_pRecord; }
    int32_t Holders() const { return m_pCount != nullptr ? *m_pCount : 0; }

private:
    int32_t* m_pCount = nullptr;
    CmsHandle* m_pRecord = nullptr;
    std::string* m_pName = nullptr;
};

class CChromabondChain {
public:
    CChromabondChain() = default;
    CChromabondChain(const CChromabondChain&) = delete;
    CChromabondChain& operator=(const CChromabondChain&) = delete;
    // Deletes the entry names and the entry array; the handles are not released.
    ~CChromabondChain();

    // The file-name part of path, at most 255 characters without drive, folder or extension; an
    // empty path clears the name.
    void SetName(const char* path);
    const std::string& GetName() const { return m_strName; }
    // Takes over entries (an array made with new[]) and count; Set(null, 0) empties the chain. With
    // owns set the chain is their only holder and releases them when they leave it (a flavour read
    // from a file without the Flavors dialog, whose list otherwise holds them).
    void Set(CChromabondHandle* entries, int32_t count, bool owns = false);
    // Releases the entries when the chain owns them.
    void Clear();
    // Applies every entry that has a record; true at once for an empty chain, true when the engine
    // converted, false after the engine's reason was reported.
    bool Apply(CCmsImageDesc& source, CCmsImageDesc& destination);
    // The chain applied to a bitmap of 8 or more bits per pixel from source into destination bits;
    // the bits that hold the result (the source's when nothing was converted).
    uint8_t* ApplyToDib(CDib& dib, uint8_t* source, uint8_t* destination);
    // Makes the entries one engine object that the chain then owns as its single entry.
    bool Combine();

    int32_t GetCount() const { return m_nCount; }
    const CChromabondHandle* GetEntries() const { return m_pEntries; }
    bool IsChanged() const { return m_bChanged; }
    bool OwnsEntries() const { return m_bOwnsEntries; }
    bool IsStored() const { return m_bStored; }
    void SetStored(bool stored) { m_bStored = stored; }
    const CmsHandle& CombinedRecord() const { return m_Combined; }

private:
    void DeleteEntryNames();
    // The records of the entries that have one, in order; their number.
    int32_t FillSlots(CmsChainEntry* slots, std::string* names) const;

    CmsHandle m_Combined = {};
    bool m_bChanged = false;
    bool m_bOwnsEntries = false;
    bool m_bStored = false;
    int32_t m_nCount = 0;
    std::string m_strName;
    std::string* m_pEntryNames = nullptr;
    CChromabondHandle* m_pEntries = nullptr;
};

// The current flavour: made at start-up, deleted at exit; null outside that time.
extern CChromabondChain* g_pCurrentFlavor;
