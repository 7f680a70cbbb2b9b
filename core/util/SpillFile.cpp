#include "core/util/SpillFile.h"

#include "core/util/ScopedFile.h"

#include <algorithm>
#include <cstring>
#include <new>

CTempFileName::CTempFileName()
{
    char tempDir[MAX_PATH];
    const DWORD length = GetTempPathA(sizeof tempDir, tempDir);
    if (length == 0 || length >= sizeof tempDir)
        return;
    m_pszName = new (std::nothrow) char[MAX_PATH];
    if (m_pszName && GetTempFileNameA(tempDir, "pass", 0, m_pszName) == 0) {
        delete[] m_pszName;
        m_pszName = nullptr;
    }
}

CTempFileName::~CTempFileName()
{
    if (!m_pszName)
        return;
    DeleteFileA(m_pszName);
    delete[] m_pszName;
}

CSpillFile::CSpillFile(uint32_t size) : m_nSize(size)
{
    if (size > 0 && size <= kSpillMemoryBudget) {
        m_block.Alloc(size);
        if (m_block.Data() != nullptr) {
            m_bInMemory = 1;
            return;
        }
    }
    const char* name = m_tempName.GetName();
    m_bFailed = !name || !Open(name, modeCreate | modeReadWrite | shareExclusive);
}

CSpillFile::~CSpillFile()
{
    if (m_bInMemory)
        return;
    // Emptied before it is closed, a large file goes in a fraction of the time its deletion alone
    // takes under Wine, and the drive's next writes do not wait for its blocks.
    if (m_hFile != INVALID_HANDLE_VALUE && SetFilePointer(m_hFile, 0, nullptr, FILE_BEGIN) == 0)
        SetEndOfFile(m_hFile);
    Abort();
}

UINT CSpillFile::Read(void* destination, UINT count)
{
    if (m_bInMemory) {
        const uint32_t available = std::min<uint32_t>(count, m_nSize - m_nPosition);
        std::memcpy(destination, (const uint8_t*)m_block.Data() + m_nPosition, available);
        m_nPosition += available;
        return available;
    }
    if (m_bFailed)
        return 0;
    // A band of a turned image moves with one call where chunks would take dozens; a short read
    // goes on in chunks to the end of the file.
    DWORD got = 0;
    if (!ReadFile(m_hFile, destination, count, &got, nullptr)) {
        m_bFailed = true;
        return got;
    }
    if (got == 0 || got == count)
        return got;
    return got + ReadChunks(m_hFile, (uint8_t*)destination + got, count - got, m_bFailed);
}

uint32_t CSpillFile::WriteData(const void* source, uint32_t count)
{
    if (m_bInMemory) {
        const uint32_t room = std::min<uint32_t>(count, m_nSize - m_nPosition);
        std::memcpy((uint8_t*)m_block.Data() + m_nPosition, source, room);
        m_nPosition += room;
        return room;
    }
    if (m_bFailed)
        return 0;
    DWORD put = 0;
    const bool written = WriteFile(m_hFile, source, count, &put, nullptr) != 0;
    uint32_t done = put;
    if (written && done > 0 && done < count)
        done += WriteChunks(m_hFile, (const uint8_t*)source + done, count - done);
    m_bFailed = done < count;
    return done;
}

uint32_t CSpillFile::SeekBy(int32_t offset)
{
    if (m_bInMemory) {
        const int64_t target = (int64_t)m_nPosition + offset;
        m_nPosition = (uint32_t)std::clamp<int64_t>(target, 0, m_nSize);
        return m_nPosition;
    }
    if (m_bFailed)
        return 0;
    const DWORD position = SetFilePointer(m_hFile, offset, nullptr, FILE_CURRENT);
    return position == INVALID_SET_FILE_POINTER ? 0 : position;
}

uint32_t CSpillFile::SeekTo(uint32_t offset)
{
    if (m_bInMemory) {
        m_nPosition = std::min(offset, m_nSize);
        return m_nPosition;
    }
    if (m_bFailed)
        return 0;
    LONG high = 0;
    const DWORD position = SetFilePointer(m_hFile, (LONG)offset, &high, FILE_BEGIN);
    return position == INVALID_SET_FILE_POINTER ? 0 : position;
}

void CSpillFile::Rewind()
{
    if (m_bInMemory)
        m_nPosition = 0;
    else if (!m_bFailed)
        SetFilePointer(m_hFile, 0, nullptr, FILE_BEGIN);
}
