#include "core/image/FileHuge.h"

#include "framework/File.h"

#include <algorithm>

namespace {

constexpr uint32_t kChunk = 0xFFFE;

}  // namespace

int ReadFileHuge(CFile& file, void* destination, uint32_t count)
{
    uint8_t* target = static_cast<uint8_t*>(destination);
    while (count > 0) {
        DWORD got = 0;
        if (!ReadFile(file.m_hFile, target, std::min(kChunk, count), &got, nullptr))
            return 0;
        if (got == 0)
            break;
        target += got;
        count -= got;
    }
    return 1;
}

int WriteFileHuge(CFile& file, const void* source, uint32_t count)
{
    const uint8_t* from = static_cast<const uint8_t*>(source);
    while (count > 0) {
        DWORD put = 0;
        // A chunk that writes nothing without failing would repeat for ever: a full disk or a device
        // that takes no data.
        if (!WriteFile(file.m_hFile, from, std::min(kChunk, count), &put, nullptr) || put == 0)
            return 0;
        from += put;
        count -= put;
    }
    return 1;
}
