#include "engine/FileBytes.h"

#include <windows.h>

#include <cstdio>

bool ReadFileBytes(const std::string& path, std::vector<uint8_t>& bytes)
{
    bytes.clear();
    FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr)
        return false;
    uint8_t chunk[16384];
    size_t got;
    while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0)
        bytes.insert(bytes.end(), chunk, chunk + got);
    bool ok = !std::ferror(file);
    std::fclose(file);
    return ok;
}

bool ReplaceFileBytes(const std::string& path, const std::vector<uint8_t>& bytes)
{
    std::string temporary = path + ".new";
    FILE* file = std::fopen(temporary.c_str(), "wb");
    if (file == nullptr)
        return false;
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    ok = std::fclose(file) == 0 && ok;
    if (!ok || !MoveFileExA(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING)) {
        DeleteFileA(temporary.c_str());
        return false;
    }
    return true;
}
