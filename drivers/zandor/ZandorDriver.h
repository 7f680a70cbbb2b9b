#pragma once

// The older ZANDOR scanners: line-art and grey models in 300 and 400 ppi versions, a further grey
// model and a colour model, each with an optional transparency unit. They describe themselves in a
// 55-byte INQUIRY layout of their own, hold the image in bands that each need a SCAN of their own,
// scan colour in three passes (red, green, blue), measure the original's densities after every
// start, answer errors with a single code byte, and take no lookup table: the driver maps every
// block through its own tables on the host, widening 6-bit samples first.

#include "core/driver/LutBuffer.h"
#include "core/driver/ScannerDriver.h"

#include <cstdint>

class CScanSettings;

constexpr uint32_t kKindZandor = 16;

// The model table's factory for the ZANDOR entry: a new driver, or null when memory ran out.
CScannerDriver* CreateZandorDriver();

// One 256-entry table that only the host uses; no command carries it.
class CZandorLut : public CLutBuffer {
public:
    static constexpr uint32_t kEntries = 256;

    uint32_t GetLength() override { return kEntries; }
    uint8_t* GetData() override { return m_nTable; }
    void LoadTable(const uint16_t* table, uint32_t count) override;
    uint32_t GetMaxValue() override { return 255; }
    uint32_t GetEntryCount() override { return kEntries; }

    uint8_t m_nTable[kEntries] = {};
};

// Per cent dot area that device level 0 and level 255 stand for.
struct CDotAreaRange {
    int32_t m_nLow;
    int32_t m_nHigh;
};

class CZandorDriver : public CScannerDriver {
public:
    ~CZandorDriver() override;
    void InitCapabilities() override;
    uint32_t PostProcessLines(uint8_t* buffer, uint32_t lines, CScanSettings* settings, int32_t* status) override;
    void RebuildFormatTable() override;
    uint16_t UpdateScanGeometry() override;
    uint16_t SetScanParameters(CScanSettings* settings) override;
    uint16_t StartScanCommand(uint8_t windowId) override;
    uint16_t StartPass(int32_t windowId, int32_t passValue) override;
    uint16_t ReadData(uint8_t* buffer, uint8_t qualifier, uint16_t lines, uint16_t bytesPerLine) override;
    uint16_t StopScan(int32_t flag) override;
    uint16_t ReserveDevice() override;
    uint16_t Identify() override;
    uint16_t PrepareScan() override;
    uint16_t WaitReady(uint32_t timeoutMs) override;
    uint16_t WaitForData(uint8_t qualifier, uint32_t count, uint32_t timeoutMs) override;
    uint16_t SendLookupTables() override;
    uint16_t PrescanIfNeeded(CScanSettings* settings, ScanProgressCallback progress) override;
    uint16_t HandleSense(const uint8_t* sense) override;
    uint32_t ClampResolutionX(uint32_t resolution) override;
    uint32_t ClampResolutionY(uint32_t resolution) override;
    int IsLutRising(uint32_t scanMode) override;
    uint32_t ScanModeForImageType(int32_t imageType) override;

    // Reads the device's window status: band size, measured densities and, with flag 1, the image
    // size the device accepted.
    uint16_t ReadAutoDensities(int flag);
    // Maps the lines in place through the tables (three-pass colour lines hold R, G and B planes'
    // pixels interleaved, three times the header's bytes per line).
    void ApplyLutToLines(uint32_t lines, uint8_t* buffer);
    // Fills the window descriptor for the settings (65 bytes for the colour model, else 37) and
    // returns its length.
    uint32_t BuildWindow(const CScanSettings& settings, uint8_t* descriptor);
    // Window bytes 14 and 16: the minimum- and maximum-density levels the device is to use.
    void DensityLevels(const CScanSettings& settings, uint8_t& minimumLevel, uint8_t& maximumLevel) const;
    // A sample as an 8-bit table index: 6-bit samples are widened to the whole range.
    uint8_t Widen(uint8_t sample) const;
    uint32_t WindowLength() const { return m_nModel == kColourModel ? 65 : 37; }
    uint32_t StatusLength() const { return m_nModel == kColourModel ? 40 : 24; }

    static constexpr int32_t kColourModel = 6;
    // The class's runtime format table; created by InitCapabilities, deleted by the destructor.
    static CFormatTable* s_pFormatTable;

    int32_t m_nModel = 0;
    int32_t m_nColourFlag = 0;
    uint32_t m_nLinesInBand = 0;
    int32_t m_nBitsPerSample = 8;
    CZandorLut m_RedLut;
    CZandorLut m_GreenLut;
    CZandorLut m_BlueLut;
    uint16_t m_nReserveState = 255;
    CDotAreaRange m_MinDotArea = {-13, 43};
    CDotAreaRange m_MaxDotArea = {76, 132};
    // How long a device may stay busy or unready before a scan gives up, ms.
    uint32_t m_nBusyLimit = 45000;

private:
    // The time-out of one try of a command that is repeated while busy, ms.
    uint32_t TryTimeout(uint32_t start) const;
    uint16_t ScanWhileBusy(uint8_t windowId, uint8_t control, uint8_t* sense);
    uint16_t NextBand(uint8_t qualifier);
    uint16_t BandRead(uint8_t* buffer, uint8_t qualifier, uint32_t lines, uint32_t bytesPerLine);
    void TakeStatus(const uint8_t* status, int flag);
};
