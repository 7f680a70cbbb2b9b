#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <ntddscsi.h>

// The request handed to DeviceIoControl with IOCTL_SCSI_PASS_THROUGH_DIRECT: the system's
// structure followed by the sense buffer it points at.
constexpr size_t kNtSenseArea = 32;
constexpr DWORD kNtSenseOffset = 48;
constexpr ULONG kNtPassThroughSeconds = 30;

#pragma pack(push, 4)
struct NtPassThroughRequest {
    SCSI_PASS_THROUGH_DIRECT header;
    uint32_t filler;
    uint8_t sense[kNtSenseArea];
};
#pragma pack(pop)

static_assert(sizeof(SCSI_PASS_THROUGH_DIRECT) == 44, "pass-through header");
static_assert(offsetof(NtPassThroughRequest, sense) == kNtSenseOffset, "sense offset");
static_assert(sizeof(NtPassThroughRequest) == 80, "pass-through request");

// DataIn values of the request.
enum : UCHAR { kNtDataOut = 0, kNtDataIn = 1, kNtNoData = 2 };
