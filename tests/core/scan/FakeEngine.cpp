#include "tests/core/scan/FakeEngine.h"

int CFakeEngine::CreateImageFile(const char* path, CCmsImageDesc*, int, int*)
{
    if (!m_bWritesFiles)
        return Refuse("CreateImageFile");
    m_pFile = fopen(path, "wb");
    return m_pFile != nullptr ? 0 : 1;
}

int CFakeEngine::WriteImageBlock(CCmsImageDesc* desc, int*)
{
    ++m_nWriteCalls;
    if (!m_bWritesFiles || m_pFile == nullptr)
        return Refuse("WriteImageBlock");
    if (m_nFailingBlock >= 0 && m_nBlocksWritten >= m_nFailingBlock) {
        if (m_pFilledDrive != nullptr)
            m_pFilledDrive->freeBytes = 0;
        return Fail(16, "write failed");
    }
    fwrite(desc->channels[0].data, (size_t)desc->channels[0].rowStep, (size_t)desc->height, m_pFile);
    ++m_nBlocksWritten;
    return 0;
}

int CFakeEngine::CloseImageFile(CCmsImageDesc*, int*)
{
    if (m_pFile == nullptr)
        return Refuse("CloseImageFile");
    fclose(m_pFile);
    m_pFile = nullptr;
    return 0;
}
