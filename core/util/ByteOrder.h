#pragma once

// Numbers laid into stored and sent byte blocks: files are little-endian, SCSI command and
// parameter blocks big-endian, whatever the machine that builds them.

#include <cstdint>

inline void PutLe16(uint8_t* at, uint32_t value)
{
    at[0] = uint8_t(value);
    at[1] = uint8_t(value >> 8);
}

inline void PutLe32(uint8_t* at, uint32_t value)
{
    PutLe16(at, value);
    PutLe16(at + 2, value >> 16);
}

inline void PutBe16(uint8_t* at, uint32_t value)
{
    at[0] = uint8_t(value >> 8);
    at[1] = uint8_t(value);
}

inline void PutBe24(uint8_t* at, uint32_t value)
{
    at[0] = uint8_t(value >> 16);
    PutBe16(at + 1, value);
}
