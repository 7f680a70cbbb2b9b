#pragma once

#include <cstddef>
#include <cstdint>

// Request blocks of the ASPI for Win32 manager, laid out byte for byte as the manager of each
// platform reads them: pointer-sized buffer, post routine and reserved pointer, and on 64-bit
// Windows four bytes of padding that align the post routine. Shared by the ASPI transport and our
// virtual manager DLL.

enum : uint8_t {
    kAspiHostInquiry = 0x00,
    kAspiExecScsi = 0x02,
    kAspiAbortSrb = 0x03,
};

// Request status byte.
enum : uint8_t {
    kAspiPending = 0x00,
    kAspiCompleted = 0x01,
    kAspiAborted = 0x02,
    kAspiError = 0x04,
    kAspiInvalidCommand = 0x80,
    kAspiInvalidAdapter = 0x81,
    kAspiNoDevice = 0x82,
    kAspiInvalidSrb = 0xE0,
    kAspiNoAdapters = 0xE8,
};

enum : uint8_t {
    kAspiPosting = 0x01,
    kAspiSelectionTimeout = 0x11,  // host adapter status: nobody answered the selection
    kAspiDataOverrun = 0x12,       // host adapter status: more or fewer bytes moved than asked
};

// Header reserved word of the adapter inquiry asking for the extended data (signature 0xAA55,
// 16 bytes wanted), and the signature the manager answers with.
constexpr uint32_t kAspiExtendedRequest = 0x0010AA55;
constexpr uint16_t kAspiExtendedAnswer = 0x55AA;
constexpr size_t kAspiSenseArea = 32;

using AspiPostProc = void(__cdecl*)(void* srb);

#pragma pack(push, 1)
struct AspiHostInquirySrb {
    uint8_t command;
    uint8_t status;
    uint8_t adapter;
    uint8_t flags;
    uint32_t reserved;
    uint8_t adapterCount;
    uint8_t hostScsiId;
    char managerId[16];
    char identifier[16];
    uint8_t unique[16];
    uint16_t extendedFlags;  // bit 2: 16 targets, bit 3: 32 targets
};

struct AspiExecSrb {
    uint8_t command;
    volatile uint8_t status;
    uint8_t adapter;
    uint8_t flags;
    uint32_t headerReserved;
    uint8_t target;
    uint8_t lun;
    uint16_t reserved1;
    uint32_t bufferLength;
    uint8_t* buffer;
    uint8_t senseLength;
    uint8_t cdbLength;
    uint8_t hostStatus;
    uint8_t targetStatus;
#ifdef _WIN64
    uint32_t padding;
#endif
    AspiPostProc postProc;
    void* reserved2;
    uint8_t reserved3[16];
    uint8_t cdb[16];
    uint8_t sense[kAspiSenseArea];
};

struct AspiAbortSrb {
    uint8_t command;
    uint8_t status;
    uint8_t adapter;
    uint8_t flags;
    uint32_t reserved;
    void* request;
};
#pragma pack(pop)

static_assert(sizeof(AspiHostInquirySrb) == 60, "adapter inquiry block");
static_assert(offsetof(AspiHostInquirySrb, identifier) == 26, "adapter identifier");
static_assert(offsetof(AspiHostInquirySrb, extendedFlags) == 58, "adapter flags");
// The 64-bit manager reads the same fields at wider places.
constexpr bool kWideAspi = sizeof(void*) == 8;
static_assert(offsetof(AspiExecSrb, buffer) == 16, "data buffer");
static_assert(offsetof(AspiExecSrb, postProc) == (kWideAspi ? 32 : 24), "post routine");
static_assert(offsetof(AspiExecSrb, cdb) == (kWideAspi ? 64 : 48), "command block");
static_assert(offsetof(AspiExecSrb, sense) == (kWideAspi ? 80 : 64), "sense area");
static_assert(sizeof(AspiExecSrb) == (kWideAspi ? 112 : 96), "SCSI request block");
static_assert(offsetof(AspiAbortSrb, request) == 8, "request to abort");
