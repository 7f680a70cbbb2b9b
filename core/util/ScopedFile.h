#pragma once

// A file handle that closes itself, with transfers that report failure through their results and
// never throw: the settings file, the image writer, the spill file and the stored preview all need
// a failed transfer to be a status, not an exception.

#include <windows.h>

#include <cstdint>
#include <vector>

// Transfers at the handle's current position in chunks of at most 0xFFFE bytes; each returns the
// bytes really moved. A read stops at the end of the file (no failure) or at an error (`failed`
// set); a write that moved fewer than `count` bytes failed, a chunk that wrote nothing included.
uint32_t ReadChunks(HANDLE file, void* destination, uint32_t count, bool& failed);
uint32_t WriteChunks(HANDLE file, const void* source, uint32_t count);

class CScopedFile {
public:
    CScopedFile() = default;
    ~CScopedFile() { Close(); }
    CScopedFile(const CScopedFile&) = delete;
    CScopedFile& operator=(const CScopedFile&) = delete;

    // Opens without sharing: nobody else reads a file half written or writes one being read.
    // `disposition` is CreateFile's (OPEN_EXISTING, CREATE_ALWAYS); GetLastError says why it failed.
    bool Open(const char* path, DWORD access, DWORD disposition);
    bool IsOpen() const { return m_hFile != INVALID_HANDLE_VALUE; }
    HANDLE Get() const { return m_hFile; }
    // False when closing lost data the system still held; true for a file that was not open.
    bool Close();

    // Up to `count` bytes from `offset`: the count read, fewer at the end of the file, -1 on an error.
    long ReadAt(uint32_t offset, void* destination, uint32_t count);
    // All `count` bytes at `offset`, or false.
    bool WriteAt(uint32_t offset, const void* source, uint32_t count);
    // The whole file; false when any of it cannot be read.
    bool ReadAll(std::vector<char>& content);
    // `count` bytes from the start, flushed to the disk; false when any of it did not get there.
    bool WriteAll(const void* source, uint32_t count);

private:
    bool SeekTo(uint32_t offset);

    HANDLE m_hFile = INVALID_HANDLE_VALUE;
};
