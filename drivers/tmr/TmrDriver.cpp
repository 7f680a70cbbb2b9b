// Identification, capabilities, format table, the resolution list, the lookup tables, the
// reservation and the sense table of the TM-R family.

#include "drivers/tmr/TmrDriver.h"

#include "core/messages/MessageReporter.h"
#include "core/messages/TraceLog.h"
#include "core/scan/ScanServices.h"
#include "core/scsi/ScsiBuffer.h"
#include "core/scsi/ScsiChannel.h"
#include "core/settings/ScanSettings.h"
#include "core/util/ByteOrder.h"
#include "core/util/Clock.h"
#include "core/util/GlobalBlock.h"
#include "framework/App.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <string>

uint32_t CTmrDriver::s_ResolutionList[kResolutionListSize] = {20, 50, 80, 100, 200, 400, 65535, 0};
CFormatTable* CTmrDriver::s_pFormatTable = nullptr;

namespace {

constexpr uint32_t kCommandTimeout = 30000;
constexpr uint32_t kReadyTimeout = 60000;
constexpr int kSenseBytes = 32;
constexpr uint32_t kListEnd = 65535;
constexpr int kDeviceResolutions = 16;
constexpr uint16_t kFirmwareLowest = 100;
constexpr uint16_t kFirmwareHighest = 400;
constexpr uint8_t kImageTypesLineArtGreyRgb = 0x0D;
constexpr uint8_t kCapTmrFlags = 0x89;
constexpr uint8_t kCapTransparencyAndNegative = 0x14;
constexpr CDensityLimits kReflectiveDensity = {0, 0, 4000, 4000};
constexpr CDensityLimits kTransparencyDensity = {0, 0, 0, 4000};
constexpr uint8_t kDataTypeLut = 0x93;
constexpr uint32_t kLutEntries = 1024;
constexpr uint32_t kCorrectionFlags = 2;

constexpr int kMsgNoMemory = 3317;
constexpr int kMsgReservedCaption = 3374;
constexpr int kMsgReserved = 3375;
constexpr int kMsgRecovered = 3376;
constexpr int kMsgWrongLength = 3351;
constexpr int kMsgHardware = 3352;
constexpr int kMsgBadParameter = 3343;

enum : uint8_t {
    kSenseNoSense = 0,
    kSenseRecovered = 1,
    kSenseHardwareError = 4,
    kSenseIllegalRequest = 5,
    kSenseIncorrectLength = 0x20,  // byte 2
};

// Message id, original kind (0 reflective, 1 transparency), width, height, left, top (1/100 mm).
const CStaticFormatEntry kTmrFormats[] = {
    {3166, 0, 29700, 42000, 0, 0, 0, 0},
    {3167, 0, 21000, 29700, 0, 0, 0, 0},
    {3168, 0, 29700, 21000, 0, 0, 0, 0},
    {3169, 0, 10000, 15000, 0, 0, 0, 0},
    {3170, 0, 15000, 10000, 0, 0, 0, 0},
    {3171, 0, 12750, 17850, 0, 0, 0, 0},
    {3172, 0, 17850, 12750, 0, 0, 0, 0},
    {3173, 0, 13000, 18000, 0, 0, 0, 0},
    {3174, 0, 18000, 13000, 0, 0, 0, 0},
    {3192, 0, 21590, 27940, 0, 0, 0, 0},
    {3193, 0, 21590, 35560, 0, 0, 0, 0},
    {3175, 0, 99999, 99999, 0, 0, 0, 0},
    {3168, 1, 29700, 21000, 0, 0, 0, 0},
    {3167, 1, 21000, 29700, 0, 0, 0, 0},
    {3177, 1, 24800, 17000, 2700, 2700, 0, 0},
    {3176, 1, 17000, 24800, 6300, 0, 0, 0},
    {3187, 0, 21000, 29700, 0, 0, 0, 0},
    {0, 0, 0, 0, 0, 0, 0, 0},
};

// A bed word of the INQUIRY data is in 1/1000 inch.
uint16_t BedWord(const uint8_t* at) { return uint16_t(GetBe16(at) * 254 / 100); }

CResolutionRange RangeAt(const uint8_t* at) { return {uint16_t(GetBe16(at)), uint16_t(GetBe16(at + 2))}; }

// The vendor codes of the sense data that carry their own message, each giving 252; 0 for others.
int VendorSenseMessage(uint16_t code)
{
    switch (code) {
    case 0x9000:
        return 3413;
    case 0x2601:
    case 0x9002:
        return 3412;
    case 0x9004:
        return 3337;
    case 0x9006:
    case 0x9008:
    case 0x900A:
    case 0x900C:
    case 0x900E:
        return 3438;
    default:
        return 0;
    }
}

}  // namespace

CScannerDriver* CreateTmrDriver() { return new (std::nothrow) CTmrDriver; }

CTmrDriver::~CTmrDriver()
{
    ReleaseSharedFormatTable(s_pFormatTable);
    m_pFormatTable = nullptr;
}

void CTmrDriver::InitCapabilities()
{
    m_nKind = kKindTmr;
    m_pResolutionList = s_ResolutionList;
    m_nLinesRead = 0;
    m_nFirmwareLowest = kFirmwareLowest;
    m_nFirmwareHighest = kFirmwareHighest;
    Identify();
    if (s_pFormatTable == nullptr)
        s_pFormatTable = new (std::nothrow) CFormatTable;
    if (s_pFormatTable != nullptr)
        m_pFormatTable = BuildFormatTable(kTmrFormats, s_pFormatTable);
}

void CTmrDriver::RebuildFormatTable()
{
    if (s_pFormatTable != nullptr)
        RebuildKeepingUserFormat(kTmrFormats, s_pFormatTable);
}

uint32_t CTmrDriver::PreProcessLines(uint8_t*, uint32_t, CScanSettings*) { return 0; }

uint16_t CTmrDriver::UpdateScanGeometry()
{
    uint16_t result = UpdateSharedScanGeometry();
    // Line art is the host's threshold of the colour data: set bits are black.
    if (result == kDriverOk)
        m_bLineArt = 1;
    return result;
}

// The device lists up to 16 resolutions, highest first, ended by a 0 word unless all 16 are used.
// The list always ends with 65535 and 0; a device that lists none leaves range 1's limits.
void CTmrDriver::ReadResolutionList(const uint8_t* inquiry)
{
    int count = 0;
    while (count < kDeviceResolutions && GetBe16(inquiry + 110 + 2 * count) != 0) {
        s_ResolutionList[count] = GetBe16(inquiry + 110 + 2 * count);
        ++count;
    }
    std::reverse(s_ResolutionList, s_ResolutionList + count);
    if (count == 0) {
        s_ResolutionList[count++] = m_ResolutionRange[0].m_nMinimum;
        s_ResolutionList[count++] = m_ResolutionRange[0].m_nMaximum;
        if (g_pTraceLog != nullptr)
            g_pTraceLog->Printf("TM-R lists no resolutions; %u and %u used", s_ResolutionList[0], s_ResolutionList[1]);
    }
    s_ResolutionList[count++] = kListEnd;
    std::fill(s_ResolutionList + count, s_ResolutionList + kResolutionListSize, 0u);
}

uint16_t CTmrDriver::Identify()
{
    if (g_pScsiChannel == nullptr)
        return kDriverFailed;
    CLongInquiryBuffer inquiry;
    uint16_t result = g_pScsiChannel->Inquiry(inquiry, kCommandTimeout, kSenseBytes);
    if (result != kDriverOk)
        return result;
    const uint8_t* data = inquiry.GetData();
    SetVendorName(inquiry.GetVendor());
    SetProductName(inquiry.GetProduct());
    SetRevisionText(inquiry.GetRevision());

    m_ResolutionRange[0] = RangeAt(data + 96);
    m_ResolutionRange[1] = RangeAt(data + 100);
    m_ResolutionRange[2] = RangeAt(data + 104);
    m_ResolutionRange[3] = RangeAt(data + 142);
    m_nMaxResolutionForType = 4u * m_ResolutionRange[0].m_nMaximum;
    ReadResolutionList(data);

    m_ReflectiveBed = {BedWord(data + 180), BedWord(data + 182), BedWord(data + 184), BedWord(data + 186)};
    m_TransparencyBed = {BedWord(data + 188), BedWord(data + 190), BedWord(data + 192), BedWord(data + 194)};
    for (int i = 0; i < 7; ++i)
        m_nCapabilityWords[i] = uint16_t(GetBe16(data + 196 + 2 * i));
    m_nCapabilityWords[7] = uint16_t(GetBe16(data + 218));
    m_nReserved = GetBe32(data + 220);
    m_nBufferSize = GetBe16(data + 238);
    m_ReflectiveDensity = kReflectiveDensity;
    m_TransparencyDensity = kTransparencyDensity;
    m_nImageTypeFlags = kImageTypesLineArtGreyRgb;
    m_nCapabilityFlags = kCapTmrFlags;
    std::memset(m_nFurtherFlags, 0, sizeof m_nFurtherFlags);

    // The model section is named by the whole product field, trailing blanks included.
    std::string section(reinterpret_cast<const char*>(data + 16), 16);
    bool disabled = AfxGetApp()->GetProfileInt(section.c_str(), "DisableTrans", 0) == 1;
    if (!disabled && m_TransparencyBed.m_nWidth != 0 && m_TransparencyBed.m_nHeight != 0)
        m_nCapabilityFlags |= kCapTransparencyAndNegative;
    return kDriverOk;
}

uint32_t CTmrDriver::ClampResolutionX(uint32_t r)
{
    if (g_pScanSettings != nullptr) {
        const CScanSettings& settings = *g_pScanSettings;
        int32_t type = settings.GetCurrentType();
        int32_t ruling = settings.GetParam(kParamScreenRuling);
        if (type != kImageLineArt && type != kImageHalftone && ruling != 0)
            r = 4 * (uint32_t)ruling;
    }
    const uint32_t* list = m_pResolutionList;
    if (list == nullptr || list[0] == kListEnd || list[0] == 0)
        return r;
    uint32_t chosen = list[0];
    for (int i = 0; i < kResolutionListSize && list[i] != kListEnd && list[i] != 0; ++i) {
        if (list[i] <= r)
            chosen = list[i];
    }
    return chosen;
}

uint32_t CTmrDriver::ClampResolutionY(uint32_t resolution) { return ClampResolutionX(resolution); }

int CTmrDriver::IsLutRising(uint32_t) { return 1; }

uint32_t CTmrDriver::ScanModeForImageType(int32_t imageType)
{
    return imageType >= kImageLineArt && imageType <= kImageCmyk ? 3 : 0;
}

uint16_t CTmrDriver::PrepareColourCorrection()
{
    CFilmCorrection film;
    film.baseFlags = kCorrectionFlags;
    return PrepareFilmColourCorrection(film);
}

uint16_t CTmrDriver::FillLutBlock(uint8_t* block, int channel)
{
    CGlobalBlock work(kLutEntries * sizeof(uint16_t), 0);
    if (block == nullptr || work.m_pData == nullptr) {
        work.Free();
        ReportMessage(kMsgNoMemory);
        return kDriverAborted;
    }
    uint16_t* table = static_cast<uint16_t*>(work.m_pData);
    block[0] = uint8_t(channel);
    block[1] = 0;
    block[2] = 10;
    block[3] = 8;
    block[4] = block[5] = 0;
    BuildScannerLut(table, kLutEntries, 255, channel, 1000);
    for (uint32_t i = 0; i < kLutEntries; ++i)
        block[6 + i] = uint8_t(255 - (table[i] & 0xFF));
    work.Free();
    return kDriverOk;
}

uint16_t CTmrDriver::SendLookupTables()
{
    if (g_pScanSettings == nullptr || g_pScsiChannel == nullptr)
        return kDriverFailed;
    CScsiByteBuffer block(kLutBlockBytes);
    if (block.GetData() == nullptr) {
        ReportMessage(kMsgNoMemory);
        return kDriverAborted;
    }
    uint16_t result = WaitReady(kReadyTimeout);
    if (result != kDriverOk)
        return result;
    uint32_t mode = g_pScanSettings->GetScanMode();
    bool colour = mode == 3 || mode == 4;
    for (int channel = colour ? 1 : 0; channel <= (colour ? 3 : 0); ++channel) {
        result = FillLutBlock(block.GetData(), channel);
        if (result == kDriverOk)
            result = g_pScsiChannel->Send10(block, kDataTypeLut, 0, kCommandTimeout, kSenseBytes);
        if (result != kDriverOk)
            return result;
    }
    return kDriverOk;
}

uint16_t CTmrDriver::HandleSense(const uint8_t* sense)
{
    if ((sense[2] & kSenseIncorrectLength) != 0) {
        ReportMessage(kMsgWrongLength);
        return kDriverAborted;
    }
    uint16_t code = uint16_t(sense[12] << 8 | sense[13]);
    int message = VendorSenseMessage(code);
    if (message != 0) {
        ReportMessage(message, (unsigned long)code);
        return kDriverAborted;
    }
    switch (sense[2] & 0x0F) {
    case kSenseNoSense:
        return kDriverOk;
    case kSenseRecovered:
        ReportMessage(kMsgRecovered);
        return kDriverOk;
    case kSenseHardwareError:
        ReportMessage(kMsgHardware);
        return kDriverAborted;
    case kSenseIllegalRequest:
        ReportMessage(kMsgBadParameter);
        return kDriverAborted;
    default:
        return kDriverFailed;
    }
}

// Once the period has passed since the last question (or the first try): a batch start, with
// nobody to ask, gives up and tells the scanner is held elsewhere (refusal); an interactive one asks
// whether to go on. 0 to go on, 252 when the user cancels.
uint16_t CTmrDriver::AskAboutReservation(uint32_t& deadline, uint16_t refusal)
{
    ReportScanStatus(kMsgReserved, 0);
    if (!ClockReached(deadline))
        return kDriverOk;
    if (!g_bInteractive)
        return refusal;
    if (AskQuestion(kMsgReserved, kMsgReservedCaption, MB_RETRYCANCEL | MB_ICONSTOP) != IDRETRY)
        return kDriverAborted;
    deadline = MillisecondClock() + m_nQuestionPeriodMs;
    return kDriverOk;
}

// A device held by another host, busy, or reporting a passing condition is tried again once a
// pause; every period the user decides whether to wait on, and a batch start stops at the first.
uint16_t CTmrDriver::ReserveDevice()
{
    if (g_pScsiChannel == nullptr)
        return kDriverFailed;
    uint32_t deadline = MillisecondClock() + (g_bInteractive ? m_nQuestionPeriodMs : m_nBatchReserveLimitMs);
    for (;;) {
        if (g_UserAbort != 0)
            return kDriverAborted;
        CScsiByteBuffer none(0);
        uint16_t result = g_pScsiChannel->ReserveUnit(none, kCommandTimeout, kSenseBytes);
        if (result == kDriverOk || result == kDriverAborted || result == kDriverFailed)
            return result;
        if ((result >> 8) != 0)
            return kDriverFailed;
        uint8_t status = uint8_t(result & 0xFF);
        // A device that stays held or busy is another initiator's: the scan job says so.
        uint16_t refusal = kScsiReservationConflict;
        if (status == kScsiCheckCondition) {
            result = HandleSense(none.m_sense);
            if (result == kDriverAborted || result == kDriverFailed)
                return result;
            refusal = kDriverFailed;
        } else if (status != kScsiBusy && status != kScsiReservationConflict) {
            return kDriverFailed;
        }
        result = AskAboutReservation(deadline, refusal);
        if (result != kDriverOk)
            return result;
        PumpMessages(m_nRetryPauseMs);
    }
}
