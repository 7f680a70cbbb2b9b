#pragma once

// The KILTORRA film scanner: slides, negatives and medium-format film in numbered holders, and
// reflective originals. It describes its ranges and beds in a 240-byte INQUIRY, takes a 140-byte
// window that carries the holder number and its fixed film gamma, 13-bit tone tables and a
// sharpening curve (SEND type 0x93), numbered values (SEND type 0xA2, the film values of
// negatives), reports the accepted window in a 42-byte status (READ type 0x81) and its chosen
// densities through GET WINDOW. Colour comes pixel-interleaved in one pass.

#include "core/driver/LutBuffer.h"
#include "core/driver/ScannerDriver.h"
#include "core/scsi/ScsiBuffer.h"
#include "core/util/GlobalBlock.h"

#include <cstdint>

constexpr uint32_t kKindKiltorra = 1024;

// The model table's factory for the KILTORRA entry: a new driver, or null when memory ran out.
CScannerDriver* CreateKiltorraDriver();

// The tone-table block: a 6-byte header {channel, 0, 13, 13, 0x03, 0xE8}, then 8192 big-endian
// 16-bit entries.
class CKiltorraLut13 : public CLutBuffer {
public:
    CKiltorraLut13();
    uint32_t GetLength() override { return m_Block.Data() != nullptr ? kBytes : 0; }
    uint8_t* GetData() override { return static_cast<uint8_t*>(m_Block.Data()); }
    void LoadTable(const uint16_t* table, uint32_t count) override;
    uint32_t GetMaxValue() override { return 8191; }
    uint32_t GetEntryCount() override { return 8192; }

    static constexpr uint32_t kBytes = 16390;

private:
    CScopedBlock m_Block;
};

// The sharpening-curve block: header {0, 3, 10, 10, 0x03, 0xE8}, then 1024 big-endian entries.
class CKiltorraLut : public CLutBuffer {
public:
    CKiltorraLut();
    uint32_t GetLength() override { return kBytes; }
    uint8_t* GetData() override { return m_data; }
    void LoadTable(const uint16_t* table, uint32_t count) override;
    uint32_t GetMaxValue() override { return 1023; }
    uint32_t GetEntryCount() override { return 1024; }

    static constexpr uint32_t kBytes = 2054;

private:
    uint8_t m_data[kBytes];
};

struct CKiltorraCurvePoint {
    int32_t x;
    int32_t y;
};

class CKiltorraDriver : public CScannerDriver {
public:
    ~CKiltorraDriver() override;
    void InitCapabilities() override;
    void SetDefaultSettings(CScanSettings* settings) override;
    CFormatTable* BuildFormatTable(const CStaticFormatEntry* staticTable, CFormatTable* table) override;
    void RebuildFormatTable() override;
    uint16_t UpdateScanGeometry() override;
    uint16_t SetScanParameters(CScanSettings* settings) override;
    uint16_t StartScanCommand(uint8_t windowId) override;
    uint16_t StartPass(int32_t windowId, int32_t control) override;
    uint16_t ReadData(uint8_t* buffer, uint8_t qualifier, uint16_t lines, uint16_t bytesPerLine) override;
    uint16_t StopScan(int32_t flag) override;
    uint16_t Identify() override;
    uint16_t PrepareScan() override;
    uint16_t WaitReady(uint32_t timeoutMs) override;
    uint16_t WaitForData(uint8_t qualifier, uint32_t bytes, uint32_t timeoutMs) override;
    uint16_t SendLookupTables() override;
    uint16_t PrescanIfNeeded(CScanSettings* settings, ScanProgressCallback progress) override;
    uint16_t PrepareColourCorrection() override;
    uint16_t HandleSense(const uint8_t* sense) override;
    uint32_t ClampResolutionX(uint32_t resolution) override;
    uint32_t ClampResolutionY(uint32_t resolution) override;
    int IsLutRising(uint32_t scanMode) override;
    int IsScreenRulingOff() override;
    double GetGammaOverride() override;
    uint32_t ScanModeForImageType(int32_t imageType) override;
    // Folds the holders of "kiltorr.prf" in the Windows directory into the table.
    virtual void ApplyHolderFile(CFormatTable* table);

    // SEND(10) type 0xA2 of one 32-bit value; the status.
    uint16_t SendKiltorraValue(uint16_t code, uint32_t value);
    // Reports the message of a sense code (byte 12 x 256 + byte 13) and returns the result.
    uint16_t ReportKiltorraSense(uint16_t code);
    // Fills the block with straight segments between the points.
    void BuildKiltorraCurve(CLutBuffer& block, const CKiltorraCurvePoint* points, int count);
    // The 140-byte window descriptor of the current settings.
    void BuildWindow(const CScanSettings& settings, uint8_t* descriptor);

    // The class's runtime format table; created by InitCapabilities, deleted by the destructor.
    static CFormatTable* s_pFormatTable;

    int16_t m_nPrescan = 0;
    // How long StartPass repeats a SCAN the device does not accept, ms; tests shorten it.
    uint32_t m_nStartPassLimit = 45000;

private:
    // Sends once more when the device answers UNIT ATTENTION (it was reset and did not run the
    // command); a CHECK CONDITION left goes to HandleSense.
    template <class Command> uint16_t Checked(CScsiBuffer& block, Command send);
    uint16_t ReadStatus();
    void ReadChosenDensities();
};

template <class Command> uint16_t CKiltorraDriver::Checked(CScsiBuffer& block, Command send)
{
    uint16_t result = send();
    if (IsUnitAttention(result, block.m_sense))
        result = send();
    if ((result & 0xFF) == 0x02 && (result >> 8) == 0)
        return HandleSense(block.m_sense);
    return result;
}
