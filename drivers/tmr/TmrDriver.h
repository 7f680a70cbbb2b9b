#pragma once

// The TM-R and TM-R-S flatbeds (optionally with a transparency bed). The device lists its own
// resolutions in its INQUIRY data, scans every image type as colour, pixel-interleaved R, G, B in
// one pass, takes one 10-bit-in, 8-bit-out table per channel (complemented) and a 110-byte window
// with 24-bit positions. A scan is under way only once the device's status value says so; then a
// parameter block tells the window the device accepted. Its reservation may belong to another host.

#include "core/driver/ScannerDriver.h"

#include <cstdint>

constexpr uint32_t kKindTmr = 0x200;

// The model table's factory for the TM-R entry: a new driver, or null when memory ran out.
CScannerDriver* CreateTmrDriver();

class CTmrDriver : public CScannerDriver {
public:
    static constexpr uint32_t kDescriptorBytes = 110;
    static constexpr uint32_t kLutBlockBytes = 1030;
    // Room for 16 device resolutions, the end mark 65535 and the closing 0.
    static constexpr int kResolutionListSize = 20;

    ~CTmrDriver() override;
    void InitCapabilities() override;
    void RebuildFormatTable() override;
    uint32_t PreProcessLines(uint8_t* buffer, uint32_t lines, CScanSettings* settings) override;
    uint16_t UpdateScanGeometry() override;
    uint16_t SetScanParameters(CScanSettings* settings) override;
    uint16_t StartPass(int32_t windowId, int32_t control) override;
    uint16_t ReadData(uint8_t* buffer, uint8_t qualifier, uint16_t lines, uint16_t bytesPerLine) override;
    uint16_t StopScan(int32_t flag) override;
    uint16_t ReserveDevice() override;
    uint16_t Identify() override;
    uint16_t PrepareScan() override;
    uint16_t WaitForData(uint8_t qualifier, uint32_t bytes, uint32_t timeoutMs) override;
    uint16_t SendLookupTables() override;
    uint16_t PrepareColourCorrection() override;
    uint16_t HandleSense(const uint8_t* sense) override;
    uint32_t ClampResolutionX(uint32_t resolution) override;
    uint32_t ClampResolutionY(uint32_t resolution) override;
    int IsLutRising(uint32_t scanMode) override;
    uint32_t ScanModeForImageType(int32_t imageType) override;

    // The device's status value (data type 0xA2, value 10002), 0 when it cannot be read.
    uint32_t ReadDeviceStatus();
    // Reads the scan parameter block into the settings header: 0, or the failing result (255 for a
    // block too short to hold the geometry).
    uint16_t ReadParamBlock();
    // Header and 1024 complemented entries of channel's table into the 1030-byte block: 0, or 252
    // after reporting message 3317.
    uint16_t FillLutBlock(uint8_t* block, int channel);
    // The 110-byte window descriptor of the settings (after SetScanParameters' parameter steps).
    void BuildDescriptor(const CScanSettings& settings, uint8_t* out);

    // The class's resolution list (ascending, 65535 then 0 after the last) and runtime format table.
    static uint32_t s_ResolutionList[kResolutionListSize];
    static CFormatTable* s_pFormatTable;

    // Waits the tests shorten: the period after which a held reservation asks the user again, the
    // time a batch start tries before it gives up, the pause between reservation tries, the status
    // poll of PrepareScan and the deadline of a SCAN the device keeps refusing.
    uint32_t m_nQuestionPeriodMs = 300000;
    uint32_t m_nBatchReserveLimitMs = 8000;
    uint32_t m_nRetryPauseMs = 1000;
    uint32_t m_nStatusPollMs = 250;
    uint32_t m_nScanDeadlineMs = 45000;

private:
    void ReadResolutionList(const uint8_t* inquiry);
    void ApplyParameterSteps(CScanSettings& settings);
    uint16_t AskAboutReservation(uint32_t& deadline, uint16_t refusal);
    uint16_t ReadWindowDensities();
};
