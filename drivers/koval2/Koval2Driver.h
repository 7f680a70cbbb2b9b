#pragma once

// The KOVAL II and BIRAVO flatbeds (optionally with a transparency unit). They speak a command set
// of their own: capabilities in vendor INQUIRY bytes, a 9-byte window of vendor command 0x04,
// per-colour exposure pages, SCAN with a mode byte, whole-line READ(6) after the buffer status says
// how many lines are ready, a vendor sense format, and colour as tagged single-colour line records.

#include "core/driver/ScannerDriver.h"
#include "core/util/GlobalBlock.h"

#include <cstdint>

class CLineInterleaver;
class CScsiBuffer;
class CScsiLutBuffer;

constexpr uint32_t kKindKoval2 = 0x800;
constexpr uint32_t kKindBiravo = 0x4000;

// The model table's factory for the KOVAL II entry: a new driver, or null when memory ran out.
CScannerDriver* CreateKoval2Driver();

class CKoval2Driver : public CScannerDriver {
public:
    ~CKoval2Driver() override;
    uint32_t GetMaxResolutionForType(int32_t imageType) override;
    void InitCapabilities() override;
    uint32_t GetLineOverhead() override;
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
    uint16_t WaitReady(uint32_t timeoutMs) override;
    uint16_t SendLookupTables() override;
    uint16_t PrescanIfNeeded(CScanSettings* settings, ScanProgressCallback progress) override;
    uint16_t PrepareColourCorrection() override;
    uint16_t HandleSense(const uint8_t* sense) override;
    uint32_t ClampResolutionX(uint32_t resolution) override;
    uint32_t ClampResolutionY(uint32_t resolution) override;
    int IsLutRising(uint32_t scanMode) override;
    uint32_t ScanModeForImageType(int32_t imageType) override;

    bool IsBiravo() const { return m_nKind == kKindBiravo; }
    // SCAN byte 4 for the current settings; SET ACCESSORY byte 4.
    uint8_t ScanModeByte();
    virtual uint8_t AccessoryByte() const;
    // SET ACCESSORY for the current settings (the last step of PrescanIfNeeded).
    uint16_t SendAccessories();
    // Milliseconds the carriage needs to come back after the current selection.
    virtual uint32_t ReturnDelay() const;

    // The class's runtime format table; created by InitCapabilities, deleted by the destructor.
    static CFormatTable* s_pFormatTable;

    uint16_t m_nOpticalLow = 0;
    uint16_t m_nOpticalHigh = 0;
    uint8_t m_bDeviceLineArt = 0;           // INQUIRY byte 57 bit 0
    uint8_t m_bGreyAndColour = 0;           // INQUIRY byte 57 bit 2
    uint8_t m_bHighResolution = 0;          // INQUIRY byte 64
    uint8_t m_bLongPage = 0;                // INQUIRY byte 65 bit 1
    uint8_t m_nScalingFlags = 0;            // INQUIRY byte 56
    int32_t m_bTransparencyUnit = 0;
    uint16_t m_nLineLength = 0;             // samples per line record, as last reported
    uint32_t m_nTotalLines = 0;
    uint32_t m_nLinesReady = 0;
    uint32_t m_nLinesRequested = 0;
    uint32_t m_nBedHeight = 0;              // 1/100 mm
    uint32_t m_nBedWidth = 0;
    uint32_t m_nLutEntries = 0;
    uint32_t m_nLutMaximum = 0;
    uint32_t m_nReadyDeadline = 0;          // MillisecondClock reading
    CLineInterleaver* m_pInterleaver = nullptr;
    CGlobalBlock m_Blocks[2];
    int m_nCurrentBlock = 0;                // the block whose lines are handed out
    int m_nFillingBlock = 0;
    uint32_t m_nBlockLines[2] = {};         // lines each block really holds
    bool m_bBlockFresh[2] = {};             // lines not handed out yet
    uint32_t m_nHandedLines = 0;            // lines of the current block for PostProcessLines
    bool m_bAsyncPending = false;
    int32_t m_bSyncOnly = 0;
    uint32_t m_nScanStartTimeout = 60000;   // SCAN that starts the device
    uint32_t m_nBufferWaitMs = 60000;       // buffer status: command time-out and how long to ask
    bool m_bFormatTableReleased = false;    // a derived family has let go of its own class table

protected:
    // Colour as tagged single-colour records (reordered on the host) rather than whole RGB lines.
    virtual bool UsesLineRecords() const { return true; }
    // Between the SCAN that starts the device and the first buffer status.
    virtual void AfterScanStart() { }
    // Largest window width and height (optical pixels) from origin x0, y0 on the original's bed.
    virtual void WindowLimits(bool transparent, uint32_t x0, uint32_t y0, uint32_t& xmax, uint32_t& ymax) const;
    virtual bool RoundsWindowHeight() const { return true; }
    // Frees a class-wide format table unless the current driver (another object) still shows it.
    void ReleaseClassTable(CFormatTable*& table);
    // Transfer blocks and the synchronous-only flag for the transport and <model>/Blocking.
    void AllocateTransferBlocks();

    uint16_t CheckResult(uint16_t result, CScsiBuffer& block);
    uint16_t SendTable(CLutBuffer& table, uint8_t tableByte, uint8_t byte2 = 0);
    uint16_t WaitForBufferStatus(uint32_t timeoutMs);
    uint16_t ReadLines(int block, uint32_t lines, bool synchronous);
    uint16_t FinishPendingRead();
    void HandOut(int block);
    uint16_t SendExposure(CScanSettings* settings, int channel, uint16_t minId, uint16_t maxId);
    // depthMark: OR-ed into the depth code of byte 2.
    uint16_t SendBitDepth(CScanSettings* settings, uint8_t depthMark = 0x80);
    uint16_t SendWindow(CScanSettings* settings);
    uint32_t LineBytes(uint32_t lines) const;
    uint32_t CopyGreyLines(uint8_t* destination, uint32_t lines, const CScanSettings& settings);
    uint32_t InterleaveColourLines(uint8_t* destination, uint32_t lines, const CScanSettings& settings,
                                   int32_t* status);
    void FreeTransferBlocks();
    bool IsBlockingRead();
    uint32_t SnapToQualityStep(uint32_t resolution, bool upward) const;
};
