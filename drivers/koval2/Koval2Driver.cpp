// Identification, capabilities, tables, resolution rules and lookup tables of the KOVAL II family.

#include "drivers/koval2/Koval2Driver.h"

#include "core/devices/DeviceSearch.h"
#include "core/scsi/ScsiBuffer.h"
#include "core/scsi/ScsiChannel.h"
#include "core/settings/ScanSettings.h"
#include "core/util/Clock.h"
#include "drivers/koval2/Koval2Tables.h"
#include "drivers/koval2/LineInterleaver.h"
#include "drivers/koval2/ScsiLutBuffer.h"
#include "core/messages/MessageReporter.h"

#include <algorithm>
#include <cstring>
#include <new>

CFormatTable* CKoval2Driver::s_pFormatTable = nullptr;

namespace {

constexpr uint32_t kCommandTimeout = 30000;
constexpr int kSenseBytes = 32;

// INQUIRY vendor bytes.
constexpr int kInqScaling = 56;
constexpr int kInqImageTypes = 57;
constexpr int kInqKindMark = 62;
constexpr int kInqAccessories = 63;
constexpr int kInqHighResolution = 64;
constexpr int kInqPageLength = 65;
constexpr int kInqLookupTable = 66;
constexpr uint8_t kBiravoMark = 0x5D;

constexpr uint16_t kMinimumResolution = 6;
constexpr uint32_t kBufferKilobytes = 1024;
constexpr CBedArea kTransparencyArea = {0, 0, 20225, 25400};
const uint16_t kCapabilityWords[8] = {2056, 2056, 10, 10, 2, 2, 0, 3600};

struct CKindData {
    uint16_t opticalLow;
    uint16_t opticalHigh;
    uint16_t bedWidth;
    uint16_t bedHeight;
    CDensityLimits reflective;
    CDensityLimits transparency;
};

const CKindData kKoval2Kind = {600, 1200, 21040, 35560, {50, 900, 1000, 2300}, {80, 1000, 1100, 3300}};
const CKindData kBiravoKind = {1000, 2000, 20300, 35500, {70, 900, 2300, 2300}, {150, 1000, 3400, 3400}};

bool ProductIs(const uint8_t* inquiry, const char* product)
{
    return std::memcmp(inquiry + 16, product, 16) == 0;
}

// Table size from byte 66 bits 0-3. A table's byte count goes into a 16-bit CDB field, so a device
// that also offers a smaller size gets that one instead of 65536 entries.
uint32_t LutEntries(uint8_t bits)
{
    if ((bits & 0x08) != 0 && (bits & 0x07) == 0)
        return 65536;
    if (bits & 0x04)
        return 4096;
    if (bits & 0x02)
        return 1024;
    if (bits & 0x01)
        return 256;
    return 0;
}

// Largest table value and the bit-depth flag byte from byte 66 bits 5-7.
void LutMaximum(uint8_t bits, uint32_t& maximum, uint8_t& depths)
{
    static const uint32_t kMaximum[4] = {255, 1023, 4095, 65535};
    static const uint8_t kDepths[4] = {1, 3, 7, 0x17};
    int code = (bits >> 5) & 3;
    if (bits & 0x80)
        code = 2;
    maximum = kMaximum[code];
    depths = kDepths[code];
}

constexpr int kMsgLutTooLarge = 3415;
constexpr int kMsgNoMemory = 3317;

const uint32_t kKoval2QualitySteps[] = {72, 150, 300, 600, 1200};
const uint32_t kBiravoQualitySteps[] = {125, 250, 500, 1000, 2000};

}  // namespace

CScannerDriver* CreateKoval2Driver()
{
    return new (std::nothrow) CKoval2Driver;
}

CKoval2Driver::~CKoval2Driver()
{
    if (!m_bFormatTableReleased)
        ReleaseClassTable(s_pFormatTable);
    m_pFormatTable = nullptr;
    delete m_pInterleaver;
    FreeTransferBlocks();
}

void CKoval2Driver::ReleaseClassTable(CFormatTable*& table)
{
    ReleaseSharedFormatTable(table);
    m_bFormatTableReleased = true;
}

void CKoval2Driver::FreeTransferBlocks()
{
    for (CGlobalBlock& block : m_Blocks) {
        block.Free();
        block = CGlobalBlock();
    }
}

uint32_t CKoval2Driver::GetMaxResolutionForType(int32_t imageType)
{
    if (IsBiravo())
        return 4000;
    return imageType == kImageLineArt ? 3600 : 2400;
}

uint16_t CKoval2Driver::Identify()
{
    CScsiInquiryBuffer inquiry;
    uint8_t* data = inquiry.GetData();
    data[4] = 0;
    uint16_t result = g_pScsiChannel != nullptr ? g_pScsiChannel->Inquiry(inquiry, kCommandTimeout, kSenseBytes)
                                                : uint16_t(kDriverFailed);
    SetVendorName(inquiry.GetVendor());
    SetProductName(inquiry.GetProduct());
    SetRevisionText(inquiry.GetRevision());

    m_nScalingFlags = data[kInqScaling];
    m_bDeviceLineArt = data[kInqImageTypes] & 0x01;
    m_bGreyAndColour = (data[kInqImageTypes] >> 2) & 0x01;
    m_bHighResolution = data[kInqHighResolution];
    m_bLongPage = (data[kInqPageLength] >> 1) & 0x01;
    m_nLutEntries = LutEntries(data[kInqLookupTable]);
    uint8_t depths = 0;
    LutMaximum(data[kInqLookupTable], m_nLutMaximum, depths);

    if (ProductIs(data, "BIRAVO          ") || data[kInqKindMark] == kBiravoMark) {
        m_nKind = kKindBiravo;
        m_pResolutionList = kBiravoResolutions;
    } else if (ProductIs(data, "KOVAL II        ") || ProductIs(data, "DX-700          ")) {
        m_nKind = kKindKoval2;
        m_pResolutionList = kKoval2Resolutions;
    }
    const CKindData& kind = IsBiravo() ? kBiravoKind : kKoval2Kind;
    m_nOpticalLow = kind.opticalLow;
    m_nOpticalHigh = kind.opticalHigh;
    m_nBedWidth = kind.bedWidth;
    m_nBedHeight = kind.bedHeight;

    uint16_t maximum = m_bHighResolution != 0 ? m_nOpticalHigh : m_nOpticalLow;
    for (CResolutionRange& range : m_ResolutionRange)
        range = {kMinimumResolution, maximum};
    m_nMaxResolutionForType = 4u * maximum;
    m_ReflectiveBed = {0, 0, kind.bedWidth, kind.bedHeight};
    m_TransparencyBed = kTransparencyArea;
    std::memcpy(m_nCapabilityWords, kCapabilityWords, sizeof m_nCapabilityWords);
    m_nReserved = 0;
    m_nBufferSize = kBufferKilobytes;
    m_ReflectiveDensity = kind.reflective;
    m_TransparencyDensity = kind.transparency;

    m_nImageTypeFlags = 0;
    if (m_bDeviceLineArt)
        m_nImageTypeFlags |= 1u << kImageLineArt;
    if (m_bGreyAndColour)
        m_nImageTypeFlags |= (1u << kImageGrey) | (1u << kImageRgb);
    m_nCapabilityFlags = kCapColourOnePass | kCapReflective;
    m_bTransparencyUnit = (data[kInqAccessories] & 0x40) != 0 || IsBiravo() ? 1 : 0;
    if (m_bTransparencyUnit)
        m_nCapabilityFlags |= 0x14;     // transparencies and negatives
    std::memset(m_nFurtherFlags, 0, sizeof m_nFurtherFlags);
    m_nFurtherFlags[0] = IsBiravo() ? 1 : 0;
    m_nFurtherFlags[2] = depths;
    return result;
}

void CKoval2Driver::InitCapabilities()
{
    m_nReadyDeadline = MillisecondClock();
    m_pResolutionList = kKoval2Resolutions;
    Identify();
    m_nFirmwareLowest = 302;
    m_nFirmwareHighest = 310;
    if (s_pFormatTable == nullptr)
        s_pFormatTable = new CFormatTable;
    if (IsBiravo())
        m_pHolderTable = kBiravoHolders;
    m_pFormatTable = BuildFormatTable(IsBiravo() ? kBiravoFormats : kKoval2Formats, s_pFormatTable);
    AllocateTransferBlocks();
}

void CKoval2Driver::AllocateTransferBlocks()
{
    CScsiTransport* transport = g_pScsiChannel != nullptr ? g_pScsiChannel->GetTransport() : nullptr;
    m_bSyncOnly = transport == nullptr || !transport->SupportsAsync() ? 1 : 0;
    uint32_t transferSize = GetTransferSize();
    FreeTransferBlocks();
    m_Blocks[0].Alloc(transferSize, 1, GMEM_MOVEABLE);
    if (m_Blocks[0].m_pData != nullptr && LoadBlocking() == 0 && !m_bSyncOnly) {
        m_Blocks[1].Alloc(transferSize, 1, GMEM_MOVEABLE);
        if (m_Blocks[1].m_pData == nullptr)
            m_bSyncOnly = 1;
    }
}

void CKoval2Driver::RebuildFormatTable()
{
    if (s_pFormatTable != nullptr)
        RebuildKeepingUserFormat(IsBiravo() ? kBiravoFormats : kKoval2Formats, s_pFormatTable);
}

uint32_t CKoval2Driver::GetLineOverhead()
{
    uint32_t mode = g_pScanSettings != nullptr ? g_pScanSettings->GetScanMode() : 0;
    return mode == 3 || mode == 4 ? 6 : 0;
}

int CKoval2Driver::IsLutRising(uint32_t) { return 1; }

uint32_t CKoval2Driver::SnapToQualityStep(uint32_t r, bool upward) const
{
    const uint32_t* steps = IsBiravo() ? kBiravoQualitySteps : kKoval2QualitySteps;
    if (upward) {
        for (int i = 0; i < 5; ++i) {
            if (steps[i] >= r)
                return steps[i];
        }
        return steps[4];
    }
    uint32_t snapped = r;
    for (int i = 0; i < 5; ++i) {
        if (steps[i] <= r)
            snapped = steps[i];
    }
    return snapped;
}

uint32_t CKoval2Driver::ClampResolutionX(uint32_t r)
{
    if (g_pScanSettings == nullptr)
        return std::clamp<uint32_t>(r, m_ResolutionRange[0].m_nMinimum, m_ResolutionRange[0].m_nMaximum);
    const CScanSettings& settings = *g_pScanSettings;
    bool lineArt = settings.GetCurrentType() == kImageLineArt;
    bool quality = settings.GetParam(kParamQuality) == 1 && !lineArt;
    if (!lineArt && settings.GetParam(kParamScreenRuling) != 0)
        r = 4 * (uint32_t)settings.GetParam(kParamScreenRuling);

    auto roundToStep = [this](uint32_t value) {
        uint32_t q = m_bHighResolution != 0 && value > m_nOpticalLow ? m_nOpticalHigh : m_nOpticalLow;
        uint32_t step = q / 100;
        return step == 0 ? value : (value + step - 1) / step * step;
    };
    if (quality) {
        r = SnapToQualityStep(r, true);
    } else {
        r = std::clamp<uint32_t>(r, m_ResolutionRange[0].m_nMinimum, m_ResolutionRange[0].m_nMaximum);
        if (!IsBiravo())
            r = roundToStep(r);
    }

    // The device's size cached when it was opened (and again as a scan starts): this runs for
    // every line-size question the settings ask, far too often to read the INI file each time.
    // Never the size one scan lowered for its stroke count, or a prescan would narrow the scan
    // after it.
    uint32_t transfer = g_DeviceTransferSize;
    int32_t width = std::max(5, settings.GetParam(kParamSelRight) - settings.GetParam(kParamSelLeft));
    uint32_t lineBytes = settings.LineBytesForWidth((uint32_t)width);
    if (transfer != 0 && lineBytes > transfer) {
        r = (uint32_t)((uint64_t)r * transfer / lineBytes * 100 / (IsBiravo() ? 102 : 104));
        if (quality)
            r = SnapToQualityStep(r, false);
        else if (!IsBiravo())
            r = roundToStep(r);
    }
    return r;
}

uint32_t CKoval2Driver::ClampResolutionY(uint32_t resolution)
{
    return ClampResolutionX(resolution);
}

uint32_t CKoval2Driver::ScanModeForImageType(int32_t imageType)
{
    switch (imageType) {
    case kImageHalftone: return 2;
    case kImageCmyk: return 3;
    case kImageLineArt: break;
    default: return (uint32_t)imageType;
    }
    if (g_pScanSettings == nullptr)
        return 2;
    const CScanSettings& settings = *g_pScanSettings;
    uint32_t resolution = (uint32_t)settings.GetParam(kParamResolution);
    bool deviceLineArt = resolution <= m_ResolutionRange[0].m_nMaximum && ClampResolutionX(resolution) == resolution &&
        settings.GetParam(kParamRotation) == 0 && settings.GetParam(kParamMirror) == 0 &&
        settings.GetParam(kParamQuality) != 1;
    return deviceLineArt ? 0 : 2;
}

uint16_t CKoval2Driver::UpdateScanGeometry()
{
    uint16_t result = UpdateSharedScanGeometry();
    // The device's own line art sets its bits where the table gives white; line art thresholded
    // from grey on the host comes with set bits black.
    if (result == kDriverOk)
        m_bLineArt = g_pScanSettings->GetScanMode() == 0 ? 0 : 1;
    return result;
}

uint16_t CKoval2Driver::PrepareColourCorrection()
{
    // The engine reads this family's maximum densities as the device's own limit.
    float maximum = (float)GetMaxDensity(0) / 1000.0f;
    const float maximumDensities[3] = {maximum, maximum, maximum};
    CFilmCorrection film;
    film.maximumDensities = maximumDensities;
    return PrepareFilmColourCorrection(film);
}

uint16_t CKoval2Driver::SendLookupTables()
{
    uint16_t result = WaitReady(60000);
    if (result != kDriverOk)
        return result;
    if (m_nLutEntries == 0)
        return kDriverOk;       // the device has no tables to load
    uint32_t bits = g_pScanSettings != nullptr ? (uint32_t)g_pScanSettings->GetParam(kParamBitsPerChannel) : 8;
    uint32_t maximum = std::min<uint32_t>((1u << std::clamp<uint32_t>(bits, 8, 16)) - 1, m_nLutMaximum);
    CScsiLutBuffer* table = new (std::nothrow) CScsiLutBuffer(m_nLutEntries, maximum);
    if (table == nullptr) {
        ReportMessage(kMsgNoMemory);
        return kDriverAborted;
    }
    if (table->GetData() == nullptr) {
        delete table;
        return kDriverFailed;
    }
    if (table->GetLength() > 0xFFFF) {
        // The CDB carries the table length in 16 bits; a longer table would arrive cut short.
        ReportMessage(kMsgLutTooLarge);
        delete table;
        return kDriverAborted;
    }
    uint8_t tableByte = m_nLutEntries > 256 ? 1 : 0;
    if (g_pScanSettings->GetCurrentType() == kImageLineArt && g_pScanSettings->GetScanMode() == 0)
        g_pScanSettings->SetParam(kParamToneCode, 0xFF0B);
    int32_t type = g_pScanSettings->GetCurrentType();
    if (type != kImageRgb && type != kImageCmyk) {
        result = DownloadLut(table, 0);
        if (result == kDriverOk)
            result = SendTable(*table, tableByte);
    } else {
        for (int channel = 1; channel <= 3 && result == kDriverOk; ++channel) {
            result = DownloadLut(table, channel);
            if (result == kDriverOk)
                result = SendTable(*table, uint8_t(tableByte | (channel << 6)));
        }
    }
    delete table;
    return result;
}

uint16_t CKoval2Driver::SendTable(CLutBuffer& table, uint8_t tableByte, uint8_t byte2)
{
    return CheckResult(g_pScsiChannel->DownloadLookupTable(table, tableByte, byte2, kCommandTimeout, kSenseBytes),
                       table);
}
