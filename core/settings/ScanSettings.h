#pragma once

// The one record of every scan setting. Settings are kept per image type: five blocks of 145
// parameters addressed by id, the current block being the one whose index parameter 0 holds. The
// part from the magic through the colour-correction block is one settings-file slot, byte for byte,
// so its layout is fixed (see CSettingsSlot).

#include "core/cms/CmsRecords.h"
#include "core/settings/ScanParams.h"
#include "framework/String.h"

#include <windows.h>

#include <cstddef>
#include <cstdint>

enum ScanImageType : int32_t {
    kImageLineArt = 0,
    kImageHalftone = 1,
    kImageGrey = 2,
    kImageRgb = 3,
    kImageCmyk = 4,
};

constexpr int kImageTypeCount = 5;
constexpr int kParamCount = 145;
constexpr int kNameSize = 255;
constexpr int kProfileNameCount = 5;
constexpr uint32_t kSettingsMagic = 0x01020304;

// Lengths below this (1/100 mm) count as this much in every size computation, so that an empty
// selection still gives a scannable image.
constexpr int32_t kMinSelectionLength = 5;

// Values of id 143.
constexpr int32_t kFlavoursApplied = 2;

// Tone codes of id 12.
constexpr int32_t kToneDefault = 0xFF00;
constexpr int32_t kToneCustom = 0xFF09;
constexpr int32_t kToneHalf = 0xFF0C;
constexpr int32_t kToneEightTenths = 0xFF0D;

// Summary of the coming scan window, filled by the driver's scan geometry.
struct CWindowSummary {
    uint8_t m_nByte1;
    uint8_t m_nByte2;
    uint16_t m_nWord[6];
};

// The stored part of the record: one settings-file slot.
struct CSettingsSlot {
    uint32_t m_nMagic;
    int32_t m_nParams[kImageTypeCount][kParamCount];
    char m_szFlavorNames[kImageTypeCount][kNameSize];
    char m_szLinkNames[kImageTypeCount][kNameSize];
    char m_szFilmTypeNames[kImageTypeCount][kNameSize];
    char m_szProfileNames[kProfileNameCount][kNameSize];
    CmsCorrectionBlock m_CorrectionBlock;
};

constexpr uint32_t kSettingsSlotSize = 14576;
static_assert(sizeof(CSettingsSlot) == kSettingsSlotSize, "a settings-file slot is 14576 bytes");
static_assert(offsetof(CSettingsSlot, m_nParams) == 4);
static_assert(offsetof(CSettingsSlot, m_szFlavorNames) == 2904);
static_assert(offsetof(CSettingsSlot, m_szLinkNames) == 4179);
static_assert(offsetof(CSettingsSlot, m_szFilmTypeNames) == 5454);
static_assert(offsetof(CSettingsSlot, m_szProfileNames) == 6729);
static_assert(offsetof(CSettingsSlot, m_CorrectionBlock) == 8004);

class CScanSettings {
public:
    CScanSettings();
    ~CScanSettings() = default;
    CScanSettings(const CScanSettings& other) = default;
    CScanSettings& operator=(const CScanSettings& other) = default;

    // Copies the whole record, header, strings and levels flag included; returns this record.
    CScanSettings& Assign(const CScanSettings& source);

    // Parameters. Ids are taken as 16-bit values; an id outside the block (145 and up) is neither
    // stored nor read (0).
    int32_t GetParam(uint16_t id) const;
    int32_t GetParamForType(int type, uint16_t id) const;
    int32_t GetCurrentType() const { return m_Slot.m_nParams[0][kParamImageType]; }
    void SetParam(uint16_t id, int32_t value);
    void SetParamAllTypes(uint16_t id, int32_t value);
    void SetParamForType(uint16_t type, uint16_t id, int32_t value);

    // Names. Over-long texts (more than 254 characters) are replaced: "None" for profiles, "" else.
    void SetProfileName(int index, const char* text);
    void SetFlavorName(int type, const char* text);
    void SetLinkName(int type, const char* text);
    void SetFilmTypeName(int type, const char* text);
    void SetCurrentFlavorName(const char* text);
    void SetCurrentLinkName(const char* text);
    void SetCurrentFilmTypeName(const char* text);
    const char* GetProfileName(int index) const;
    const char* GetFlavorName(int type) const;
    const char* GetLinkName(int type) const;
    const char* GetFilmTypeName(int type) const;

    // Header.
    uint32_t GetPixelsPerLine() const { return m_nPixelsPerLine; }
    uint32_t GetLineCount() const { return m_nLineCount; }
    uint32_t GetBytesPerLine() const { return m_nBytesPerLine; }
    uint32_t GetScanMode() const { return m_nScanMode; }
    uint32_t GetChannels() const { return m_nChannels; }
    uint32_t GetBitsPerChannel() const { return m_nBitsPerChannel; }
    int32_t GetBinaryFlag() const { return m_bBinary; }

    void UpdateSampleFormat(uint32_t scanMode);
    void ResetDerivedGeometry();
    // Brings the selection inside the current driver's bed for the current original; 1 when nothing
    // had to change.
    int ClampSelection();

    // Sizes and geometry of the selection at id 4.
    uint32_t SelectionWidth() const;
    uint32_t SelectionHeight() const;
    uint32_t BytesForPixels(uint32_t pixels) const;
    uint32_t LineBytesForWidth(uint32_t width) const;
    uint32_t ImageBytes() const;
    static uint32_t PixelsForBytes(int type, uint32_t bytes, uint32_t channels, uint32_t bits, int packed);
    uint32_t OutputPixelsPerLine() const;
    uint32_t OutputLineCount() const;
    uint32_t OutputBytesPerLine() const;
    uint32_t SelectionLineBytes() const;
    uint32_t RotatedPixelWidth() const;
    uint32_t RotatedPixelHeight() const;
    void DevicePixelSize(uint32_t& width, uint32_t& height) const;
    void ScannerPixelSize(uint32_t& width, uint32_t& height) const;
    // A turn by 90 or 270 degrees: the output's rows run down the device's lines.
    bool IsRotatedSideways() const;

    // Values for display.
    float GammaForPreset() const;
    float PreviewGamma() const;
    uint32_t RulingForResolution(uint32_t value) const;
    uint32_t RulingForResolutionCm(uint32_t value) const;
    // Writes at most kFormatValueSize bytes, terminator included.
    void FormatValue(char* text, int32_t value, int unit, int32_t resolution) const;

    // Parameter `id` of the record in the current driver's slot of a settings file, for the image
    // type stored there; 0 when the file, the slot or the magic is missing.
    static int32_t PeekSlotParam(const char* path, uint16_t id);

    CSettingsSlot& Slot() { return m_Slot; }
    const CSettingsSlot& Slot() const { return m_Slot; }
    CmsCorrectionBlock& CorrectionBlock() { return m_Slot.m_CorrectionBlock; }

    CWindowSummary m_WindowSummary;
    uint32_t m_nPixelsPerLine = 0;
    uint32_t m_nLineCount = 0;
    uint32_t m_nBytesPerLine = 0;
    uint32_t m_nScanMode = 0;
    int32_t m_bBinary = 0;
    uint32_t m_nBitsPerChannel = 0;
    uint32_t m_nChannels = 0;
    // Written by the scan job around a scan; nothing reads them.
    int32_t m_bScanStateA = 0;
    int32_t m_bScanStateB = 0;
    CString m_strTitle;
    CString m_strFileName;
    // Compared with INI General/Version by LoadSettings; a new record has 0.
    int32_t m_nVersion = 0;
    // 1 when the automatic levels must be computed again.
    int32_t m_bLevelsDirty = 0;

private:
    uint32_t PixelsForLength(uint32_t length) const;
    uint32_t ClampedResolutionX() const;
    void StoreInBlock(uint16_t type, uint16_t id, int32_t value);
    void StoreInBlocks(int first, int last, uint16_t id, int32_t value);
    void NormaliseSampleFormat(uint16_t type);
    int32_t LimitDensity(uint16_t id, int32_t value) const;

    CSettingsSlot m_Slot;
};

constexpr int kFormatValueSize = 50;

// The current record; created after the device search, deleted at exit.
extern CScanSettings* g_pScanSettings;
