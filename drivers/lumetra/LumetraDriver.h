#pragma once

// The LUMETRA camera on SCSI, driven like a scanner without a transparency unit. It describes its
// sensor and its two resolution lists in vendor INQUIRY bytes, takes a 60-byte window counted from
// the sensor's far edge, one 4096-entry tone table per channel, reports the geometry it accepted
// through GET WINDOW and delivers colour as separate red, green and blue lines, each tagged with its
// letter, in an order of its own. The driver sorts the lines into one queue per colour and hands
// the scan reader pixel-interleaved lines.

#include "core/driver/ScannerDriver.h"

#include <cstdint>

constexpr uint32_t kKindLumetra = 8192;

// Entries of a resolution list before its end marker.
constexpr uint32_t kLumetraListEntries = 31;
// Bytes of the camera's INQUIRY data.
constexpr uint32_t kLumetraInquiryBytes = 242;

// The model table's factory for the LUMETRA entry: a new driver, or null when memory ran out.
CScannerDriver* CreateLumetraDriver();

// Lines of one colour (or of grey) that arrived before the pixel line that needs them; every line
// of a scan has the same length, so the queue is one growing ring of line slots.
class CCameraLineQueue {
public:
    explicit CCameraLineQueue(uint32_t lineBytes) : m_nLineBytes(lineBytes) { }
    ~CCameraLineQueue();
    CCameraLineQueue(const CCameraLineQueue&) = delete;
    CCameraLineQueue& operator=(const CCameraLineQueue&) = delete;

    // Copies one line in; false when memory ran out.
    bool Push(const uint8_t* line);
    const uint8_t* Front() const { return m_pSlots + size_t(m_nHead) * m_nLineBytes; }
    void Pop();
    uint32_t Count() const { return m_nCount; }
    uint32_t LineBytes() const { return m_nLineBytes; }

private:
    bool Grow();

    uint32_t m_nLineBytes;
    uint8_t* m_pSlots = nullptr;
    uint32_t m_nCapacity = 0;
    uint32_t m_nHead = 0;
    uint32_t m_nCount = 0;
};

class CLumetraDriver : public CScannerDriver {
public:
    ~CLumetraDriver() override;
    uint32_t GetMaxResolutionForType(int32_t imageType) override;
    void InitCapabilities() override;
    void SetDefaultSettings(CScanSettings* settings) override;
    uint32_t GetLineOverhead() override;
    void RebuildFormatTable() override;
    uint16_t UpdateScanGeometry() override;
    uint16_t SetScanParameters(CScanSettings* settings) override;
    uint16_t ReadData(uint8_t* buffer, uint8_t qualifier, uint16_t lines, uint16_t bytesPerLine) override;
    uint16_t StopScan(int32_t flag) override;
    uint16_t Identify() override;
    uint16_t PrepareScan() override;
    uint16_t WaitForData(uint8_t qualifier, uint32_t bytes, uint32_t timeoutMs) override;
    uint16_t SendLookupTables() override;
    uint16_t PrescanIfNeeded(CScanSettings* settings, ScanProgressCallback progress) override;
    uint16_t HandleSense(const uint8_t* sense) override;
    uint32_t ClampResolutionX(uint32_t resolution) override;
    uint32_t ClampResolutionY(uint32_t resolution) override;
    uint32_t ScanModeForImageType(int32_t imageType) override;

    // Reads the INQUIRY vendor block (kLumetraInquiryBytes or fewer) into the driver's fields.
    void TakeVendorBlock(const uint8_t* data, uint32_t length);
    // Bytes of one device line as it comes over the wire.
    uint32_t DeviceLineBytes() const;
    // Sorts device lines into the queues: 0, or 254 when a copy could not be made.
    uint16_t SortLines(const uint8_t* lines, uint32_t count);
    // Pixel lines ready in the queues.
    uint32_t QueuedLines() const;
    // Builds `lines` pixel lines from the queue heads at the header's bytes-per-line step.
    void AssembleLines(uint8_t* destination, uint32_t lines);
    void DeleteQueues();
    // Milliseconds ReadData waits for `deviceLines` lines before it gives up.
    uint32_t TimeBudget(uint32_t deviceLines) const;

    // The class's runtime format table; created by InitCapabilities, deleted by the destructor.
    static CFormatTable* s_pFormatTable;

    uint8_t m_nWindowCode = 0;
    uint32_t m_nModeMaximum[6] = {};
    uint32_t m_nDeviceLineSize = 0;  // GET WINDOW bytes 66-67, in the unit of drivers/README.md
    uint32_t m_nHorizontalList[kLumetraListEntries + 1] = {};
    uint32_t m_nVerticalList[kLumetraListEntries + 1] = {};
    uint32_t m_nOutstandingLines = 0;
    uint32_t m_nLinesDelivered = 0;
    CCameraLineQueue* m_pQueues[4] = {};  // red, green, blue, grey
    uint16_t m_nLastResult = 0;

    static int32_t s_bExposurePrescanAllowed;

private:
    uint16_t CheckResult(uint16_t result, const uint8_t* sense);
    uint16_t ReadChunk(uint8_t* buffer, uint8_t qualifier, uint32_t chunk, bool& taken);
    uint16_t RunPrescan(ScanProgressCallback progress, bool exposure);
    void UpdateExposure();
    bool CreateQueues(bool colour, uint32_t sampleBytes);
    bool ShiftsSamples() const;
};
