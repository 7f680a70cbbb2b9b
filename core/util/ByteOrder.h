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

inline void PutBe32(uint8_t* at, uint32_t value)
{
    PutBe16(at, value >> 16);
    PutBe16(at + 2, value);
}

inline uint32_t GetBe16(const uint8_t* at)
{
    return (uint32_t(at[0]) << 8) | at[1];
}

inline uint32_t GetBe24(const uint8_t* at)
{
    return (uint32_t(at[0]) << 16) | GetBe16(at + 1);
}

inline uint32_t GetBe32(const uint8_t* at)
{
    return (GetBe16(at) << 16) | GetBe16(at + 2);
}
