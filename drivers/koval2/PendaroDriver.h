#pragma once

// The PENDARO flatbeds (PENDARO and PENDARO II kinds), optionally with a transparency unit and a
// document feeder. They speak the KOVAL II command set; what differs is their identification, the
// window limits, the exposure page and its limit, the lookup-table format, the resolution steps and
// the document feeder with its paper prompt.

#include "drivers/koval2/Koval2Driver.h"

#include <cstdint>

constexpr uint32_t kKindPendaro = 0x100;
constexpr uint32_t kKindPendaro2 = 0x1000;

// The model table's factory for the PENDARO entry: a new driver, or null when memory ran out.
CScannerDriver* CreatePendaroDriver();

class CPendaroDriver : public CKoval2Driver {
public:
    ~CPendaroDriver() override;
    uint32_t GetMaxResolutionForType(int32_t imageType) override;
    void InitCapabilities() override;
    void RebuildFormatTable() override;
    uint16_t SetScanParameters(CScanSettings* settings) override;
    uint16_t StopScan(int32_t flag) override;
    uint16_t ReserveDevice() override;
    uint16_t Identify() override;
    uint16_t SendLookupTables() override;
    uint16_t PrescanIfNeeded(CScanSettings* settings, ScanProgressCallback progress) override;
    uint16_t PrepareColourCorrection() override;
    uint32_t ClampResolutionX(uint32_t resolution) override;
    uint16_t ResetFeeder() override;
    int IsFeederLoaded() override;
    int DetectFeeder() override;
    uint16_t EnableFeeder(int on) override;
    uint8_t AccessoryByte() const override;
    uint32_t ReturnDelay() const override;

    // One exposure page (MODE SELECT) of channel c from the density pair.
    virtual uint16_t SendDensityMode(uint32_t resolution, int channel, uint32_t minDensity, uint32_t maxDensity);
    // Milliseconds the carriage needs after the current selection.
    virtual uint32_t GetReturnDelay() const;

    // The largest exposure value of the exposure computation for the current settings.
    uint32_t ExposureLimit() const;

    static CFormatTable* s_pPendaroTable;

    uint8_t m_nSampleGrouping = 1;          // INQUIRY byte 59 bit 6: 8, else 1
    uint8_t m_nExposureLimit = 14;          // INQUIRY byte 73, at least 14
    uint8_t m_bFeederInUse = 0;             // the document feeder is used for the next scan
    int32_t m_bFeederPresent = 0;           // INQUIRY byte 63 bit 2
    int32_t m_bFeederStatus = 0;            // INQUIRY byte 63 bit 7, as DetectFeeder saw it

protected:
    void WindowLimits(bool transparent, uint32_t x0, uint32_t y0, uint32_t& xmax, uint32_t& ymax) const override;
    bool RoundsWindowHeight() const override { return false; }
    // The exposure pages of the current scan mode; the first failure ends them.
    uint16_t SendExposurePages(CScanSettings* settings);
    uint16_t SendPendaroTables(CLutBuffer& table, uint8_t tableByte);
    // Identification shared with the OSTRAVEL: INQUIRY, texts and the vendor bytes both read.
    uint16_t ReadInquiry(uint8_t* data, size_t size);
    // The capability values of the current kind and optical resolutions.
    void SetPendaroCapabilities();
    // The feeder check and its paper prompt; 252 when the user aborts.
    uint16_t CheckFeeder();
};
