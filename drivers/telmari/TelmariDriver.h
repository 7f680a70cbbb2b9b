#pragma once

// The TELMARI flatbeds (`CTelmariDriver`) and the TELMARI PLUS and ULTRA (`CTelmariUltraDriver`).
// Three things set the family apart: reading is paced by the device's buffer (every READ waits until
// GET DATA BUFFER STATUS reports the bytes, and its transfer length counts lines); the device keeps
// numbered 32-bit values (data type 0xA2) that carry per-channel film densities and its ready
// state; and after the window it reports the exact geometry it will deliver (data type 0x81).
// Colour comes in three passes, one plane each, red, green, blue.

#include "core/driver/LutBuffer.h"
#include "core/driver/ScannerDriver.h"

#include <cstddef>
#include <cstdint>

constexpr uint32_t kKindTelmari = 4;
constexpr uint32_t kKindTelmariUltra = 0x80;

// The model table's factories: a new driver, or null when memory ran out.
CScannerDriver* CreateTelmariDriver();
CScannerDriver* CreateTelmariUltraDriver();

// Originals (settings parameter 8).
constexpr int32_t kTelmariReflective = 0;
constexpr int32_t kTelmariSlide = 1;
constexpr int32_t kTelmariNegative = 2;

// Device value ids (data type 0xA2).
enum : uint16_t {
    kTelmariValueMaxBlue = 31,
    kTelmariValueMaxGreen = 32,
    kTelmariValueMaxRed = 33,
    kTelmariValueMinBlue = 41,
    kTelmariValueMinGreen = 42,
    kTelmariValueMinRed = 43,
    kTelmariValueState = 10002,
};

// Film transmittance x 10000 of a density in 1/1000 D, as the device takes it.
uint32_t TelmariTransmittance(int32_t density);

// Big-endian samples of a deep scan turned little-endian in place; with widen, each sample of bits
// significant bits is stretched to 16 bits by copying its top bits into the empty low ones.
void TelmariSwapSamples(uint8_t* data, size_t samples, uint32_t bits, bool widen);

// The 0xB0 lookup-table block: a 4-byte header (channel, 0, 1, 0) and 256 pairs of big-endian words
// (input, output). The device works on an ink scale, so the host table goes out reversed and
// complemented.
class CTelmariLut : public CLutBuffer {
public:
    static constexpr uint32_t kLength = 1028;
    static constexpr uint32_t kEntries = 256;

    CTelmariLut();
    uint32_t GetLength() override { return kLength; }
    uint8_t* GetData() override { return m_data; }
    void LoadTable(const uint16_t* table, uint32_t count) override;
    uint32_t GetMaxValue() override { return 0xFFFF; }
    uint32_t GetEntryCount() override { return kEntries; }
    void SetChannel(uint8_t channel) { m_data[0] = channel; }

private:
    uint8_t m_data[kLength];
};

class CTelmariDriver : public CScannerDriver {
public:
    CTelmariDriver();
    ~CTelmariDriver() override;
    uint32_t GetMaxResolutionForType(int32_t imageType) override;
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
    uint16_t SendLookupTables() override;
    uint16_t PrescanIfNeeded(CScanSettings* settings, ScanProgressCallback progress) override;
    uint16_t PrepareColourCorrection() override;
    uint16_t HandleSense(const uint8_t* sense) override;
    uint32_t ClampResolutionX(uint32_t resolution) override;
    uint32_t ClampResolutionY(uint32_t resolution) override;
    int IsLutRising(uint32_t scanMode) override;
    int HasHardwareSharpening() override;
    int IsScreenRulingOff() override;
    double GetGammaOverride() override;
    uint32_t ScanModeForImageType(int32_t imageType) override;
    // Waits until the device holds bytes (lowered to what a stalled device holds when the read fix
    // is on); 0, or the failing result, 255 after timeoutMs.
    virtual uint16_t WaitForBufferedData(uint8_t qualifier, uint32_t& bytes, uint32_t timeoutMs);

    uint16_t SendDeviceValue(uint16_t id, uint32_t value);
    // Whether the device takes a value: a capability probe, whose refusal only leaves a feature off.
    bool AcceptsDeviceValue(uint16_t id, uint32_t value);
    uint16_t ReadDeviceValue(uint16_t id, uint32_t& value);
    uint16_t ReadImageLines(uint8_t* buffer, uint8_t qualifier, uint32_t lines, uint32_t bytesPerLine);
    uint32_t GetMaxResolutionXForType(int32_t imageType) const;
    void ReportSenseCode(uint16_t code);
    // The 110-byte window descriptor of the current settings; the derived window parameters are
    // written into the settings first, as they are sent.
    void BuildWindowDescriptor(CScanSettings& settings, uint8_t* descriptor);
    bool IsUltraProduct() const;

    int16_t m_bPrescanning = 0;
    uint32_t m_nMaxResolutionY[3] = {};  // line art, grey, colour
    uint32_t m_nMaxResolutionX[3] = {};
    int32_t m_bReadFix = 1;
    // A SCAN the device keeps answering BUSY is given up after this long (ms); tests shorten it.
    uint32_t m_nBusyScanLimit = 45000;
    // The buffered waits of a read give up after this long (ms); tests shorten it.
    uint32_t m_nReadWaitLimit = 600000;

protected:
    // The INQUIRY's vendor part into the base fields; the family's fixed values are set by the caller.
    void TakeInquiry(const uint8_t* data);
    uint16_t ReadScanInformation();
    uint16_t SendScan(uint8_t windowId, uint8_t control);
    void SetFlagBytes(uint8_t second, uint8_t third, uint8_t fifth);
    void ReadAutomaticDensities(CScanSettings& settings);
    uint16_t SendFilmValues(const CScanSettings& settings);
    uint16_t WaitForDeviceState();

    // The class's runtime format table; created by InitCapabilities, deleted by the destructor.
    static CFormatTable* s_pFormatTable;
    // What the class gives InitCapabilities: its kind word, holder table, static formats and the
    // place of its runtime format table.
    uint32_t m_nClassKind = kKindTelmari;
    const HoleRecord* m_pClassHoles = nullptr;
    const CStaticFormatEntry* m_pStaticFormats = nullptr;
    CFormatTable** m_ppClassFormatTable = &s_pFormatTable;
    int32_t m_bWidenSamples = 0;
};

class CTelmariUltraDriver : public CTelmariDriver {
public:
    CTelmariUltraDriver();
    uint16_t StartScanCommand(uint8_t windowId) override;
    uint16_t Identify() override;
    uint16_t PrepareScan() override;

    static CFormatTable* s_pUltraFormatTable;
};
