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
