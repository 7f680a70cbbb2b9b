#pragma once

// The FENNIK flatbeds (and the KESTRIAN products of the same entry): one-pass colour with an
// optional transparency unit and document feeder. The device describes itself and the geometry of
// the coming scan in vendor INQUIRY bytes, takes a 46-byte window in 1/300 inch, one 1024-byte
// table per channel, an optional speed value and a shading line the host computes from raw lines of
// its calibration strip, and streams the image with READ(10) (colour as three planes per line).

#include "core/driver/ScannerDriver.h"
#include "core/util/GlobalBlock.h"

#include <cstdint>

class CScsiBuffer;

constexpr uint32_t kKindFennik = 0x10000;

// The model table's factory for the FENNIK entry: a new driver, or null when memory ran out.
CScannerDriver* CreateFennikDriver();

class CFennikDriver : public CScannerDriver {
public:
    ~CFennikDriver() override;
    uint32_t GetTransferSize() override;
    void InitCapabilities() override;
    uint32_t PostProcessLines(uint8_t* buffer, uint32_t lines, CScanSettings* settings, int32_t* status) override;
    void RebuildFormatTable() override;
    uint16_t UpdateScanGeometry() override;
    uint16_t SetScanParameters(CScanSettings* settings) override;
    uint16_t StartScanCommand(uint8_t windowId) override;
    uint16_t ReadData(uint8_t* buffer, uint8_t qualifier, uint16_t lines, uint16_t bytesPerLine) override;
    uint16_t StopScan(int32_t flag) override;
    uint16_t ReserveDevice() override;
    uint16_t Identify() override;
    uint16_t PrepareScan() override;
    uint16_t SendLookupTables() override;
    uint16_t HandleSense(const uint8_t* sense) override;
    uint32_t GetOptimalResolution(int32_t formatIndex) override;
    uint32_t ClampResolutionX(uint32_t resolution) override;
    uint32_t ClampResolutionY(uint32_t resolution) override;
    int IsLutRising(uint32_t scanMode) override;
    uint16_t ResetFeeder() override;
    int IsFeederLoaded() override;
    int DetectFeeder() override;
    uint16_t EnableFeeder(int on) override;
    int32_t GetOptimalStroke() override;
    uint32_t ScanModeForImageType(int32_t imageType) override;

    // Widest original of a kind, 1/100 mm: the feeder takes longer sheets than the glass.
    uint32_t GetMaxWidth(int32_t original) const;
    uint32_t GetMaxHeight(int32_t original) const;

    uint16_t HostCalibrate();
    // The robust mean per byte position over `lines` raw lines of `length` bytes each.
    void ComputeShadingLine(const uint8_t* lines, uint32_t length, uint8_t* result) const;
    uint16_t SendShadingLine(CScsiBuffer& line);
    // The 1024-byte table of a channel (0 grey, 1-3 R, G, B): 0, or 252 after message 3317.
    uint16_t BuildChannelLut(uint8_t* destination, int channel);
    // The speed value of the negotiation from the timing bytes and the line length; 0 sends none.
    static uint16_t ComputeSpeed(const uint8_t* inquiry, uint32_t bytesPerLine);

    // The class's runtime format table; created by InitCapabilities, deleted by the destructor.
    static CFormatTable* s_pFormatTable;

    uint16_t m_nLastResult = 0;
    uint32_t m_nPixelsPerLine = 0;          // INQUIRY bytes 42-43
    uint32_t m_nDeviceLineBytes = 0;        // 44-45
    uint32_t m_nLinesToRead = 0;            // 46-47
    uint32_t m_nReadChunk = 0;
    uint32_t m_nTransferKb = 0;
    int32_t m_bFeederPresent = 0;
    int32_t m_bEndOfFeederJob = 0;
    int32_t m_bFeederIdle = 1;
    int32_t m_bFeederActive = 0;
    int32_t m_bTransparencyUnit = 0;
    int32_t m_bSpeedTable = 0;
    uint8_t m_nInquiryLength = 0;
    int32_t m_bAveraging = 0;
    uint32_t m_nLinesDelivered = 0;
    uint32_t m_nStagedLines = 0;            // device lines the last ReadData put into the staging buffer
    uint32_t m_nOpticalResolution = 0;
    CGlobalBlock m_HeldLine;
    CGlobalBlock m_Staging;
    uint8_t* m_pStagingRead = nullptr;
    uint16_t m_nShadingLines = 0;
    uint16_t m_nBlackDiscard = 0;
    uint16_t m_nWhiteDiscard = 0;
    uint32_t m_nShadingLineBytes = 0;
    uint32_t m_nTransportMaximum = 0;
    bool m_bReserved = false;  // RESERVE UNIT succeeded and no RELEASE followed
    // How long a unit that is becoming ready may take, ms: every wait on a busy device ends within a
    // minute, its commands included.
    uint32_t m_nBecomingReadyLimit = 45000;

private:
    uint16_t CheckResult(uint16_t result, CScsiBuffer& block);
    void ReportSenseCode(uint16_t code);
    uint16_t WaitWhileBecomingReady();
    uint16_t ReportHardwareBits(const uint8_t* sense);
    uint16_t InquireAgain(uint8_t* data);
    uint16_t NegotiateSpeed();
    uint16_t ReadStream(void* destination, uint8_t dataType, uint16_t qualifier, uint32_t bytes, uint32_t unit);
    uint16_t SendTable(int channel, uint8_t qualifier);
    uint32_t AverageLinePairs(uint8_t* destination, int32_t* status);
    static void InterleavePlanes(const uint8_t* a, const uint8_t* b, uint32_t w, uint8_t* out);
    void Release();
    void FreeBlock(CGlobalBlock& block);
    int ModelInt(const char* key, int fallback) const;
};
