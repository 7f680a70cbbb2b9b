#pragma once

// A file-like stream that keeps a whole image (the rotation buffer of the output stage, the passes of
// a multi-pass scan) in global memory when it can, and in a temporary file when memory runs short.
// The choice is made once, at construction, from the size the caller expects to write.
//
// "Short" means more than kSpillMemoryBudget as well as an allocation that fails: a 600 ppi page
// held whole would double the program's footprint, and a 32-bit process that gets such a block
// may then fail a far smaller allocation later in the scan.

#include "core/util/GlobalBlock.h"
#include "framework/File.h"

#include <cstdint>

// The full path of a new temporary file "pass*.tmp"; the file exists (empty) from construction and
// is deleted with the object.
class CTempFileName {
public:
    CTempFileName();
    ~CTempFileName();
    CTempFileName(const CTempFileName&) = delete;
    CTempFileName& operator=(const CTempFileName&) = delete;

    // Null when no name could be made.
    const char* GetName() const { return m_pszName; }

private:
    char* m_pszName = nullptr;
};

// The largest stream kept in memory.
constexpr uint32_t kSpillMemoryBudget = 16u * 1024 * 1024;

class CSpillFile : public CFile {
public:
    explicit CSpillFile(uint32_t size);
    ~CSpillFile() override;

    // False when neither the memory block nor the temporary file could be had, or a transfer to the
    // file failed; the stream then transfers nothing.
    bool IsUsable() const { return !m_bFailed; }
    bool IsInMemory() const { return m_bInMemory != 0; }

    // Both return the bytes really transferred. In memory they stop at the size given at
    // construction; in the file at its end or at an error.
    UINT Read(void* destination, UINT count) override;
    uint32_t WriteData(const void* source, uint32_t count);
    void Write(const void* source, UINT count) override { WriteData(source, count); }

    uint32_t SeekBy(int32_t offset);
    // To an offset from the start, with one call where Rewind and SeekBy take two (the rotation
    // seeks once per piece it writes); returns the new position like SeekBy.
    uint32_t SeekTo(uint32_t offset);
    void Rewind();

    const char* GetTempName() const { return m_tempName.GetName(); }

private:
    uint32_t m_nPosition = 0;
    uint32_t m_nSize = 0;
    CScopedBlock m_block;
    int32_t m_bInMemory = 0;
    CTempFileName m_tempName;
    bool m_bFailed = false;
};
