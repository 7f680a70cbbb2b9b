// Identification, capabilities, tables, resolution rules and the lookup-table block of the TELMARI
// family, and what the PLUS and ULTRA change of them.

#include "drivers/telmari/TelmariDriver.h"

#include "core/messages/MessageReporter.h"
#include "core/scsi/ScsiBuffer.h"
#include "core/scsi/ScsiChannel.h"
#include "core/settings/ScanSettings.h"
#include "core/util/ByteOrder.h"
#include "framework/App.h"

#include <algorithm>
#include <cstring>
#include <new>

CFormatTable* CTelmariDriver::s_pFormatTable = nullptr;
CFormatTable* CTelmariUltraDriver::s_pUltraFormatTable = nullptr;

namespace {

constexpr uint32_t kInquiryTimeout = 5000;
constexpr uint32_t kCommandTimeout = 30000;
constexpr int kSenseBytes = 14;
constexpr uint8_t kDataTypeCapabilities = 0x90;
constexpr uint32_t kCapabilityBlockBytes = 146;
constexpr uint8_t kImageTypesLineArtGreyRgb = 0x0D;
constexpr uint8_t kCapTransparency = 0x04;
constexpr uint8_t kCapNegatives = 0x10;
constexpr uint8_t kTelmariSecondFlags = 0xCC;
constexpr uint8_t kUltraSecondFlags = 0xC8;
constexpr uint32_t kMaxResolutionForTypes = 1800;
constexpr uint32_t kDeepUltraLimit = 1200;
constexpr uint32_t kProbeValue = 100;
constexpr int kMsgNoTransparencyUnit = 3434;
constexpr uint16_t kToneNone = 0xFF00;

// 65535 before the end marks the list's "other" entry for the resolution selector.
const uint32_t kTelmariResolutions[] = {50, 100, 200, 300, 400, 500, 600, 800, 1000, 1200, 1800, 2400, 2540, 65535, 0};

constexpr HoleRecord RoundHole(uint16_t hole, uint16_t holder, uint16_t x, uint16_t y, uint16_t r, uint32_t formats)
{
    return {hole, holder, 41000, 29700, x, y, r, formats, 1, 1, 0, 0};
}

constexpr HoleRecord FrameHole(
    uint16_t hole, uint16_t holder, uint16_t x, uint16_t y, uint32_t formats, uint16_t width, uint16_t height)
{
    return {hole, holder, 41000, 29700, x, y, 0, formats, 1, 0, width, height};
}

constexpr HoleRecord kEndHole = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 0, 0};

#define TELMARI_ROUND_HOLES                                                                                            \
    RoundHole(1, 0, 10000, 8600, 5250, 3), RoundHole(2, 0, 10000, 21100, 5250, 3),                                     \
        RoundHole(3, 0, 22500, 8600, 5250, 3), RoundHole(4, 0, 22500, 21100, 5250, 3),                                 \
        RoundHole(5, 0, 35000, 8600, 5250, 3), RoundHole(6, 0, 35000, 21100, 5250, 3),                                 \
        RoundHole(7, 1, 10000, 8600, 5250, 3), RoundHole(8, 1, 10000, 21100, 5250, 3),                                 \
        RoundHole(9, 1, 26500, 14850, 9500, 28)

const HoleRecord kTelmariHoles[] = {TELMARI_ROUND_HOLES, kEndHole};

const HoleRecord kUltraHoles[] = {
    TELMARI_ROUND_HOLES,
    FrameHole(10, 2, 22020, 14850, 63, 34000, 24000),
    FrameHole(11, 3, 7075, 14920, 64, 2350, 19200),
    FrameHole(12, 3, 13575, 14920, 64, 2350, 19200),
    FrameHole(13, 3, 20075, 14920, 64, 2350, 19200),
    FrameHole(14, 3, 26575, 14920, 64, 2350, 19200),
    FrameHole(15, 3, 33075, 14920, 64, 2350, 19200),
    FrameHole(16, 4, 10300, 7350, 129, 3600, 3600),
    FrameHole(17, 4, 22250, 7350, 129, 3600, 3600),
    FrameHole(18, 4, 34200, 7350, 129, 3600, 3600),
    FrameHole(19, 4, 10300, 14850, 129, 3600, 3600),
    FrameHole(20, 4, 22250, 14850, 129, 3600, 3600),
    FrameHole(21, 4, 34200, 14850, 129, 3600, 3600),
    FrameHole(22, 4, 10300, 22350, 129, 3600, 3600),
    FrameHole(23, 4, 22250, 22350, 129, 3600, 3600),
    FrameHole(24, 4, 34200, 22350, 129, 3600, 3600),
    kEndHole,
};

// Message id, original kind (0 reflective, 1 transparency), width, height, x, y (1/100 mm), holder
// value (the bit the holder table's formats test), the holder's window value (parameter 36).
#define TELMARI_COMMON_FORMATS                                                                                         \
    {3166, 0, 29700, 42000, 0, 0, 0, 0}, {3167, 0, 21000, 29700, 4300, 0, 0, 0}, {3168, 0, 29700, 21000, 0, 0, 0, 0},  \
        {3169, 0, 10000, 15000, 9500, 0, 0, 0}, {3170, 0, 15000, 10000, 7300, 0, 0, 0},                                \
        {3171, 0, 12750, 17850, 8350, 0, 0, 0}, {3172, 0, 17850, 12750, 5810, 0, 0, 0},                                \
        {3173, 0, 13000, 18000, 8200, 0, 0, 0}, {3174, 0, 18000, 13000, 5700, 0, 0, 0},                                \
        {3192, 0, 21590, 27940, 3905, 0, 0, 0}, {3193, 0, 21590, 35560, 3905, 0, 0, 0},                                \
        {3175, 0, 99999, 99999, 0, 0, 0, 0}, {3167, 1, 21000, 29700, 400, 0, 0, 0},                                    \
        {3169, 1, 10000, 15000, 5500, 0, 0, 0}, {3170, 1, 15000, 10000, 3300, 0, 0, 0},                                \
        {3171, 1, 12750, 17850, 4350, 0, 0, 0}, {3172, 1, 17850, 12750, 1810, 0, 0, 0},                                \
        {3173, 1, 13000, 18000, 4200, 0, 0, 0}, {3174, 1, 18000, 13000, 1700, 0, 0, 0},                                \
    {                                                                                                                  \
        3175, 1, 99999, 99999, 0, 0, 0, 0                                                                              \
    }

const CStaticFormatEntry kTelmariFormats[] = {
    TELMARI_COMMON_FORMATS,
    {3176, 1, 2500, 3600, 3346, 3199, 1, 2983},
    {3177, 1, 3600, 2500, 2796, 3749, 1, 2983},
    {3180, 1, 5600, 5600, 1796, 2199, 2, 2983},
    {3183, 1, 6012, 9111, 7837, 16944, 4, 2983},
    {3184, 1, 9111, 6012, 6287, 18494, 4, 2983},
    {3185, 1, 8705, 11702, 6490, 15649, 8, 2983},
    {3186, 1, 11702, 8705, 4992, 17147, 8, 2983},
    {3182, 1, 10000, 12413, 5843, 15293, 16, 2983},
    {3181, 1, 12413, 10000, 4636, 16500, 16, 2983},
    {3187, 0, 21000, 29700, 0, 0, 0, 0},
    {0, 0, 0, 0, 0, 0, 0, 0},
};

const CStaticFormatEntry kUltraFormats[] = {
    TELMARI_COMMON_FORMATS,
    {3176, 1, 2700, 3800, 3246, 3099, 1, 2983},
    {3177, 1, 3800, 2700, 2696, 3649, 1, 2983},
    {3180, 1, 5800, 5800, 1696, 2099, 2, 2983},
    {3183, 1, 6212, 9311, 7737, 16844, 4, 2983},
    {3184, 1, 9311, 6212, 6187, 18394, 4, 2983},
    {3185, 1, 8905, 11902, 6390, 15549, 8, 2983},
    {3186, 1, 11902, 8905, 4892, 17047, 8, 2983},
    {3182, 1, 10200, 12613, 5743, 15193, 16, 2983},
    {3181, 1, 12613, 10200, 4536, 16400, 16, 2983},
    {3465, 1, 23999, 33999, 14850, 22020, 32, 2983},
    {3179, 1, 19400, 2550, 14820, 6975, 64, 0},
    {3178, 1, 3800, 3800, 7250, 10200, 128, 4150},
    {3187, 0, 21000, 29700, 0, 0, 0, 0},
    {0, 0, 0, 0, 0, 0, 0, 0},
};

// The INQUIRY's beds are in 1/1000 inch; the base keeps 1/100 mm.
uint16_t BedLength(const uint8_t* at) { return uint16_t(uint32_t(GetBe16(at)) * 254 / 100); }

CBedArea BedAt(const uint8_t* at) { return {BedLength(at), BedLength(at + 2), BedLength(at + 4), BedLength(at + 6)}; }

int TypeIndex(int32_t imageType)
{
    switch (imageType) {
    case kImageLineArt:
        return 0;
    case kImageGrey:
        return 1;
    case kImageRgb:
    case kImageCmyk:
        return 2;
    default:
        return -1;
    }
}

int32_t CurrentParam(uint16_t id) { return g_pScanSettings != nullptr ? g_pScanSettings->GetParam(id) : 0; }

}  // namespace

CScannerDriver* CreateTelmariDriver() { return new (std::nothrow) CTelmariDriver; }

CScannerDriver* CreateTelmariUltraDriver() { return new (std::nothrow) CTelmariUltraDriver; }

CTelmariLut::CTelmariLut()
{
    std::memset(m_data, 0, sizeof m_data);
    m_data[2] = 1;
}

void CTelmariLut::LoadTable(const uint16_t* table, uint32_t count)
{
    if (count != kEntries)
        return;
    uint8_t* out = m_data + 4;
    for (uint32_t j = 0; j < kEntries; ++j) {
        uint32_t input = j * 257;
        uint32_t output = 0xFFFFu - table[kEntries - 1 - j];
        *out++ = uint8_t(input >> 8);
        *out++ = uint8_t(input);
        *out++ = uint8_t(output >> 8);
        *out++ = uint8_t(output);
    }
}

CTelmariDriver::CTelmariDriver() : m_pClassHoles(kTelmariHoles), m_pStaticFormats(kTelmariFormats) { }

CTelmariUltraDriver::CTelmariUltraDriver()
{
    m_nClassKind = kKindTelmariUltra;
    m_pClassHoles = kUltraHoles;
    m_pStaticFormats = kUltraFormats;
    m_ppClassFormatTable = &s_pUltraFormatTable;
}

CTelmariDriver::~CTelmariDriver()
{
    ReleaseSharedFormatTable(*m_ppClassFormatTable);
    m_pFormatTable = nullptr;
}

bool CTelmariDriver::IsUltraProduct() const { return m_strProduct == "TELMARI ULTRA"; }

void CTelmariDriver::TakeInquiry(const uint8_t* data)
{
    const int kRangeOffsets[4] = {96, 100, 104, 142};
    for (int i = 0; i < 4; ++i)
        m_ResolutionRange[i] = {uint16_t(GetBe16(data + kRangeOffsets[i])), uint16_t(GetBe16(data + kRangeOffsets[i] + 2))};
    m_ReflectiveBed = BedAt(data + 180);
    // The transparency words are its right and bottom edges, not a size.
    m_TransparencyBed = BedAt(data + 188);
    for (int i = 0; i < 7; ++i)
        m_nCapabilityWords[i] = GetBe16(data + 196 + 2 * i);
    m_nCapabilityWords[7] = GetBe16(data + 218);
    m_nReserved = GetBe32(data + 220);
    m_nBufferSize = GetBe16(data + 238);
    m_nMaxResolutionForType = kMaxResolutionForTypes;
    m_nImageTypeFlags = kImageTypesLineArtGreyRgb;
}

void CTelmariDriver::SetFlagBytes(uint8_t second, uint8_t third, uint8_t fifth)
{
    m_nCapabilityFlags = second;
    std::memset(m_nFurtherFlags, 0, sizeof m_nFurtherFlags);
    m_nFurtherFlags[0] = third;
    m_nFurtherFlags[2] = fifth;
}

uint16_t CTelmariDriver::Identify()
{
    if (g_pScsiChannel == nullptr)
        return kDriverFailed;
    CLongInquiryBuffer inquiry;
    uint16_t result = g_pScsiChannel->Inquiry(inquiry, kInquiryTimeout, kSenseBytes);
    if (result != kDriverOk)
        return result;
    SetVendorName(inquiry.GetVendor());
    SetProductName(inquiry.GetProduct());
    SetRevisionText(inquiry.GetRevision());
    TakeInquiry(inquiry.GetData());
    m_ReflectiveDensity = {0, 470, 300, 4000};
    m_TransparencyDensity = {0, 600, 0, 4000};
    SetFlagBytes(kTelmariSecondFlags, 9, 0);
    for (int i = 0; i < 3; ++i) {
        m_nMaxResolutionY[i] = i < 2 ? 2400 : 1800;
        m_nMaxResolutionX[i] = m_nMaxResolutionY[i];
    }
    // A device without negatives refuses the value; that only leaves the feature off.
    if (AcceptsDeviceValue(kTelmariValueMaxRed, kProbeValue))
        m_nCapabilityFlags |= kCapNegatives;
    return kDriverOk;
}

void CTelmariDriver::InitCapabilities()
{
    m_nKind = m_nClassKind;
    m_pHolderTable = m_pClassHoles;
    m_pResolutionList = kTelmariResolutions;
    m_nLinesRead = 0;
    m_nFirmwareLowest = 100;
    m_nFirmwareHighest = 9999;
    Identify();
    CFormatTable*& table = *m_ppClassFormatTable;
    if (table == nullptr)
        table = new (std::nothrow) CFormatTable;
    if (table != nullptr)
        m_pFormatTable = BuildFormatTable(m_pStaticFormats, table);
    m_bReadFix = AfxGetApp()->GetProfileInt("General", "TelmariReadFix", 1);
}

CFormatTable* CTelmariDriver::BuildFormatTable(const CStaticFormatEntry* staticTable, CFormatTable* table)
{
    CopyFormatTable(staticTable, table);
    for (CFormatEntry& entry : table->m_Entries) {
        if (entry.m_nWidth == 0 || entry.m_nHeight == 0)
            break;
        const CBedArea& bed = entry.m_nKind != 0 ? m_TransparencyBed : m_ReflectiveBed;
        // The transparency bed is given by its edges, the reflective one by its size.
        int32_t width = entry.m_nKind != 0 ? int32_t(bed.m_nWidth) - bed.m_nOffsetX : bed.m_nWidth;
        int32_t height = entry.m_nKind != 0 ? int32_t(bed.m_nHeight) - bed.m_nOffsetY : bed.m_nHeight;
        entry.m_nWidth = std::min(entry.m_nWidth, std::max(width, 0));
        entry.m_nHeight = std::min(entry.m_nHeight, std::max(height, 0));
        entry.m_nOffsetX += bed.m_nOffsetX;
        entry.m_nOffsetY += bed.m_nOffsetY;
    }
    return table;
}

void CTelmariDriver::RebuildFormatTable()
{
    if (*m_ppClassFormatTable != nullptr)
        RebuildKeepingUserFormat(m_pStaticFormats, *m_ppClassFormatTable);
}

void CTelmariDriver::SetDefaultSettings(CScanSettings* settings)
{
    CScannerDriver::SetDefaultSettings(settings);
    if (settings != nullptr)
        settings->SetParamAllTypes(kParamToneCode, kToneNone);
}

uint32_t CTelmariDriver::GetMaxResolutionForType(int32_t imageType)
{
    int index = TypeIndex(imageType);
    return index < 0 ? m_nMaxResolutionForType : m_nMaxResolutionY[index];
}

uint32_t CTelmariDriver::GetMaxResolutionXForType(int32_t imageType) const
{
    int index = TypeIndex(imageType);
    return index < 0 ? m_nMaxResolutionForType : m_nMaxResolutionX[index];
}

uint32_t CTelmariDriver::ClampResolutionX(uint32_t r)
{
    int32_t type = CurrentParam(kParamImageType);
    bool deepUltra = IsUltraProduct() && CurrentParam(kParamBitsPerChannel) > 8;
    uint32_t max = deepUltra ? kDeepUltraLimit : GetMaxResolutionXForType(type);
    if (r > max)
        return max;
    int32_t ruling = CurrentParam(kParamScreenRuling);
    // Descreening works at four pixels per screen line.
    if (IsScreenRulingOff() == 0 && type != kImageLineArt && ruling != 0)
        r = 4 * uint32_t(ruling);
    return std::max<uint32_t>(r, m_ResolutionRange[0].m_nMinimum);
}

uint32_t CTelmariDriver::ClampResolutionY(uint32_t r)
{
    bool deepUltra = IsUltraProduct() && CurrentParam(kParamBitsPerChannel) > 8;
    uint32_t max = deepUltra ? kDeepUltraLimit : GetMaxResolutionForType(CurrentParam(kParamImageType));
    if (r > max)
        return max;
    if (IsScreenRulingOff() == 0)
        return ClampResolutionX(r);
    return std::clamp<uint32_t>(r, m_ResolutionRange[3].m_nMinimum, m_ResolutionRange[3].m_nMaximum);
}

int CTelmariDriver::IsLutRising(uint32_t scanMode) { return scanMode == 0 || scanMode == 2 || scanMode == 3 ? 1 : 0; }

int CTelmariDriver::HasHardwareSharpening()
{
    if ((m_nCapabilityFlags & kCapHardwareSharpening) == 0)
        return 0;
    return CurrentParam(kParamSharpness) != 0xFFFE ? 1 : 0;
}

int CTelmariDriver::IsScreenRulingOff()
{
    int32_t ruling = CurrentParam(kParamScreenRuling);
    return ruling == 0 || ruling >= 70 ? 1 : 0;
}

double CTelmariDriver::GetGammaOverride()
{
    int32_t original = CurrentParam(kParamOriginal);
    return original == kTelmariSlide || original == kTelmariNegative ? 1.5 : 1.0;
}

uint32_t CTelmariDriver::ScanModeForImageType(int32_t imageType)
{
    switch (imageType) {
    case kImageLineArt: {
        uint32_t resolution = uint32_t(CurrentParam(kParamResolution));
        bool deviceLineArt = ClampResolutionX(resolution) == resolution && CurrentParam(kParamRotation) == 0 &&
            CurrentParam(kParamMirror) == 0;
        return deviceLineArt ? 0 : 2;
    }
    case kImageHalftone:
    case kImageGrey:
        return 2;
    case kImageRgb:
    case kImageCmyk:
        return 3;
    default:
        return 0;
    }
}

uint16_t CTelmariDriver::UpdateScanGeometry()
{
    uint16_t result = UpdateSharedScanGeometry();
    // The device's own line art comes with set bits black, as the host's thresholded line art.
    if (result == kDriverOk)
        m_bLineArt = 1;
    return result;
}

uint16_t CTelmariDriver::PrescanIfNeeded(CScanSettings* settings, ScanProgressCallback progress)
{
    if (settings == nullptr || settings->GetParam(kParamOriginal) != kTelmariNegative)
        return kDriverOk;
    m_bPrescanning = 1;
    uint16_t result = CScannerDriver::PrescanIfNeeded(settings, progress);
    m_bPrescanning = 0;
    return result;
}

uint16_t CTelmariDriver::PrepareColourCorrection()
{
    // The device puts its fixed film gamma on top of the table; the engine must know it.
    CFilmCorrection film;
    film.gamma = float(GetGammaOverride());
    return PrepareFilmColourCorrection(film);
}

// ---- TELMARI PLUS and ULTRA ----

uint16_t CTelmariUltraDriver::Identify()
{
    if (g_pScsiChannel == nullptr)
        return kDriverFailed;
    CLongInquiryBuffer inquiry;
    uint16_t result = g_pScsiChannel->Inquiry(inquiry, kInquiryTimeout, kSenseBytes);
    if (result != kDriverOk)
        return result;
    uint8_t* data = inquiry.GetData();
    SetVendorName(inquiry.GetVendor());
    SetRevisionText(inquiry.GetRevision());
    // Firmware above 2.5 is the ULTRA, which still calls itself TELMARI PLUS.
    if (std::memcmp(data + 32, "2.5 ", 4) > 0)
        std::memcpy(data + 16, "TELMARI ULTRA   ", 16);
    SetProductName(inquiry.GetProduct());
    TakeInquiry(data);
    m_ReflectiveDensity = {0, 2000, 300, 4000};
    m_TransparencyDensity = {0, 2000, 0, 4000};
    SetFlagBytes(kUltraSecondFlags, 13, 3);
    const uint32_t kMaxY[3] = {2540, 2540, 1800};
    const uint32_t kMaxX[3] = {2540, 1200, 1200};
    std::copy(kMaxY, kMaxY + 3, m_nMaxResolutionY);
    std::copy(kMaxX, kMaxX + 3, m_nMaxResolutionX);

    CScsiFixedBuffer<kCapabilityBlockBytes> block;
    if (g_pScsiChannel->Read10(
            block, kCapabilityBlockBytes, kDataTypeCapabilities, 0, true, kCommandTimeout, kSenseBytes) == kDriverOk) {
        const uint8_t* b = block.GetData();
        m_nMaxResolutionX[0] = GetBe16(b + 4);
        m_nMaxResolutionY[0] = GetBe16(b + 12);
        m_nMaxResolutionX[1] = GetBe16(b + 28);
        m_nMaxResolutionY[1] = GetBe16(b + 36);
        m_nMaxResolutionX[2] = GetBe16(b + 64);
        m_nMaxResolutionY[2] = GetBe16(b + 72);
        m_nMaxResolutionForType = m_nMaxResolutionY[2];
    }
    if (m_TransparencyBed.m_nWidth == 0) {
        ReportMessage(kMsgNoTransparencyUnit);
        return kDriverOk;
    }
    m_nCapabilityFlags |= kCapTransparency;
    if (AcceptsDeviceValue(kTelmariValueMaxRed, kProbeValue))
        m_nCapabilityFlags |= kCapNegatives;
    return kDriverOk;
}
