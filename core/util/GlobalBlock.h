#pragma once

// A locked block of Windows global memory: scan lines, transfer buffers, lookup tables. The owner
// frees it with Free; there is deliberately no destructor, so a block can be handed on by copying
// the object (the clipboard and the SCSI data blocks take over the handle).

#include <windows.h>

#include <cstdint>

class CGlobalBlock {
public:
    CGlobalBlock() = default;
    // A moveable block; test m_pData for success.
    CGlobalBlock(uint32_t size, int32_t pageLock);

    void Alloc(uint32_t size, int32_t pageLock, UINT flags);
    // Safe to call twice; m_pData keeps its stale value, as owners that test it expect.
    void Free();

    HGLOBAL m_hMem = nullptr;
    void* m_pData = nullptr;
    uint32_t m_nSize = 0;
    int32_t m_bPageLock = 0;
};

// A temporary block freed when its owner goes, whichever way the scope is left. Release hands the
// locked block on to an owner that frees it by hand (a DIB, the driver's histogram).
class CScopedBlock {
public:
    CScopedBlock() = default;
    explicit CScopedBlock(uint32_t size, UINT flags = GMEM_MOVEABLE) { Alloc(size, flags); }
    ~CScopedBlock() { Free(); }
    CScopedBlock(const CScopedBlock&) = delete;
    CScopedBlock& operator=(const CScopedBlock&) = delete;

    // Frees the block held before; test Data for success.
    void Alloc(uint32_t size, UINT flags = GMEM_MOVEABLE);
    void Free();
    // Null when there is no block.
    void* Data() const { return m_block.m_pData; }
    // The locked block's handle, now the caller's to unlock and free; null when there is none.
    HGLOBAL Release();

private:
    CGlobalBlock m_block;
};
