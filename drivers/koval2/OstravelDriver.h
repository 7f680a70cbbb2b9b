#pragma once

// The OSTRAVEL flatbed: the PENDARO command set with colour pixel-paired on the wire (R R G G B B
// for two pixels), 16-bit samples in little-endian order, the 15-byte exposure page, and a host
// shading calibration before every scan: the device scans its calibration strip, the host turns
// the readings into a gain per sensor pixel and downloads one table per colour.

#include "drivers/koval2/PendaroDriver.h"

#include <cstdint>

constexpr uint32_t kKindOstravel = 0x8000;

// The model table's factory for the OSTRAVEL entry: a new driver, or null when memory ran out.
CScannerDriver* CreateOstravelDriver();

// Calibration table ids of DOWNLOAD CALIBRATION, byte 1 of the table.
constexpr uint8_t kShadingTableGrey = 0x01;
constexpr uint8_t kShadingTableIds[3] = {0x41, 0x81, 0xC1};

// The shading levels of one colour from the level v the device reports: gain numerator
// (v + 1) << 20, target 4 (v + 1) and threshold v + 1.
struct CShadingLevel {
    uint32_t m_nNumerator;
    uint16_t m_nTarget;
    uint16_t m_nThreshold;
};
CShadingLevel ShadingLevelOf(uint8_t level);
// The gain (1/1024) of a pixel whose kept readings average mean: 0xFFFF too dark to correct.
uint16_t ShadingGain(uint32_t mean, const CShadingLevel& level);

class COstravelDriver : public CPendaroDriver {
public:
    ~COstravelDriver() override;
    void InitCapabilities() override;
    uint32_t GetLineOverhead() override;
    uint32_t PostProcessLines(uint8_t* buffer, uint32_t lines, CScanSettings* settings, int32_t* status) override;
    void RebuildFormatTable() override;
    uint16_t UpdateScanGeometry() override;
    uint16_t SetScanParameters(CScanSettings* settings) override;
    uint16_t Identify() override;
    uint32_t ClampResolutionX(uint32_t resolution) override;
    int IsLutRising(uint32_t scanMode) override;
    uint16_t SendDensityMode(uint32_t resolution, int channel, uint32_t minDensity, uint32_t maxDensity) override;
    uint32_t GetReturnDelay() const override;
    // The exposure of the density pair into page bytes 2 (exposure), 6 (high) and 7 (low).
    virtual void ComputeExposure(uint32_t minDensity, uint32_t maxDensity, uint8_t* page);

    // The shading calibration of the current settings: 0, or the status that ends the scan.
    uint16_t HostShadingCalibration();
    // Gains of channel c (0 for grey) from the stored shading lines into table bytes 2 .. 2P + 1.
    void BuildShadingTable(int channel, const uint8_t* lines, uint8_t* table) const;

    static CFormatTable* s_pOstravelTable;

    uint32_t m_nSpeed = 1;                  // exposure page byte 5: 2 in quality mode
    int32_t m_bModelSleep = 0;              // <model>/DisableSleep
    int32_t m_bShadingColour = 0;
    int32_t m_bShadingSpeed = 0;
    int32_t m_bShadingTransparency = 0;
    uint32_t m_nShadingPixels = 0;          // P, from the shading status
    uint32_t m_nShadingLineBytes = 0;       // of one stored shading line
    uint32_t m_nCalibrationLength = 0;      // 2 × P + 2
    CShadingLevel m_Levels[3] = {};         // red, green, blue; grey uses the first
    uint16_t m_nShadingLines = 11;
    uint16_t m_nBlackDiscard = 2;
    uint16_t m_nWhiteDiscard = 1;
    uint16_t m_nStepInterval = 8;

protected:
    bool UsesLineRecords() const override { return false; }
    void AfterScanStart() override;

private:
    int ModelInt(const char* key, int fallback) const;
    void ReadShadingKeys();
    uint16_t StartShadingScan(uint8_t mode);
    uint16_t WaitForShadingData();
    uint16_t StopShadingScan();
    uint16_t ReadShadingLines(uint8_t* lines);
    uint16_t DownloadShadingTable(uint8_t id, uint8_t* table);
};
