#include "core/util/CpuInfo.h"

#include <windows.h>

#include <cpuid.h>
#include <cstring>

namespace {

// Code running in 32-bit protected mode runs on an 80386 or later, so the 8086 and 80286 flag tests
// have nothing to find here (and would misread the IOPL bits of a protected-mode process).
constexpr uint32_t kAlignmentCheckFlag = 0x40000;
constexpr uint32_t kIdFlag = 0x200000;

constexpr uint16_t k80386 = 3;
constexpr uint16_t k80486 = 4;
constexpr uint16_t kOtherVendor = 0xFFFF;

#ifdef _WIN64
// Every x86-64 processor has the alignment-check flag and CPUID.
bool FlagToggles(uint32_t)
{
    return true;
}
#else
// Whether a bit of EFLAGS can be changed; the flags are restored either way.
bool FlagToggles(uint32_t mask)
{
    uint32_t before;
    uint32_t after;
    asm volatile(
        "pushfl\n\t"
        "pushfl\n\t"
        "popl %0\n\t"
        "movl %0, %1\n\t"
        "xorl %2, %1\n\t"
        "pushl %1\n\t"
        "popfl\n\t"
        "pushfl\n\t"
        "popl %1\n\t"
        "popfl\n\t"
        : "=&r"(before), "=&r"(after)
        : "r"(mask)
        : "cc");
    return ((before ^ after) & mask) != 0;
}
#endif

bool IsGenuineIntel()
{
    unsigned eax, ebx, ecx, edx;
    __cpuid(0, eax, ebx, ecx, edx);
    char vendor[12];
    std::memcpy(vendor, &ebx, 4);
    std::memcpy(vendor + 4, &edx, 4);
    std::memcpy(vendor + 8, &ecx, 4);
    return std::memcmp(vendor, "GenuineIntel", 12) == 0;
}

uint32_t CpuSignature()
{
    unsigned eax, ebx, ecx, edx;
    __cpuid(1, eax, ebx, ecx, edx);
    return eax;
}

}  // namespace

uint16_t GetCpuFamily()
{
    if (!FlagToggles(kAlignmentCheckFlag))
        return k80386;
    if (!FlagToggles(kIdFlag))
        return k80486;
    if (!IsGenuineIntel())
        return kOtherVendor;
    return (uint16_t)((CpuSignature() >> 8) & 0x0F);
}

uint32_t GetCpuModel()
{
    if (!FlagToggles(kAlignmentCheckFlag))
        return (uint32_t)k80386 << 8;
    if (!FlagToggles(kIdFlag))
        return (uint32_t)k80486 << 8;
    if (!IsGenuineIntel())
        return (uint32_t)kOtherVendor << 8;
    return (CpuSignature() & 0xFFFF) << 8;
}

uint32_t GetPhysicalMemoryMb()
{
    // The extended status counts beyond 4 GB, where the plain one stops.
    MEMORYSTATUSEX status = {};
    status.dwLength = sizeof status;
    if (!GlobalMemoryStatusEx(&status))
        return 1;
    return (uint32_t)(status.ullTotalPhys >> 20) + 1;
}
