#include "core/util/GlobalBlock.h"

CGlobalBlock::CGlobalBlock(uint32_t size, int32_t pageLock) { Alloc(size, pageLock, GMEM_MOVEABLE); }

void CGlobalBlock::Alloc(uint32_t size, int32_t pageLock, UINT flags)
{
    m_pData = nullptr;
    m_nSize = size;
    m_bPageLock = pageLock;
    m_hMem = GlobalAlloc(flags, size);
    if (!m_hMem)
        return;
    m_pData = GlobalLock(m_hMem);
    if (!m_pData) {
        GlobalFree(m_hMem);
        m_hMem = nullptr;
    }
}

void CGlobalBlock::Free()
{
    if (!m_hMem)
        return;
    GlobalUnlock(m_hMem);
    GlobalFree(m_hMem);
    m_hMem = nullptr;
}

void CScopedBlock::Alloc(uint32_t size, UINT flags)
{
    Free();
    m_block.Alloc(size, 0, flags);
}

void CScopedBlock::Free()
{
    m_block.Free();
    m_block.m_pData = nullptr;
}

HGLOBAL CScopedBlock::Release()
{
    const HGLOBAL handle = m_block.m_hMem;
    m_block = CGlobalBlock();
    return handle;
}
