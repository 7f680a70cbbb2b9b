#pragma once

// Processor and memory identification; they choose buffer sizes and fill the system information of
// the information file.

#include <cstdint>

// 3 an 80386, 4 an 80486 without CPUID, else the CPUID family of a "GenuineIntel" processor (5
// Pentium, 6 its successors) and 0xFFFF for any other vendor.
uint16_t GetCpuFamily();
// The same tests, each answer shifted left by 8; for "GenuineIntel" the low 16 bits of the CPUID
// signature shifted left by 8; 0xFFFF00 for other vendors.
uint32_t GetCpuModel();
// Whole megabytes of physical memory plus 1.
uint32_t GetPhysicalMemoryMb();
