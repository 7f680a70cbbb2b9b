#pragma once

// Whole files as bytes: the engine's curve files and stored objects are read whole into memory and
// written beside the old file, which is replaced only once the new one is complete.

#include <cstdint>
#include <string>
#include <vector>

// False when the file cannot be opened or read.
bool ReadFileBytes(const std::string& path, std::vector<uint8_t>& bytes);
// False when the file cannot be written; the old file is then as it was.
bool ReplaceFileBytes(const std::string& path, const std::vector<uint8_t>& bytes);
