#include "core/settings/SettingsFile.h"

#include "core/driver/ScannerDriver.h"
#include "core/messages/MessageReporter.h"
#include "core/messages/ProgramDirectory.h"
#include "core/scan/ShellServices.h"
#include "core/util/ScopedFile.h"
#include "framework/App.h"

#include <cstring>
#include <vector>

uint32_t g_PreviewBufferBytes = 131072;
int32_t g_bSimplifiedMode = 0;

namespace {

const char kGeneral[] = "General";
const char kPreview[] = "Preview";
const char kSelections[] = "Selections";
constexpr uint32_t kDefaultPreviewKilobytes = 128;
constexpr uint32_t kUnsetSlot = 255;
// Slots above this can never be loaded: the kind word has 32 bits.
constexpr uint32_t kHighestSlot = 31;

enum SlotRead { kSlotRead, kSlotEmpty, kSlotShort, kSlotForeign };

int ProfileInt(const char* section, const char* key, int defaultValue)
{
    return (int)AfxGetApp()->GetProfileInt(section, key, defaultValue);
}

void WriteProfileInt(const char* section, const char* key, int value)
{
    AfxGetApp()->WriteProfileInt(section, key, value);
}

CString ResolvePath(const char* path)
{
    if (strchr(path, '\\') != nullptr)
        return CString(path);
    return ProgramDirectory() + path;
}

uint32_t CurrentKind()
{
    return g_pScannerDriver != nullptr ? g_pScannerDriver->m_nKind : kKindBareDriver;
}

SlotRead ReadSlot(const CString& path, uint32_t slotIndex, CSettingsSlot& slot)
{
    CScopedFile file;
    if (!file.Open(path, GENERIC_READ, OPEN_EXISTING))
        return kSlotEmpty;
    memset(&slot, 0, sizeof slot);
    long got = file.ReadAt(slotIndex * kSettingsSlotSize, &slot, kSettingsSlotSize);
    // A file that ends before the slot never had it written.
    if (got <= 0)
        return kSlotEmpty;
    if (got < (long)sizeof slot.m_nMagic)
        return kSlotShort;
    if (slot.m_nMagic == 0)
        return kSlotEmpty;
    if (slot.m_nMagic != kSettingsMagic)
        return kSlotForeign;
    return got < (long)kSettingsSlotSize ? kSlotShort : kSlotRead;
}

bool IsTerminated(const char (*names)[kNameSize], int count)
{
    for (int i = 0; i < count; ++i)
        if (memchr(names[i], 0, kNameSize) == nullptr)
            return false;
    return true;
}

// Ids whose values index a table or choose among a fixed set, with their highest valid value.
struct CRange {
    uint16_t id;
    int32_t highest;
};

const CRange kIndexRanges[] = {
    {kParamImageType, kImageCmyk},
    {kParamLengthUnit, 4},
    {kParamOriginal, 2},
    {kParamRangeMode, 6},
    {kParamFormatIndex, kFormatTableEntries - 2},  // the last entry always ends the table
    {kParamQuality, 3},
    {kParamValueDisplay, 3},
    {kParamBitsPerChannel, 16},
    {kParamChannels, 4},
    {kParamFlavourState, 2},
};

void ApplyTarvosetFrame(CScanSettings& settings)
{
    int frameH = ProfileInt(kPreview, "FrameH", 1000);
    int frameW = ProfileInt(kPreview, "FrameW", 1000);
    int frameY = ProfileInt(kPreview, "FrameY", 0);
    int frameX = ProfileInt(kPreview, "FrameX", 0);
    // The frame is kept in 1/50 mm.
    settings.SetParamAllTypes(kParamSelLeft, 2 * frameX);
    settings.SetParamAllTypes(kParamSelRight, 2 * (frameX + frameW));
    settings.SetParamAllTypes(kParamSelTop, 2 * frameY);
    settings.SetParamAllTypes(kParamSelBottom, 2 * (frameY + frameH));
    settings.SetParamAllTypes(kParamViewFlag, 1);
    settings.SetParamAllTypes(kParamScale, ProfileInt(kSelections, "Scale", 100));
    settings.SetParamAllTypes(kParamToneCode, 0xFF04);
    settings.ClampSelection();
}

// Values that must not survive a restart, or that an older program may have stored out of range.
void RepairLoadedValues(CScanSettings& settings, int32_t colourManagement)
{
    settings.SetParamAllTypes(kParamColourManagement, colourManagement);
    if (settings.GetParam(kParamClipHigh) == 0)
        settings.SetParamAllTypes(kParamClipHigh, 500);
    if (settings.GetParam(kParamClipLow) == 0)
        settings.SetParamAllTypes(kParamClipLow, 500);
    if ((uint32_t)settings.GetParam(kParamMirror) > 3)
        settings.SetParamAllTypes(kParamMirror, 0);
    if (settings.GetParam(kParamCameraPreview) == 0)
        settings.SetParamAllTypes(kParamCameraPreview, 150);
    if (settings.GetParam(kParamPreviewValue) == 0)
        settings.SetParamAllTypes(kParamPreviewValue, 150);
    if ((uint32_t)settings.GetParam(kParamCameraState) > 1)
        settings.SetParamAllTypes(kParamCameraState, 0);
    int32_t rotation = settings.GetParam(kParamRotation);
    if (rotation != 90 && rotation != 180 && rotation != 270)
        settings.SetParamAllTypes(kParamRotation, 0);
}

// False when the file's slot for this scanner was refused (reported); a file without that slot is
// no refusal: one file serves several scanners.
bool LoadSlotInto(CScanSettings& settings, const CString& path)
{
    CSettingsSlot slot;
    switch (ReadSlot(path, SettingsSlotForKind(CurrentKind()), slot)) {
    case kSlotEmpty:
        return true;
    case kSlotShort:
    case kSlotForeign:
        ReportMessage(kMsgSettingsFileRefused);
        return false;
    case kSlotRead:
        break;
    }
    if (!IsValidSettingsSlot(slot)) {
        ReportMessage(kMsgSettingsFileRefused);
        return false;
    }
    settings.Slot() = slot;
    return true;
}

uint32_t SlotForSave()
{
    uint32_t slot = (uint32_t)ProfileInt(kGeneral, "SaveForScanner", kUnsetSlot);
    return slot <= kHighestSlot ? slot : SettingsSlotForKind(CurrentKind());
}

// The whole file as it is now; false when it exists but cannot be read (another process holds it).
bool ReadWholeFile(const CString& path, std::vector<char>& content)
{
    CScopedFile file;
    if (!file.Open(path, GENERIC_READ, OPEN_EXISTING)) {
        DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
    }
    return file.ReadAll(content);
}

bool WriteWholeFile(const CString& path, const std::vector<char>& content)
{
    CScopedFile file;
    if (!file.Open(path, GENERIC_WRITE, CREATE_ALWAYS))
        return false;
    bool ok = file.WriteAll(content.data(), (uint32_t)content.size());
    return file.Close() && ok;
}

// The new file is written beside the old one and only then put in its place.
bool StoreSlot(const CString& path, uint32_t slotIndex, const CSettingsSlot& slot)
{
    std::vector<char> content;
    if (!ReadWholeFile(path, content))
        return false;
    size_t offset = (size_t)slotIndex * kSettingsSlotSize;
    if (content.size() < offset + kSettingsSlotSize)
        content.resize(offset + kSettingsSlotSize, 0);
    memcpy(content.data() + offset, &slot, kSettingsSlotSize);
    CString temporary = path + ".tmp";
    if (WriteWholeFile(temporary, content) &&
        MoveFileExA(temporary, path, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return true;
    DeleteFileA(temporary);
    return false;
}

void SaveTarvosetValues(const CScanSettings& settings)
{
    uint32_t left = (uint32_t)settings.GetParam(kParamSelLeft) / 2;
    uint32_t top = (uint32_t)settings.GetParam(kParamSelTop) / 2;
    WriteProfileInt(kPreview, "FrameX", (int)left);
    WriteProfileInt(kPreview, "FrameY", (int)top);
    WriteProfileInt(kPreview, "FrameW", (int)((uint32_t)settings.GetParam(kParamSelRight) / 2 - left));
    WriteProfileInt(kPreview, "FrameH", (int)((uint32_t)settings.GetParam(kParamSelBottom) / 2 - top));
    if (int32_t choices[4] = {}; Shell().GetViewSelections(choices)) {
        WriteProfileInt(kSelections, "Color", choices[0]);
        WriteProfileInt(kSelections, "Medium", choices[1]);
        WriteProfileInt(kSelections, "Output", choices[2]);
        WriteProfileInt(kSelections, "Detect", choices[3]);
    }
    WriteProfileInt(kSelections, "Scale", settings.GetParam(kParamScale));
}

}  // namespace

uint32_t SettingsSlotForKind(uint32_t kind)
{
    uint32_t slot = 0;
    while (slot < 32 && (uint64_t{1} << slot) < kind)
        ++slot;
    return slot;
}

bool IsValidSettingsSlot(const CSettingsSlot& slot)
{
    if (slot.m_nMagic != kSettingsMagic)
        return false;
    for (int t = 0; t < kImageTypeCount; ++t) {
        const int32_t* block = slot.m_nParams[t];
        if (block[kParamImageType] != slot.m_nParams[0][kParamImageType])
            return false;
        for (const CRange& range : kIndexRanges)
            if (block[range.id] < 0 || block[range.id] > range.highest)
                return false;
    }
    return IsTerminated(slot.m_szFlavorNames, kImageTypeCount) && IsTerminated(slot.m_szLinkNames, kImageTypeCount) &&
        IsTerminated(slot.m_szFilmTypeNames, kImageTypeCount) && IsTerminated(slot.m_szProfileNames, kProfileNameCount);
}

SettingsFileContent ExamineSettingsFile(const char* path)
{
    const CString fullPath = ResolvePath(path);
    CScopedFile file;
    if (!file.Open(fullPath, GENERIC_READ, OPEN_EXISTING))
        return kSettingsFileTooShort;
    CSettingsSlot first;
    if (file.ReadAt(0, &first, kSettingsSlotSize) < (long)kSettingsSlotSize)
        return kSettingsFileTooShort;
    file.Close();
    CSettingsSlot slot;
    return ReadSlot(fullPath, SettingsSlotForKind(CurrentKind()), slot) == kSlotEmpty ? kSettingsFileWithoutSlot
                                                                                      : kSettingsFileWithSlot;
}

bool LoadSettings(const char* path)
{
    if (g_pScanSettings == nullptr)
        return true;
    CScanSettings& settings = *g_pScanSettings;
    int32_t colourManagement = settings.GetParam(kParamColourManagement);
    uint32_t previewKilobytes = (uint32_t)ProfileInt(kGeneral, "PreviewBuffer", 0);
    g_PreviewBufferBytes = (previewKilobytes != 0 ? previewKilobytes : kDefaultPreviewKilobytes) * 1024;
    if (g_bSimplifiedMode)
        ApplyTarvosetFrame(settings);
    int32_t version = ProfileInt(kGeneral, "Version", settings.m_nVersion);
    if (path == nullptr || *path == '\0')
        return true;
    // A file of another version holds every scanner's slot: it is refused, never deleted.
    bool accepted = version == settings.m_nVersion;
    if (accepted)
        accepted = LoadSlotInto(settings, ResolvePath(path));
    else
        ReportMessage(kMsgSettingsFileRefused);
    RepairLoadedValues(settings, colourManagement);
    if (g_pScannerDriver != nullptr)
        g_pScannerDriver->StoreUserFormat();
    settings.ResetDerivedGeometry();
    return accepted;
}

bool SaveSettings(const char* path)
{
    if (g_pScanSettings == nullptr)
        return true;
    const CScanSettings& settings = *g_pScanSettings;
    if (g_bSimplifiedMode)
        SaveTarvosetValues(settings);
    if (g_pScannerDriver != nullptr)
        WriteProfileInt(g_pScannerDriver->m_strProduct, "Blocking", g_pScannerDriver->m_nBlocking);
    WriteProfileInt(kGeneral, "Version", settings.m_nVersion);
    if (path == nullptr || *path == '\0')
        return true;
    CString fullPath = ResolvePath(path);
    if (!StoreSlot(fullPath, SlotForSave(), settings.Slot())) {
        ReportMessage(kMsgSettingsFileWrite, (const char*)fullPath);
        return false;
    }
    // Named only once written: the next start must not look for a file that was never made.
    AfxGetApp()->WriteProfileString(kGeneral, "SettingsFile", fullPath);
    return true;
}

int32_t CScanSettings::PeekSlotParam(const char* path, uint16_t id)
{
    if (path == nullptr || id >= kParamCount)
        return 0;
    CSettingsSlot slot;
    if (ReadSlot(CString(path), SettingsSlotForKind(CurrentKind()), slot) != kSlotRead)
        return 0;
    int32_t type = slot.m_nParams[0][kParamImageType];
    if (type < 0 || type >= kImageTypeCount)
        return 0;
    return slot.m_nParams[type][id];
}
