#pragma once

// A colour engine for the tests: every operation refuses with code 30, "not available", as the
// operations not yet in the engine build do; the image-file operations can be switched to write a
// raw file that fails after a number of blocks, as a full disk would.

#include "core/cms/CmsEngineInstance.h"
#include "core/scan/ScanColour.h"
#include "core/scan/ShellServices.h"
#include "tests/support/RefusingCmsEngine.h"

#include <cstdio>

class CFakeEngine : public CRefusingCmsEngine {
public:
    int FreeHandle(CmsHandle*) override { return 0; }
    int EndSearch() override { return 0; }
    int CreateImageFile(const char* path, CCmsImageDesc*, int, int*) override;
    int WriteImageBlock(CCmsImageDesc* desc, int*) override;
    int CloseImageFile(CCmsImageDesc*, int*) override;

    // When true the image-file operations write raw rows; the block numbered m_nFailingBlock (from
    // 0) and every later one fail as on a full disk.
    bool m_bWritesFiles = false;
    int m_nFailingBlock = -1;
    // A drive the failing block leaves without free bytes, as a disk that filled up; nullptr for a
    // write that fails on a roomy disk.
    CDriveSpace* m_pFilledDrive = nullptr;
    int m_nBlocksWritten = 0;
    int m_nWriteCalls = 0;

private:
    FILE* m_pFile = nullptr;
};

// Colour management without steps or transforms whose image files the test's engine writes.
class CEngineFilesOnly : public CScanColourServices {
public:
    int OpenImageFile(const char* path, CCmsImageDesc* desc) override
    {
        return g_pCmsEngine->CreateImageFile(path, desc, 0, m_FileSlot);
    }
    int WriteImageFile(CCmsImageDesc* desc) override { return g_pCmsEngine->WriteImageBlock(desc, m_FileSlot); }
    int CloseImageFile(CCmsImageDesc* desc) override { return g_pCmsEngine->CloseImageFile(desc, m_FileSlot); }

private:
    int32_t m_FileSlot[2] = {};
};
