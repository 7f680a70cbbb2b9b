#include "core/util/ScopedFile.h"

#include <algorithm>

namespace {

// Larger transfers go in chunks of at most this many bytes.
constexpr uint32_t kChunk = 0xFFFE;

}  // namespace

uint32_t ReadChunks(HANDLE file, void* destination, uint32_t count, bool& failed)
{
    uint32_t done = 0;
    while (done < count) {
        DWORD got = 0;
        if (!ReadFile(file, (uint8_t*)destination + done, std::min(kChunk, count - done), &got, nullptr)) {
            failed = true;
            break;
        }
        if (got == 0)
            break;
        done += got;
    }
    return done;
}

uint32_t WriteChunks(HANDLE file, const void* source, uint32_t count)
{
    uint32_t done = 0;
    while (done < count) {
        DWORD put = 0;
        // A chunk that writes nothing without failing would repeat for ever: a full disk or a device
        // that takes no data.
        if (!WriteFile(file, (const uint8_t*)source + done, std::min(kChunk, count - done), &put, nullptr) || put == 0)
            break;
        done += put;
    }
    return done;
}

bool CScopedFile::Open(const char* path, DWORD access, DWORD disposition)
{
    Close();
    m_hFile = CreateFileA(path, access, 0, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
    return IsOpen();
}

bool CScopedFile::Close()
{
    bool closed = !IsOpen() || CloseHandle(m_hFile) != 0;
    m_hFile = INVALID_HANDLE_VALUE;
    return closed;
}

bool CScopedFile::SeekTo(uint32_t offset)
{
    return SetFilePointer(m_hFile, (LONG)offset, nullptr, FILE_BEGIN) != INVALID_SET_FILE_POINTER;
}

long CScopedFile::ReadAt(uint32_t offset, void* destination, uint32_t count)
{
    if (!SeekTo(offset))
        return -1;
    bool failed = false;
    const uint32_t got = ReadChunks(m_hFile, destination, count, failed);
    return failed ? -1 : (long)got;
}

bool CScopedFile::WriteAt(uint32_t offset, const void* source, uint32_t count)
{
    return SeekTo(offset) && WriteChunks(m_hFile, source, count) == count;
}

bool CScopedFile::ReadAll(std::vector<char>& content)
{
    const DWORD size = GetFileSize(m_hFile, nullptr);
    if (size == INVALID_FILE_SIZE)
        return false;
    content.resize(size);
    return ReadAt(0, content.data(), size) == (long)size;
}

bool CScopedFile::WriteAll(const void* source, uint32_t count)
{
    return WriteAt(0, source, count) && FlushFileBuffers(m_hFile);
}
