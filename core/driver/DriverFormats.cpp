// Format tables, the user-defined format, resolution and density limits and the shared scan
// geometry of the driver base.

#include "core/driver/ScannerDriver.h"

#include "core/messages/MsgString.h"
#include "core/settings/ScanSettings.h"
#include "core/settings/SettingsFile.h"
#include "core/util/Numeric.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr uint16_t kMsgUserFormat = 3187;

bool IsEndEntry(const CFormatEntry& entry) { return entry.m_strName.IsEmpty(); }

int32_t CurrentParam(uint16_t id) { return g_pScanSettings != nullptr ? g_pScanSettings->GetParam(id) : 0; }

bool NeutralGains()
{
    return CurrentParam(kParamGainRed) == 100 && CurrentParam(kParamGainGreen) == 100 &&
        CurrentParam(kParamGainBlue) == 100;
}

// From a static entry or from another runtime entry: every field but the name.
template <class Entry>
void CopyNumbers(const Entry& from, CFormatEntry& to)
{
    to.m_nKind = from.m_nKind;
    to.m_nWidth = from.m_nWidth;
    to.m_nHeight = from.m_nHeight;
    to.m_nOffsetX = from.m_nOffsetX;
    to.m_nOffsetY = from.m_nOffsetY;
    to.m_nHolder = from.m_nHolder;
    to.m_nExtra = from.m_nExtra;
}

void ClipToBed(CFormatEntry& entry, const CBedArea& bed)
{
    entry.m_nWidth = (int32_t)std::min<uint32_t>((uint32_t)entry.m_nWidth, bed.m_nWidth);
    entry.m_nHeight = (int32_t)std::min<uint32_t>((uint32_t)entry.m_nHeight, bed.m_nHeight);
    entry.m_nOffsetX += bed.m_nOffsetX;
    entry.m_nOffsetY += bed.m_nOffsetY;
}

}  // namespace

void CScannerDriver::CopyFormatTable(const CStaticFormatEntry* staticTable, CFormatTable* table)
{
    int i = 0;
    // The last runtime entry stays for the end entry.
    for (; staticTable[i].m_nMessageId != 0 && i < kFormatTableEntries - 1; ++i) {
        const CStaticFormatEntry& from = staticTable[i];
        CFormatEntry& to = table->m_Entries[i];
        to.m_strName = CMsgString(from.m_nMessageId);
        CopyNumbers(from, to);
    }
    table->m_Entries[i] = CFormatEntry();
}

CFormatTable* CScannerDriver::BuildFormatTable(const CStaticFormatEntry* staticTable, CFormatTable* table)
{
    CopyFormatTable(staticTable, table);
    for (CFormatEntry& entry : table->m_Entries) {
        if (entry.m_nWidth == 0 || entry.m_nHeight == 0)
            break;
        ClipToBed(entry, entry.m_nKind != 0 ? m_TransparencyBed : m_ReflectiveBed);
    }
    return table;
}

void CScannerDriver::RebuildFormatTable()
{
    if (m_pFormatTable != nullptr)
        RebuildKeepingUserFormat(s_StaticFormats, m_pFormatTable);
}

void CScannerDriver::RebuildKeepingUserFormat(const CStaticFormatEntry* staticTable, CFormatTable* table)
{
    // Found by name, not by its place in the static table: a family's own entries (film holders)
    // may stand before it in the built table.
    const CMsgString userName(kMsgUserFormat);
    CFormatEntry remembered;
    bool haveUserEntry = false;
    for (const CFormatEntry& entry : table->m_Entries) {
        if (IsEndEntry(entry))
            break;
        if (!haveUserEntry && entry.m_strName == userName) {
            CopyNumbers(entry, remembered);
            haveUserEntry = true;
        }
    }
    m_pFormatTable = BuildFormatTable(staticTable, table);
    if (!haveUserEntry || m_pFormatTable == nullptr)
        return;
    for (CFormatEntry& entry : m_pFormatTable->m_Entries) {
        if (IsEndEntry(entry))
            break;
        if (entry.m_strName == userName)
            CopyNumbers(remembered, entry);
    }
}

void CScannerDriver::SelectUserFormat()
{
    if (m_pFormatTable == nullptr || g_pScanSettings == nullptr)
        return;
    CMsgString userName(kMsgUserFormat);
    if (userName.IsEmpty())
        return;
    for (const CFormatEntry& entry : m_pFormatTable->m_Entries) {
        if (IsEndEntry(entry))
            return;
        if (entry.m_strName.Find(userName) < 0)
            continue;
        g_pScanSettings->SetParam(kParamUserKind, entry.m_nKind);
        g_pScanSettings->SetParam(kParamUserWidth, entry.m_nWidth);
        g_pScanSettings->SetParam(kParamUserHeight, entry.m_nHeight);
        g_pScanSettings->SetParam(kParamUserOffsetX, entry.m_nOffsetX);
        g_pScanSettings->SetParam(kParamUserOffsetY, entry.m_nOffsetY);
        g_pScanSettings->SetParam(kParamUserHolder, entry.m_nHolder);
        return;
    }
}

void CScannerDriver::StoreUserFormat()
{
    if (m_pFormatTable == nullptr || g_pScanSettings == nullptr)
        return;
    CMsgString userName(kMsgUserFormat);
    if (userName.IsEmpty())
        return;
    const CScanSettings& settings = *g_pScanSettings;
    for (CFormatEntry& entry : m_pFormatTable->m_Entries) {
        if (IsEndEntry(entry))
            return;
        if (entry.m_strName.Find(userName) < 0)
            continue;
        entry.m_nKind = settings.GetParam(kParamUserKind) != 0 ? 1 : 0;
        entry.m_nWidth = settings.GetParam(kParamUserWidth);
        entry.m_nHeight = settings.GetParam(kParamUserHeight);
        entry.m_nOffsetX = settings.GetParam(kParamUserOffsetX);
        entry.m_nOffsetY = settings.GetParam(kParamUserOffsetY);
        entry.m_nHolder = settings.GetParam(kParamUserHolder);
    }
}

uint32_t CScannerDriver::ClampResolutionX(uint32_t resolution)
{
    const CResolutionRange& range = m_ResolutionRange[0];
    return std::clamp<uint32_t>(resolution, range.m_nMinimum, std::max(range.m_nMinimum, range.m_nMaximum));
}

uint32_t CScannerDriver::ClampResolutionY(uint32_t resolution)
{
    const CResolutionRange& range = m_ResolutionRange[1];
    return std::clamp<uint32_t>(resolution, range.m_nMinimum, std::max(range.m_nMinimum, range.m_nMaximum));
}

uint32_t CScannerDriver::GetOptimalResolution(int32_t formatIndex)
{
    if (m_pFormatTable == nullptr || formatIndex < 0 || formatIndex >= kFormatTableEntries)
        return ClampResolutionX(0);
    const CFormatEntry& entry = m_pFormatTable->m_Entries[formatIndex];
    // An empty format (the end entry, or a user format of no size) has no pixels to fit: the
    // smallest resolution the device offers.
    double area = (double)(uint32_t)entry.m_nWidth * (double)(uint32_t)entry.m_nHeight;
    if (area <= 0)
        return ClampResolutionX(0);
    double exact = std::sqrt((double)g_PreviewBufferBytes / area) * 2540.0;
    uint32_t r = exact >= 4294967295.0 ? 0xFFFFFFFFu : (uint32_t)exact;
    uint32_t c = ClampResolutionX(r);
    if ((uint64_t)110 * c / 100 < r || (uint64_t)90 * c / 100 > r)
        return r;
    return c;
}

uint32_t CScannerDriver::GetMinDensityCeiling(int32_t flag) const
{
    int32_t original = CurrentParam(kParamOriginal);
    if (original < 0 || original > 2)
        return m_ReflectiveDensity.m_nMinimumCeiling;
    const CDensityLimits& limits = DensityFor(original);
    if (flag != 0)
        return std::max<uint32_t>(limits.m_nMinimumCeiling, 1000);
    if (original == 2 || NeutralGains())
        return limits.m_nMinimumCeiling;
    return limits.m_nMinimum;
}

uint32_t CScannerDriver::GetMaxDensityFloor(int32_t flag) const
{
    int32_t original = CurrentParam(kParamOriginal);
    if (original < 0 || original > 2)
        return m_ReflectiveDensity.m_nMaximumFloor;
    const CDensityLimits& limits = DensityFor(original);
    if (flag != 0)
        return 0;
    if (original == 2 || NeutralGains())
        return limits.m_nMaximumFloor;
    return limits.m_nMaximum;
}

uint16_t CScannerDriver::UpdateSharedScanGeometry()
{
    if (g_pScanSettings == nullptr)
        return kDriverFailed;
    CScanSettings& settings = *g_pScanSettings;
    uint32_t mode = ScanModeForImageType(settings.GetParam(kParamImageType));
    settings.UpdateSampleFormat(mode);
    CWindowSummary& summary = settings.m_WindowSummary;
    summary.m_nByte1 = (uint8_t)settings.GetParam(kParamWindowSummaryA);
    summary.m_nByte2 = (uint8_t)settings.GetParam(kParamWindowSummaryB);
    summary.m_nWord[0] = 0;
    summary.m_nWord[1] = (uint16_t)DensityToOpacityPercent((uint32_t)settings.GetParam(kParamMinDensity));
    summary.m_nWord[2] = 0;
    summary.m_nWord[3] = (uint16_t)settings.GetParam(kParamOutputBits);
    summary.m_nWord[4] = (uint16_t)settings.GetParam(kParamWindowSummaryC);
    summary.m_nWord[5] = 0;
    return kDriverOk;
}

void CScannerDriver::TakeStatusBlock(const uint8_t* block)
{
    auto be16 = [block](int at) { return uint16_t((block[at] << 8) | block[at + 1]); };
    CScanSettings& settings = *g_pScanSettings;
    settings.m_nPixelsPerLine = be16(8);
    settings.m_nLineCount = be16(10);
    settings.m_nBytesPerLine = be16(12);
    CWindowSummary& summary = settings.m_WindowSummary;
    summary.m_nWord[0] = be16(14);
    summary.m_nWord[1] = be16(30);
    summary.m_nWord[2] = be16(32);
    summary.m_nWord[3] = be16(34);
    summary.m_nByte1 = block[36];
    summary.m_nByte2 = block[37];
    summary.m_nWord[4] = be16(38);
}
