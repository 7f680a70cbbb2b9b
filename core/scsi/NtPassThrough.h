#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <ntddscsi.h>

// The request handed to DeviceIoControl with IOCTL_SCSI_PASS_THROUGH_DIRECT: the system's
// structure followed by the sense buffer it points at. The structure is each platform's own (its
// data pointer makes it 44 bytes on 32-bit Windows, 56 on 64-bit), so the sense offset is taken
// from the layout.
constexpr size_t kNtSenseArea = 32;
constexpr ULONG kNtPassThroughSeconds = 30;

struct NtPassThroughRequest {
    SCSI_PASS_THROUGH_DIRECT header;
    uint32_t filler;
    uint8_t sense[kNtSenseArea];
};

constexpr ULONG kNtSenseOffset = offsetof(NtPassThroughRequest, sense);
static_assert(sizeof(void*) != 4 || sizeof(SCSI_PASS_THROUGH_DIRECT) == 44, "32-bit header");
static_assert(sizeof(void*) != 4 || kNtSenseOffset == 48, "32-bit sense offset");
static_assert(sizeof(void*) != 8 || sizeof(SCSI_PASS_THROUGH_DIRECT) == 56, "64-bit header");

// DataIn values of the request.
enum : UCHAR { kNtDataOut = 0, kNtDataIn = 1, kNtNoData = 2 };
