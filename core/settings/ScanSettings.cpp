#include "core/settings/ScanSettings.h"

#include <cstring>

CScanSettings* g_pScanSettings = nullptr;

namespace {

const char kNoProfile[] = "None";

// Default sample format by image type: channels, bits per channel, binary flag.
const int32_t kDefaultChannels[kImageTypeCount] = {1, 1, 1, 3, 4};
const int32_t kDefaultBits[kImageTypeCount] = {1, 1, 8, 8, 8};
const int32_t kDefaultBinary[kImageTypeCount] = {1, 1, 0, 0, 0};

bool IsValidType(int type) { return type >= 0 && type < kImageTypeCount; }

void CopyName(char* target, const char* text, const char* replacement)
{
    if (text == nullptr || strlen(text) >= (size_t)kNameSize)
        text = replacement;
    strcpy(target, text);
}

}  // namespace

CScanSettings::CScanSettings()
{
    memset(&m_WindowSummary, 0, sizeof m_WindowSummary);
    // The names and the correction block are filled by the record's creation, but a record must
    // never hold garbage that a settings file would then store.
    memset(&m_Slot, 0, sizeof m_Slot);
    m_Slot.m_nMagic = kSettingsMagic;
}

CScanSettings& CScanSettings::Assign(const CScanSettings& source)
{
    *this = source;
    return *this;
}

int32_t CScanSettings::GetParam(uint16_t id) const
{
    return GetParamForType(GetCurrentType(), id);
}

int32_t CScanSettings::GetParamForType(int type, uint16_t id) const
{
    if (!IsValidType(type) || id >= kParamCount)
        return 0;
    return m_Slot.m_nParams[type][id];
}

void CScanSettings::SetProfileName(int index, const char* text)
{
    if (index >= 0 && index < kProfileNameCount)
        CopyName(m_Slot.m_szProfileNames[index], text, kNoProfile);
}

void CScanSettings::SetFlavorName(int type, const char* text)
{
    if (IsValidType(type))
        CopyName(m_Slot.m_szFlavorNames[type], text, "");
}

void CScanSettings::SetLinkName(int type, const char* text)
{
    if (IsValidType(type))
        CopyName(m_Slot.m_szLinkNames[type], text, "");
}

void CScanSettings::SetFilmTypeName(int type, const char* text)
{
    if (IsValidType(type))
        CopyName(m_Slot.m_szFilmTypeNames[type], text, "");
}

void CScanSettings::SetCurrentFlavorName(const char* text) { SetFlavorName(GetCurrentType(), text); }
void CScanSettings::SetCurrentLinkName(const char* text) { SetLinkName(GetCurrentType(), text); }
void CScanSettings::SetCurrentFilmTypeName(const char* text) { SetFilmTypeName(GetCurrentType(), text); }

const char* CScanSettings::GetProfileName(int index) const
{
    return index >= 0 && index < kProfileNameCount ? m_Slot.m_szProfileNames[index] : "";
}

const char* CScanSettings::GetFlavorName(int type) const
{
    return IsValidType(type) ? m_Slot.m_szFlavorNames[type] : "";
}

const char* CScanSettings::GetLinkName(int type) const
{
    return IsValidType(type) ? m_Slot.m_szLinkNames[type] : "";
}

const char* CScanSettings::GetFilmTypeName(int type) const
{
    return IsValidType(type) ? m_Slot.m_szFilmTypeNames[type] : "";
}

void CScanSettings::UpdateSampleFormat(uint32_t scanMode)
{
    m_nScanMode = scanMode;
    m_nBitsPerChannel = (uint32_t)GetParam(kParamBitsPerChannel);
    m_bBinary = GetParam(kParamBinary);
    if (scanMode == 0 || scanMode == 1) {
        m_nChannels = 1;
        m_nBitsPerChannel = 1;
        return;
    }
    if (scanMode > 4)
        return;
    m_nChannels = scanMode == 2 ? 1 : scanMode;
    if (m_nBitsPerChannel < 8)
        m_nBitsPerChannel = 8;
}

void CScanSettings::ResetDerivedGeometry()
{
    memset(&m_WindowSummary, 0, sizeof m_WindowSummary);
    if (GetParam(kParamBitsPerChannel) == 0 || GetParam(kParamChannels) == 0) {
        for (uint16_t t = 0; t < kImageTypeCount; ++t) {
            SetParamForType(t, kParamChannels, kDefaultChannels[t]);
            SetParamForType(t, kParamBinary, kDefaultBinary[t]);
            SetParamForType(t, kParamBitsPerChannel, kDefaultBits[t]);
        }
    }
    m_nScanMode = 0;
    m_nPixelsPerLine = 0;
    m_nLineCount = 0;
    m_nBytesPerLine = 0;
    m_bBinary = GetParam(kParamBinary);
    m_nChannels = (uint32_t)GetParam(kParamChannels);
    m_nBitsPerChannel = (uint32_t)GetParam(kParamBitsPerChannel);
    m_bScanStateA = 0;
}
