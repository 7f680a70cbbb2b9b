#pragma once

// The KOVAL and KOVAL PLUS flatbeds (optionally with a transparency unit). They speak the standard
// scanner commands: a 48-byte SET WINDOW descriptor per colour in 1/1200 inch, SCAN with a window
// list, the lookup tables of all channels in one SEND(10) block and image bytes as a READ(10)
// stream, colour pixel-interleaved. The plain model has no buffer pacing of its own: the host waits
// the carriage time before each read. KOVAL PLUS reports its buffer fill instead.

#include "core/driver/ScannerDriver.h"

#include <cstdint>

constexpr uint32_t kKindKoval = 2;
constexpr uint32_t kKindKovalPlus = 32;

// The model table's factory for the KOVAL entry: a new driver, or null when memory ran out.
CScannerDriver* CreateKovalDriver();

// The device makes resolutions below 600 (or 1200) steps per inch by dropping evenly spread steps;
// entry i of the mask (from 1) is 1 when step i of an inch is kept.
constexpr int kKovalDropMaskSize = 1201;
void KovalBuildDropMask(uint32_t resolution, uint8_t* mask, uint32_t n);
// Steps the device keeps over a length in 1/1200 inch at the resolution; at least 1 unless the
// length is 0.
uint32_t KovalCountForLength(uint32_t length, uint32_t resolution);
// Pixels (8 bits) or whole bytes (1 bit) of a length; at least 1.
uint32_t KovalUnitsForLength(uint32_t length, uint32_t resolution, uint32_t bits, int even);

// Where the next paced read expects its lines, on the MillisecondClock.
extern uint32_t g_KovalNextReadTime;

// The device window of the current settings in 1/1200 inch, clipped to the bed of the original.
struct CKovalWindowArea {
    uint32_t m_nX0 = 0;
    uint32_t m_nY0 = 0;
    uint32_t m_nWidth = 0;
    uint32_t m_nLength = 0;
    uint32_t m_nResolution = 0;
};

class CKovalDriver : public CScannerDriver {
public:
    ~CKovalDriver() override;
    void InitCapabilities() override;
    void RebuildFormatTable() override;
    uint32_t PreProcessLines(uint8_t* buffer, uint32_t lines, CScanSettings* settings) override;
    uint16_t UpdateScanGeometry() override;
    uint16_t SetScanParameters(CScanSettings* settings) override;
    uint16_t StartScanCommand(uint8_t windowId) override;
    uint16_t ReadData(uint8_t* buffer, uint8_t qualifier, uint16_t lines, uint16_t bytesPerLine) override;
    uint16_t StopScan(int32_t flag) override;
    uint16_t Identify() override;
    uint16_t PrepareScan() override;
    uint16_t SendLookupTables() override;
    uint16_t HandleSense(const uint8_t* sense) override;
    uint32_t ClampResolutionX(uint32_t resolution) override;
    uint32_t ClampResolutionY(uint32_t resolution) override;
    int IsLutRising(uint32_t scanMode) override;
    uint32_t ScanModeForImageType(int32_t imageType) override;

    // Byte 0 the table count, then per table its channel byte and 1024 one-byte entries. 0, or 252
    // after reporting message 3317.
    uint16_t BuildLutBlock(uint8_t* destination, int colourFlag);
    bool IsKovalPlus() const { return m_nKind == kKindKovalPlus; }
    CKovalWindowArea WindowArea(const CScanSettings& settings);
    // Shadow (0..50) and highlight (0..49) levels of one window from its density settings.
    void ShadowAndHighlight(
        const CScanSettings& settings, uint16_t minId, uint16_t maxId, uint8_t& shadow, uint8_t& highlight) const;
    // Milliseconds the carriage needs for the lines at the current resolution and channels.
    uint32_t CarriageTime(uint32_t lines);

    // The class's runtime format table; created by InitCapabilities, deleted by the destructor.
    static CFormatTable* s_pFormatTable;

    uint16_t m_nLastResult = 0;
    int32_t m_bBufferStatus = 0;

private:
    uint16_t ReadWithBufferStatus(uint8_t* buffer, uint8_t qualifier, uint16_t lines, uint32_t total);
    uint16_t ReadPaced(uint8_t* buffer, uint8_t qualifier, uint16_t lines, uint16_t bytesPerLine);
    uint16_t Read(uint8_t* buffer, uint8_t qualifier, uint32_t bytes);
    void BuildDescriptor(const CScanSettings& settings, const CKovalWindowArea& area, int window, uint8_t* out);
};
