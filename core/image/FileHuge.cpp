#include "core/image/FileHuge.h"

#include "core/util/ScopedFile.h"
#include "framework/File.h"

int ReadFileHuge(CFile& file, void* destination, uint32_t count)
{
    bool failed = false;
    ReadChunks(file.m_hFile, destination, count, failed);
    return failed ? 0 : 1;
}

int WriteFileHuge(CFile& file, const void* source, uint32_t count)
{
    return WriteChunks(file.m_hFile, source, count) == count ? 1 : 0;
}
