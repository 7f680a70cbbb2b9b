// Identification, capabilities, the format table with its holders, resolution rules, the table
// blocks and the family's sense table of the KILTORRA.

#include "drivers/kiltorra/KiltorraDriver.h"

#include "core/messages/MessageReporter.h"
#include "core/scsi/ScsiBuffer.h"
#include "core/scsi/ScsiChannel.h"
#include "core/settings/ScanSettings.h"
#include "core/util/ByteOrder.h"
#include "core/util/SystemUtil.h"
#include "drivers/kiltorra/KiltorraHolderFile.h"
#include "framework/App.h"

#include <algorithm>
#include <cstring>
#include <new>

CFormatTable* CKiltorraDriver::s_pFormatTable = nullptr;

namespace {

constexpr uint32_t kCommandTimeout = 30000;
constexpr int kSenseBytes = 32;
constexpr uint8_t kDataTypeValue = 0xA2;
constexpr int kMsgNoMemory = 3317;
constexpr int kMsgIncorrectLength = 3351;
constexpr int kMsgCommandStopped = 3464;
constexpr int kMsgOtherSense = 3340;
constexpr uint8_t kImageTypesLineArtGreyRgb = 13;
// Colour in one pass, reflective originals, the device sharpens.
constexpr uint8_t kKiltorraFlags = 221;
constexpr int32_t kScreenRulingLimit = 69;
constexpr uint32_t kDefaultTransGamma = 1800;

// Message id, kind (0 reflective, 1 transparency), width, height, left, top (1/100 mm), holder
// mask, holder number (the holder file sets it).
const CStaticFormatEntry kKiltorraFormats[] = {
    {3167, 0, 21000, 29700, 0, 0, 0, 0},
    {3175, 0, 99999, 99999, 0, 0, 0, 0},
    {3192, 0, 21590, 27940, 0, 0, 0, 0},
    {3193, 0, 21590, 35560, 0, 0, 0, 0},
    {3176, 1, 2500, 3600, 9250, 23998, 2, 0},
    {3607, 1, 2500, 3600, 9250, 23998, 1, 0},
    {3177, 1, 3600, 2500, 8700, 24548, 2, 0},
    {3608, 1, 3600, 2500, 8700, 24548, 1, 0},
    {3180, 1, 5600, 5600, 7700, 22998, 8, 0},
    {3609, 1, 5600, 5600, 7700, 22998, 4, 0},
    {3188, 1, 6000, 7000, 7500, 18801, 32, 0},
    {3189, 1, 7000, 6000, 7000, 19301, 32, 0},
    {3617, 1, 6000, 7000, 7500, 18801, 16, 0},
    {3618, 1, 7000, 6000, 7000, 19301, 16, 0},
    {3183, 1, 6012, 9111, 7494, 17745, 32, 0},
    {3184, 1, 9111, 6012, 5944, 19295, 32, 0},
    {3612, 1, 6012, 9111, 7494, 17745, 16, 0},
    {3613, 1, 9111, 6012, 5944, 19295, 16, 0},
    {3185, 1, 8705, 11702, 6147, 16450, 32, 0},
    {3186, 1, 11702, 8705, 4649, 17948, 32, 0},
    {3614, 1, 8705, 11702, 6147, 16450, 16, 0},
    {3615, 1, 11702, 8705, 4649, 17948, 16, 0},
    {3182, 1, 10000, 12413, 5500, 16094, 32, 0},
    {3181, 1, 12413, 10000, 4293, 17301, 32, 0},
    {3611, 1, 10000, 12413, 5500, 16094, 16, 0},
    {3610, 1, 12413, 10000, 4293, 17301, 16, 0},
    {3191, 1, 20320, 25400, 340, 4800, 64, 0},
    {3175, 1, 99999, 99999, 0, 0, 64, 0},
    {3187, 0, 21000, 29700, 0, 0, 0, 0},
    {0, 0, 0, 0, 0, 0, 0, 0},
};

// Lengths of the vendor block are in 1/1000 inch.
uint16_t MilsToHundredthMm(const uint8_t* at) { return uint16_t(uint32_t(GetBe16(at)) * 254 / 100); }

CBedArea BedAt(const uint8_t* at)
{
    return {MilsToHundredthMm(at), MilsToHundredthMm(at + 2), MilsToHundredthMm(at + 4), MilsToHundredthMm(at + 6)};
}

struct CSenseMessage {
    uint16_t first;
    uint16_t last;
    int message;
    bool withCode;
};

const CSenseMessage kSenseMessages[] = {
    {0x0800, 0x0800, 3439, false},
    {0xA002, 0xA002, 3439, false},
    {0x0A00, 0x0A00, 3438, true},
    {0x6100, 0x6102, 3438, true},
    {0xA001, 0xA001, 3438, true},
    {0xA003, 0xA003, 3438, true},
    {0x1A00, 0x1A00, 3442, false},
    {0x2000, 0x2000, 3442, false},
    {0x2400, 0x2400, 3442, false},
    {0x2600, 0x2601, 3442, false},
    {0xA005, 0xA005, 3442, false},
    {0x6000, 0x6000, 3447, true},
    {0xA00A, 0xA00A, 3447, true},
    {0xA00D, 0xA00D, 3447, true},
    {0xA004, 0xA004, 3441, true},
    {0xA006, 0xA006, 3443, false},
    {0xA007, 0xA007, 3444, false},
    {0xA008, 0xA008, 3445, true},
    {0xA009, 0xA009, 3446, true},
    {0xA00B, 0xA00B, 3448, false},
    {0xA00C, 0xA00C, 3449, false},
    {0xA018, 0xA018, 3461, true},
    {0xA01E, 0xA01E, 3466, false},
    {0xA01F, 0xA01F, 3467, true},
    {0xA020, 0xA020, 3469, false},
    {0xA021, 0xA021, 3468, false},
    {0xA028, 0xA028, 3464, false},
    {0xFFFF, 0xFFFF, 3464, false},
};

}  // namespace

CScannerDriver* CreateKiltorraDriver() { return new (std::nothrow) CKiltorraDriver; }

CKiltorraLut13::CKiltorraLut13() : m_Block(kBytes)
{
    static const uint8_t kHeader[6] = {0, 0, 13, 13, 0x03, 0xE8};
    if (GetData() != nullptr) {
        std::memset(GetData(), 0, kBytes);
        std::memcpy(GetData(), kHeader, sizeof kHeader);
    }
}

void CKiltorraLut13::LoadTable(const uint16_t* table, uint32_t count)
{
    uint8_t* out = GetData();
    if (out == nullptr)
        return;
    count = std::min(count, GetEntryCount());
    for (uint32_t i = 0; i < count; ++i)
        PutBe16(out + 6 + 2 * i, table[i]);
}

CKiltorraLut::CKiltorraLut()
{
    static const uint8_t kHeader[6] = {0, 3, 10, 10, 0x03, 0xE8};
    std::memset(m_data, 0, sizeof m_data);
    std::memcpy(m_data, kHeader, sizeof kHeader);
}

void CKiltorraLut::LoadTable(const uint16_t* table, uint32_t count)
{
    count = std::min(count, GetEntryCount());
    for (uint32_t i = 0; i < count; ++i)
        PutBe16(m_data + 6 + 2 * i, table[i]);
}

CKiltorraDriver::~CKiltorraDriver()
{
    ReleaseSharedFormatTable(s_pFormatTable);
    m_pFormatTable = nullptr;
}

uint16_t CKiltorraDriver::Identify()
{
    CLongInquiryBuffer inquiry;
    uint8_t* data = inquiry.GetData();
    data[4] = 0;
    if (g_pScsiChannel == nullptr)
        return kDriverFailed;
    uint16_t result = g_pScsiChannel->Inquiry(inquiry, kCommandTimeout, kSenseBytes);
    if (result != kDriverOk)
        return result;
    SetVendorName(inquiry.GetVendor());
    SetProductName(inquiry.GetProduct());
    SetRevisionText(inquiry.GetRevision());

    static const int kRangeOffsets[4] = {96, 100, 104, 142};
    for (int i = 0; i < 4; ++i)
        m_ResolutionRange[i] = {uint16_t(GetBe16(data + kRangeOffsets[i])), uint16_t(GetBe16(data + kRangeOffsets[i] + 2))};
    m_ReflectiveBed = BedAt(data + 180);
    m_TransparencyBed = BedAt(data + 188);
    for (int i = 0; i < 7; ++i)
        m_nCapabilityWords[i] = GetBe16(data + 196 + 2 * i);
    m_nCapabilityWords[7] = GetBe16(data + 218);
    m_nReserved = GetBe32(data + 220);
    m_nBufferSize = GetBe16(data + 238);

    m_ReflectiveDensity = {0, 2000, 300, 4000};
    m_TransparencyDensity = {0, 4000, 0, 4000};
    m_nImageTypeFlags = kImageTypesLineArtGreyRgb;
    m_nCapabilityFlags = kKiltorraFlags;
    std::memset(m_nFurtherFlags, 0, sizeof m_nFurtherFlags);
    m_nFurtherFlags[0] = 1;
    m_nMaxResolutionForType = 2u * m_ResolutionRange[0].m_nMaximum;
    return kDriverOk;
}

void CKiltorraDriver::InitCapabilities()
{
    m_nKind = kKindKiltorra;
    m_pResolutionList = s_ResolutionList;
    m_nFirmwareLowest = 100;
    m_nFirmwareHighest = 9999;
    m_nLinesRead = 0;
    m_nPrescan = 0;
    Identify();
    if (s_pFormatTable == nullptr)
        s_pFormatTable = new (std::nothrow) CFormatTable;
    if (s_pFormatTable != nullptr)
        m_pFormatTable = BuildFormatTable(kKiltorraFormats, s_pFormatTable);
}

void CKiltorraDriver::SetDefaultSettings(CScanSettings* settings)
{
    CScannerDriver::SetDefaultSettings(settings);
    settings->SetParamAllTypes(kParamToneCode, kToneDefault);
}

CFormatTable* CKiltorraDriver::BuildFormatTable(const CStaticFormatEntry* staticTable, CFormatTable* table)
{
    CopyFormatTable(staticTable, table);
    for (CFormatEntry& entry : table->m_Entries) {
        if (entry.m_nWidth == 0 || entry.m_nHeight == 0)
            break;
        // Formats that fit keep their own place on the bed: the holders put the film there.
        const CBedArea& bed = entry.m_nKind != 0 ? m_TransparencyBed : m_ReflectiveBed;
        int32_t widthRoom = entry.m_nKind != 0 ? int32_t(bed.m_nWidth) - bed.m_nOffsetX : bed.m_nWidth;
        int32_t heightRoom = entry.m_nKind != 0 ? int32_t(bed.m_nHeight) - bed.m_nOffsetY : bed.m_nHeight;
        if (entry.m_nWidth > widthRoom) {
            entry.m_nWidth = widthRoom;
            entry.m_nOffsetX = bed.m_nOffsetX;
        }
        if (entry.m_nHeight > heightRoom) {
            entry.m_nHeight = heightRoom;
            entry.m_nOffsetY = bed.m_nOffsetY;
        }
    }
    ApplyHolderFile(table);
    return table;
}

void CKiltorraDriver::ApplyHolderFile(CFormatTable* table)
{
    if (table != nullptr)
        CKiltorraHolderFile::Read(WindowsDirectory() + kHolderFileName, *table);
}

void CKiltorraDriver::RebuildFormatTable()
{
    if (s_pFormatTable != nullptr)
        RebuildKeepingUserFormat(kKiltorraFormats, s_pFormatTable);
}

int CKiltorraDriver::IsScreenRulingOff()
{
    int32_t ruling = g_pScanSettings != nullptr ? g_pScanSettings->GetParam(kParamScreenRuling) : 0;
    return ruling == 0 || ruling > kScreenRulingLimit ? 1 : 0;
}

uint32_t CKiltorraDriver::ClampResolutionX(uint32_t r)
{
    if (g_pScanSettings != nullptr && IsScreenRulingOff() == 0) {
        int32_t type = g_pScanSettings->GetCurrentType();
        if (type != kImageLineArt && type != kImageHalftone)
            r = 4 * uint32_t(g_pScanSettings->GetParam(kParamScreenRuling));
    }
    const CResolutionRange& range = m_ResolutionRange[2];
    return std::clamp<uint32_t>(r, range.m_nMinimum, std::max(range.m_nMinimum, range.m_nMaximum));
}

uint32_t CKiltorraDriver::ClampResolutionY(uint32_t r)
{
    if (g_pScanSettings != nullptr && IsScreenRulingOff() == 0)
        return ClampResolutionX(r);
    const CResolutionRange& range = m_ResolutionRange[3];
    return std::clamp<uint32_t>(r, range.m_nMinimum, std::max(range.m_nMinimum, range.m_nMaximum));
}

int CKiltorraDriver::IsLutRising(uint32_t) { return 1; }

uint32_t CKiltorraDriver::ScanModeForImageType(int32_t imageType) { return ScanModeWithDeviceLineArt(imageType); }

double CKiltorraDriver::GetGammaOverride()
{
    int32_t original = g_pScanSettings != nullptr ? g_pScanSettings->GetParam(kParamOriginal) : 0;
    if (original != 1 && original != 2)
        return 1.0;
    return AfxGetApp()->GetProfileInt(m_strProduct, "ScannerTransGamma", kDefaultTransGamma) / 1000.0;
}

uint16_t CKiltorraDriver::SendKiltorraValue(uint16_t code, uint32_t value)
{
    if (g_pScsiChannel == nullptr)
        return kDriverFailed;
    CScsiFixedBuffer<4> block;
    PutBe16(block.GetData(), value >> 16);
    PutBe16(block.GetData() + 2, value);
    return Checked(
        block, [&] { return g_pScsiChannel->Send10(block, kDataTypeValue, code, kCommandTimeout, kSenseBytes); });
}

void CKiltorraDriver::BuildKiltorraCurve(CLutBuffer& block, const CKiltorraCurvePoint* points, int count)
{
    uint32_t n = block.GetEntryCount();
    CScopedBlock memory(n * 2);
    uint16_t* table = static_cast<uint16_t*>(memory.Data());
    if (table == nullptr) {
        ReportMessage(kMsgNoMemory);
        return;
    }
    std::memset(table, 0, n * 2);
    for (int p = 0; p + 1 < count; ++p) {
        const CKiltorraCurvePoint& a = points[p];
        const CKiltorraCurvePoint& b = points[p + 1];
        if (b.x <= a.x)
            continue;
        // The slope is a whole number, truncated toward zero, as the device expects the curve.
        int32_t slope = (b.y - a.y) / (b.x - a.x);
        for (int32_t x = std::max(a.x, 0); x < b.x && x < int32_t(n); ++x)
            table[x] = uint16_t(a.y + slope * (x - a.x));
    }
    block.LoadTable(table, n);
}

uint16_t CKiltorraDriver::HandleSense(const uint8_t* sense)
{
    if (sense[2] & 0x20) {
        ReportMessage(kMsgIncorrectLength);
        return kDriverAborted;
    }
    uint16_t code = uint16_t((sense[12] << 8) | sense[13]);
    switch (sense[2] & 0x0F) {
    case 0:
        return kDriverOk;
    case 1:
    case 9:
        ReportKiltorraSense(code);
        return kDriverOk;
    case 6:
        // Every command is sent once more after UNIT ATTENTION: met again, the device keeps
        // resetting and the command never ran.
        ReportKiltorraSense(code);
        return kDriverAborted;
    case 2:
    case 3:
    case 4:
    case 5:
    case 7:
        ReportKiltorraSense(code);
        return kDriverAborted;
    case 11:
        ReportMessage(kMsgCommandStopped);
        return kDriverAborted;
    default:
        return kDriverFailed;
    }
}

uint16_t CKiltorraDriver::ReportKiltorraSense(uint16_t code)
{
    if (code == 0)
        return kDriverOk;
    if (code >= 0xA022 && code <= 0xA027) {
        ReportMessage(3470 + (code - 0xA022));
        return kDriverOk;
    }
    for (const CSenseMessage& entry : kSenseMessages) {
        if (code < entry.first || code > entry.last)
            continue;
        if (entry.withCode)
            ReportMessage(entry.message, (unsigned long)code);
        else
            ReportMessage(entry.message);
        return kDriverOk;
    }
    ReportMessage(kMsgOtherSense);
    return kDriverOk;
}
