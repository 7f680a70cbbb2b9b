#pragma once

// Transfers of large blocks through a file's handle in chunks of at most 0xFFFE bytes.

#include <cstdint>

class CFile;

// Stops at the end of the file (a short file is no error) or at an error; 0 when a chunk failed.
int ReadFileHuge(CFile& file, void* destination, uint32_t count);
// 0 when a chunk failed or wrote nothing.
int WriteFileHuge(CFile& file, const void* source, uint32_t count);
