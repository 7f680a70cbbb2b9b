// Identification, capabilities, defaults, resolution choice, tone tables, sense codes and the
// automatic exposure of the LUMETRA camera.

#include "drivers/lumetra/LumetraDriver.h"

#include "core/driver/LutBuffer.h"
#include "core/messages/MessageReporter.h"
#include "core/messages/TraceLog.h"
#include "core/scsi/ScsiBuffer.h"
#include "core/scsi/ScsiChannel.h"
#include "core/settings/ScanSettings.h"
#include "core/util/ByteOrder.h"
#include "core/util/Numeric.h"

#include <algorithm>
#include <cstring>
#include <new>

CFormatTable* CLumetraDriver::s_pFormatTable = nullptr;
int32_t CLumetraDriver::s_bExposurePrescanAllowed = 1;

namespace {

constexpr uint32_t kReadyTimeout = 60000;
constexpr uint32_t kCommandTimeout = 30000;
constexpr int kSenseBytes = 32;
constexpr uint8_t kDataTypeLut = 0x93;
constexpr uint32_t kLutEntries = 4096;
constexpr uint32_t kHundredthMmPerInch = 2540;

constexpr int kMsgNoMemory = 3317;
constexpr int kMsgSenseError = 3340;
constexpr int kMsgIncorrectLength = 3351;
constexpr int kMsgFirstCameraCode = 4052;

// INQUIRY vendor bytes.
constexpr uint32_t kInqRange13 = 104;
constexpr uint32_t kInqHorizontalCount = 108;
constexpr uint32_t kInqHorizontalList = 110;
constexpr uint32_t kInqRange24 = 142;
constexpr uint32_t kInqVerticalCount = 146;
constexpr uint32_t kInqVerticalList = 148;
constexpr uint32_t kInqCapabilityWords = 196;
constexpr uint32_t kInqSensorWidth = 220;
constexpr uint32_t kInqSensorHeight = 222;
constexpr uint32_t kInqBufferSize = 238;

constexpr uint8_t kImageTypesGreyRgb = 12;
constexpr uint8_t kCapLumetra = 137;  // colour in one pass, reflective originals
constexpr uint8_t kFurtherFlags[3] = {4, 3, 5};
constexpr CDensityLimits kDensities = {0, 0, 4000, 4000};
constexpr CBedArea kNoTransparencyBed = {0, 0, 1, 1};

// 65535 before the end marks the list's "other" entry for the resolution selector.
const uint32_t kLumetraResolutions[] = {264, 529, 793, 1587, 3175, 65535, 0};

const CStaticFormatEntry kLumetraFormats[] = {
    {3175, 0, 99999, 99999, 0, 0, 0, 0},
    {3187, 0, 99999, 99999, 0, 0, 0, 0},
    {0, 0, 0, 0, 0, 0, 0, 0},
};

// The exposure factor by the quality setting (0 extra .. 3); other values take the nearest end.
constexpr uint32_t kExposureFactor[4] = {85, 42, 21, 10};

enum : uint8_t {
    kSenseNoSense = 0,
    kSenseRecovered = 1,
    kSenseUnitAttention = 6,
    kSenseAbortedCommand = 11,
};

// The camera's tone table: a 4-byte header {channel, 0, 12, bits per channel}, then 4096 entries,
// one byte each up to 8 bits per channel, else 16-bit big-endian.
class CLumetraLut : public CLutBuffer {
public:
    explicit CLumetraLut(uint32_t bits) : m_bWide(bits > 8)
    {
        std::memset(m_data, 0, sizeof m_data);
        m_data[2] = 12;
        m_data[3] = uint8_t(bits);
    }
    uint32_t GetLength() override { return 4 + kLutEntries * (m_bWide ? 2 : 1); }
    uint8_t* GetData() override { return m_data; }
    void LoadTable(const uint16_t* table, uint32_t count) override
    {
        count = std::min(count, kLutEntries);
        for (uint32_t i = 0; i < count; ++i) {
            if (m_bWide) {
                m_data[4 + 2 * i] = uint8_t(table[i] >> 8);
                m_data[5 + 2 * i] = uint8_t(table[i]);
            } else {
                m_data[4 + i] = uint8_t(table[i]);
            }
        }
    }
    uint32_t GetMaxValue() override { return m_bWide ? 4095 : 255; }
    uint32_t GetEntryCount() override { return kLutEntries; }
    void SetChannel(int channel) { m_data[0] = uint8_t(channel); }

private:
    bool m_bWide;
    uint8_t m_data[4 + 2 * kLutEntries];
};

// The INQUIRY data of the camera: its additional length announces up to 242 bytes.
class CLumetraInquiryBuffer : public CScsiBuffer {
public:
    CLumetraInquiryBuffer() { std::memset(m_data, 0, sizeof m_data); }
    uint32_t GetLength() override { return std::min<uint32_t>(uint32_t(m_data[4]) + 5, kLumetraInquiryBytes); }
    uint8_t* GetData() override { return m_data; }

private:
    uint8_t m_data[kLumetraInquiryBytes];
};

// Reads a list of `count` 16-bit entries at `offset`, at most kLumetraListEntries and never past
// the data received; the list ends with 0.
void ReadList(const uint8_t* data, uint32_t length, uint32_t offset, uint32_t count, uint32_t* list)
{
    uint32_t room = length > offset ? (length - offset) / 2 : 0;
    uint32_t n = std::min({count, kLumetraListEntries, room});
    if (n < count && g_pTraceLog != nullptr)
        g_pTraceLog->Printf("Lumetra: resolution list of %u entries, %u taken", count, n);
    for (uint32_t i = 0; i < n; ++i)
        list[i] = GetBe16(data + offset + 2 * i);
    list[n] = 0;
}

int CameraMessage(uint32_t code)
{
    switch (code) {
    case 0x2000:
        return 3342;
    case 0x2400:
        return 3343;
    case 0x2600:
        return 3344;
    case 0xB000:
        return 3356;
    case 0xB001:
        return 3357;
    case 0xB002:
        return 3358;
    default:
        break;
    }
    if (code >= 0xB003 && code <= 0xB019)
        return kMsgFirstCameraCode + int(code - 0xB003);
    return kMsgSenseError;
}

void ReportCameraSense(uint32_t code)
{
    if (code != 0)
        ReportMessage(CameraMessage(code));
}

}  // namespace

// ---- line queues ----

CCameraLineQueue::~CCameraLineQueue() { delete[] m_pSlots; }

bool CCameraLineQueue::Grow()
{
    uint32_t capacity = std::max<uint32_t>(m_nCapacity * 2, 16);
    uint8_t* slots = new (std::nothrow) uint8_t[size_t(capacity) * m_nLineBytes];
    if (slots == nullptr)
        return false;
    for (uint32_t i = 0; i < m_nCount; ++i) {
        uint32_t from = (m_nHead + i) % m_nCapacity;
        std::memcpy(slots + size_t(i) * m_nLineBytes, m_pSlots + size_t(from) * m_nLineBytes, m_nLineBytes);
    }
    delete[] m_pSlots;
    m_pSlots = slots;
    m_nCapacity = capacity;
    m_nHead = 0;
    return true;
}

bool CCameraLineQueue::Push(const uint8_t* line)
{
    if (m_nCount == m_nCapacity && !Grow())
        return false;
    uint32_t slot = (m_nHead + m_nCount) % m_nCapacity;
    std::memcpy(m_pSlots + size_t(slot) * m_nLineBytes, line, m_nLineBytes);
    ++m_nCount;
    return true;
}

void CCameraLineQueue::Pop()
{
    if (m_nCount == 0)
        return;
    m_nHead = (m_nHead + 1) % m_nCapacity;
    --m_nCount;
}

// ---- the driver ----

CScannerDriver* CreateLumetraDriver() { return new (std::nothrow) CLumetraDriver; }

CLumetraDriver::~CLumetraDriver()
{
    DeleteQueues();
    ReleaseSharedFormatTable(s_pFormatTable);
    m_pFormatTable = nullptr;
}

uint32_t CLumetraDriver::GetMaxResolutionForType(int32_t imageType)
{
    if (imageType == kImageGrey)
        return m_nModeMaximum[1];
    if (imageType == kImageRgb || imageType == kImageCmyk)
        return m_nModeMaximum[2];
    return m_nMaxResolutionForType;
}

void CLumetraDriver::TakeVendorBlock(const uint8_t* data, uint32_t length)
{
    // Fields beyond the data received read as 0.
    uint8_t block[kLumetraInquiryBytes] = {};
    length = std::min(length, kLumetraInquiryBytes);
    std::memcpy(block, data, length);
    const uint8_t* d = block;
    ReadList(data, length, kInqHorizontalList, GetBe16(d + kInqHorizontalCount), m_nHorizontalList);
    ReadList(data, length, kInqVerticalList, GetBe16(d + kInqVerticalCount), m_nVerticalList);
    for (int i = 0; i < 6; ++i)
        m_nCapabilityWords[i] = uint16_t(GetBe16(d + kInqCapabilityWords + 2 * i));
    m_nBufferSize = GetBe16(d + kInqBufferSize);

    CResolutionRange across = {uint16_t(GetBe16(d + kInqRange13)), uint16_t(GetBe16(d + kInqRange13 + 2))};
    CResolutionRange down = {uint16_t(GetBe16(d + kInqRange24)), uint16_t(GetBe16(d + kInqRange24 + 2))};
    uint32_t m = across.m_nMaximum;
    uint32_t sensorWidth = GetBe16(d + kInqSensorWidth);
    uint32_t sensorHeight = GetBe16(d + kInqSensorHeight);
    // The sensor's size in 1/100 mm divides by the highest resolutions, and an empty bed leaves
    // nothing to select: without them the base's ranges and bed stay.
    if (m == 0 || down.m_nMaximum == 0 || sensorWidth == 0 || sensorHeight == 0) {
        if (g_pTraceLog != nullptr)
            g_pTraceLog->Printf("Lumetra: resolution maximum or sensor size 0, ranges and bed of the base kept");
    } else {
        m_ResolutionRange[0] = m_ResolutionRange[2] = across;
        m_ResolutionRange[1] = m_ResolutionRange[3] = down;
        m_ReflectiveBed = {0, 0, uint16_t(std::min<uint32_t>(sensorWidth * kHundredthMmPerInch / m, 0xFFFF)),
            uint16_t(std::min<uint32_t>(sensorHeight * kHundredthMmPerInch / down.m_nMaximum, 0xFFFF))};
        m_nMaxResolutionForType = 3 * m / 2;
        const uint32_t maxima[6] = {2 * m, 3 * m / 2, 3 * m / 2, 2 * m, 3 * m / 2, 3 * m / 2};
        std::memcpy(m_nModeMaximum, maxima, sizeof maxima);
    }
    if (m_nHorizontalList[0] == 0 && g_pTraceLog != nullptr)
        g_pTraceLog->Printf("Lumetra: no horizontal resolutions, the base's resolution rule kept");
}

uint16_t CLumetraDriver::Identify()
{
    if (g_pScsiChannel == nullptr)
        return kDriverFailed;
    CLumetraInquiryBuffer inquiry;
    m_nLastResult = g_pScsiChannel->Inquiry(inquiry, kCommandTimeout, kSenseBytes);
    if (m_nLastResult != kDriverOk)
        return m_nLastResult;
    const uint8_t* data = inquiry.GetData();
    char text[17] = {};
    std::memcpy(text, data + 8, 8);
    SetVendorName(text);
    std::memset(text, 0, sizeof text);
    std::memcpy(text, data + 32, 4);
    SetRevisionText(text);
    // One INI section for both product names.
    SetProductName("Lumetra");

    m_TransparencyBed = kNoTransparencyBed;
    m_ReflectiveDensity = kDensities;
    m_TransparencyDensity = kDensities;
    m_nImageTypeFlags = kImageTypesGreyRgb;
    m_nCapabilityFlags = kCapLumetra;
    std::memset(m_nFurtherFlags, 0, sizeof m_nFurtherFlags);
    std::memcpy(m_nFurtherFlags, kFurtherFlags, sizeof kFurtherFlags);
    TakeVendorBlock(data, inquiry.GetLength());
    return kDriverOk;
}

void CLumetraDriver::InitCapabilities()
{
    // The base's values first: a camera whose INQUIRY data lack a field keeps them.
    CScannerDriver::InitCapabilities();
    m_pResolutionList = kLumetraResolutions;
    m_nKind = kKindLumetra;
    m_pHolderTable = s_HolderTable;
    m_nLinesRead = 0;
    m_nOutstandingLines = 0;
    m_nFirmwareLowest = 100;
    m_nFirmwareHighest = 9999;
    std::memset(m_nHorizontalList, 0, sizeof m_nHorizontalList);
    std::memset(m_nVerticalList, 0, sizeof m_nVerticalList);
    Identify();
    if (s_pFormatTable == nullptr)
        s_pFormatTable = new (std::nothrow) CFormatTable;
    if (s_pFormatTable != nullptr)
        m_pFormatTable = BuildFormatTable(kLumetraFormats, s_pFormatTable);
}

void CLumetraDriver::RebuildFormatTable()
{
    if (s_pFormatTable != nullptr)
        RebuildKeepingUserFormat(kLumetraFormats, s_pFormatTable);
}

void CLumetraDriver::SetDefaultSettings(CScanSettings* settings)
{
    struct Default {
        uint16_t id;
        int32_t value;
    };
    const Default kDefaults[] = {
        {kParamAutoMinimum, 0},
        {kParamAutoMaximum, 0},
        {kParamMinDensity, (int32_t)GetMinDensity(1)},
        {kParamMaxDensity, (int32_t)GetMaxDensity(1)},
        {kParamSharpness, 0},
        {kParamScreenRuling, 0},
        {kParamToneLow, 0},
        {kParamToneHigh, 100},
        {kParamPreviewTone, 65280},
        {kParamToneCode, 65280},
        {kParamGainRed, 100},
        {kParamGainGreen, 100},
        {kParamGainBlue, 100},
        {kParamBitsPerChannel, 8},
        {kParamBinary, 0},
        {kParamPreviewValue, 150},
        {kParamCameraPreview, 150},
        {kParamAutoMinimum, 1},
        {kParamAutoMaximum, 1},
        {kParamCameraValue, 0},
        {kParamPreviewFlag, 0},
    };
    for (const Default& d : kDefaults)
        settings->SetParamAllTypes(d.id, d.value);
}

uint32_t CLumetraDriver::GetLineOverhead()
{
    uint32_t mode = g_pScanSettings != nullptr ? g_pScanSettings->GetScanMode() : 0;
    return mode == 3 || mode == 4 ? 6 : 0;
}

uint32_t CLumetraDriver::ScanModeForImageType(int32_t imageType)
{
    if (imageType == kImageGrey)
        return 2;
    return imageType == kImageRgb || imageType == kImageCmyk ? 3 : 0;
}

uint16_t CLumetraDriver::UpdateScanGeometry()
{
    uint16_t result = UpdateSharedScanGeometry();
    // A camera has no opacity to report.
    if (result == kDriverOk)
        g_pScanSettings->m_WindowSummary.m_nWord[1] = 0;
    return result;
}

uint32_t CLumetraDriver::ClampResolutionX(uint32_t r)
{
    const uint32_t* list = m_nHorizontalList;
    // An empty list would answer 0 ppi, which every size computation divides by.
    if (list[0] == 0)
        return CScannerDriver::ClampResolutionX(r);
    if (r > list[0])
        return list[0];
    uint32_t i = 1;
    for (; list[i] != 0; ++i) {
        if (list[i] == r)
            return r;
        if (list[i] < r)
            return r - list[i] < list[i - 1] - r ? list[i] : list[i - 1];
    }
    return list[i - 1];
}

uint32_t CLumetraDriver::ClampResolutionY(uint32_t resolution) { return ClampResolutionX(resolution); }

uint16_t CLumetraDriver::HandleSense(const uint8_t* sense)
{
    if ((sense[2] & 0x20) != 0) {
        ReportMessage(kMsgIncorrectLength);
        return kDriverAborted;
    }
    uint32_t code = (uint32_t(sense[12]) << 8) | sense[13];
    switch (sense[2] & 0x0F) {
    case kSenseNoSense:
        return kDriverOk;
    case kSenseRecovered:
        ReportCameraSense(code);
        return kDriverOk;
    case kSenseUnitAttention:
        // Met again after the one repeat: the camera keeps resetting and the command never ran.
        ReportCameraSense(code);
        return kDriverAborted;
    case 2:
    case 3:
    case 4:
    case 5:
    case 7:
    case 9:
        ReportCameraSense(code);
        return kDriverAborted;
    case kSenseAbortedCommand:
        ReportCameraSense(code != 0 ? code : 0xFFFF);
        return kDriverAborted;
    default:
        return kDriverFailed;
    }
}

uint16_t CLumetraDriver::CheckResult(uint16_t result, const uint8_t* sense)
{
    if ((result & 0xFF) == kScsiCheckCondition && (result >> 8) == 0)
        return HandleSense(sense);
    return result;
}

uint16_t CLumetraDriver::SendLookupTables()
{
    if (g_pScsiChannel == nullptr || g_pScanSettings == nullptr)
        return kDriverFailed;
    uint16_t result = WaitReady(kReadyTimeout);
    if (result != kDriverOk)
        return result;
    CLumetraLut* lut = new (std::nothrow) CLumetraLut(g_pScanSettings->GetBitsPerChannel());
    if (lut == nullptr) {
        ReportMessage(kMsgNoMemory);
        return kDriverAborted;
    }
    int32_t type = g_pScanSettings->GetCurrentType();
    bool colour = type == kImageRgb || type == kImageCmyk;
    int first = colour ? 1 : 0;
    int last = colour ? 3 : 0;
    for (int c = first; c <= last && result == kDriverOk; ++c) {
        lut->SetChannel(colour ? c : 2);
        result = DownloadLut(lut, c);
        if (result != kDriverOk)
            break;
        auto send = [&] { return g_pScsiChannel->Send10(*lut, kDataTypeLut, 0, kCommandTimeout, kSenseBytes); };
        result = send();
        if (IsUnitAttention(result, lut->m_sense))
            result = send();
        result = CheckResult(result, lut->m_sense);
    }
    delete lut;
    return result;
}

// ---- automatic exposure ----

void CLumetraDriver::UpdateExposure()
{
    CScanSettings& s = *g_pScanSettings;
    int32_t quality = std::clamp<int32_t>(s.GetParam(kParamQuality), 0, 3);
    uint32_t opacity = DensityToOpacityPercent((uint32_t)std::max(s.GetParam(kParamMinDensity), 0));
    uint32_t value = (uint32_t)std::max(s.GetParam(kParamCameraPreview), 0);
    uint32_t e = kExposureFactor[quality] * value * opacity / 10000;
    e = std::clamp<uint32_t>(e, 90, 1000);
    s.SetParam(kParamCameraPreview, int32_t(e * 2 / 10 * 5));
    s.SetParam(kParamMinDensity, (int32_t)GetMinDensity(1));
    s.SetParam(kParamMaxDensity, (int32_t)GetMaxDensity(1));
    s.SetParamAllTypes(kParamAutoMinimum, 0);
    s.SetParamAllTypes(kParamAutoMaximum, 0);
}

uint16_t CLumetraDriver::RunPrescan(ScanProgressCallback progress, bool exposure)
{
    int32_t state = m_nState;
    s_bExposurePrescanAllowed = 0;
    m_nState = 0;
    uint16_t result = AutoPrescan(progress);
    if (exposure)
        UpdateExposure();
    s_bExposurePrescanAllowed = 1;
    m_nState = state;
    return result;
}

uint16_t CLumetraDriver::PrescanIfNeeded(CScanSettings*, ScanProgressCallback progress)
{
    if (g_pScanSettings == nullptr || s_bExposurePrescanAllowed == 0)
        return kDriverOk;
    const CScanSettings& s = *g_pScanSettings;
    bool wanted =
        s.GetParam(kParamAutoMinimum) != 0 || s.GetParam(kParamAutoMaximum) != 0 || s.GetParam(kParamCameraValue) == 0;
    if (m_nState == 1 && wanted)
        return RunPrescan(progress, true);
    if (m_nState == 2 && wanted && s.GetParam(kParamPreviewFlag) != 1)
        return RunPrescan(progress, false);
    return kDriverOk;
}
