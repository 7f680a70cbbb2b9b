#include "app/BatchInterpreter.h"

#include "app/RecordTexts.h"

#include "core/driver/ScannerDriver.h"
#include "core/messages/MessageReporter.h"
#include "core/messages/MsgString.h"
#include "core/messages/ProgramDirectory.h"
#include "core/scan/OutputFile.h"
#include "core/settings/ScanSettings.h"
#include "core/settings/SettingsFile.h"
#include "drivers/DriverFamilies.h"
#include "framework/App.h"

#include <algorithm>
#include <cmath>
#include <iterator>

int32_t g_bBatchProgress = 0;
CString g_strBatchProgressTitle;
int32_t g_nPrintMarginX = 0;
int32_t g_nPrintMarginY = 0;
int32_t g_nPrintCopies = 0;

namespace {

constexpr int kImageLineArt = 0;
constexpr int kMsgCannotRead = 3310;
constexpr int kMsgNoSlotForScanner = 3427;
constexpr int kMsgFirstTypeName = 3053;
constexpr int kMsgFirstOriginalName = 3059;
constexpr int kMsgTypeTaken = 4455;
constexpr int kMsgTypeNotOffered = 4456;
constexpr int kMsgNoFeeder = 4457;
constexpr int kMsgDepthTaken = 4458;

// A settings file without a folder lies beside the program, as the loader looks for it.
CString SettingsFilePath(const CString& name)
{
    return name.Find('\\') >= 0 ? name : ProgramDirectory() + name;
}

bool IsReadableFile(const CString& path)
{
    const HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    CloseHandle(file);
    return true;
}

struct CKeywordChoice {
    const char* keyword;
    int32_t value;
    uint8_t capabilityBit;
};

const CKeywordChoice kImageTypes[] = {
    {"line", 0, 0x01}, {"half", 1, 0x02}, {"gray", 2, 0x04}, {"rgb", 3, 0x08}, {"cmyk", 4, 0x10},
};

const CKeywordChoice kOriginals[] = {
    {"refl", 0, 0x08}, {"trans", 1, 0x04}, {"neg", 2, 0x10},
};

// The limits of the language are compared as unsigned numbers: a negative value takes the upper one.
uint32_t ClampUnsigned(int32_t value, uint32_t low, uint32_t high)
{
    const uint32_t v = (uint32_t)value;
    if (v <= low)
        return low;
    if (v >= high)
        return high;
    return v;
}

void WriteGeneralInt(const char* key, int value)
{
    AfxGetApp()->WriteProfileInt("General", key, value);
}

void ApplyProgress(const CBatchCommandLine& line)
{
    const CString& text = line.GetText();
    const int at = text.Find("progress");
    if (at < 0) {
        g_bBatchProgress = 0;
        g_strBatchProgressTitle.Empty();
        return;
    }
    g_bBatchProgress = 1;
    const int colon = at + 8;
    if (colon < text.GetLength() && text[colon] == ':')
        g_strBatchProgressTitle = text.Mid(colon + 2).SpanExcluding("\"");
}

void ApplyFileSwitches(const CBatchCommandLine& line, bool batchStart)
{
    // An interactive start must not wipe the user's feeder preference.
    if (batchStart)
        WriteGeneralInt("ADF", line.Has("adf") ? 1 : 0);
    if (line.Has("bmp"))
        WriteGeneralInt("File extension", 1);
    else if (line.Has("tif"))
        WriteGeneralInt("File extension", 0);
}

// The first choice of the line the scanner offers, or nullptr; named takes the value of the first
// choice the line names at all (-1 when none).
const CKeywordChoice* FirstOfferedChoice(
    const CBatchCommandLine& line, const CKeywordChoice* choices, size_t count, uint8_t offered, int32_t& named)
{
    named = -1;
    for (const CKeywordChoice* choice = choices; choice != choices + count; ++choice) {
        if (!line.Has(choice->keyword))
            continue;
        if ((offered & choice->capabilityBit) != 0)
            return choice;
        if (named < 0)
            named = choice->value;
    }
    return nullptr;
}

// An original the scanner lacks would be scanned as another one, a negative as a print. The name of
// the first one the line names when none of them is offered, else empty.
CString ApplyOriginal(const CBatchCommandLine& line, uint8_t offered, bool batchStart)
{
    int32_t named;
    if (const CKeywordChoice* choice = FirstOfferedChoice(line, kOriginals, std::size(kOriginals), offered, named)) {
        g_pScanSettings->SetParam(kParamOriginal, choice->value);
        return CString();
    }
    if (!batchStart || named < 0 || offered == 0)
        return CString();
    return CMsgString(kMsgFirstOriginalName + named);
}

uint8_t TypeBit(int32_t type) { return (uint8_t)(1u << type); }

// A line's type keyword the scanner lacks, or a stored slot's type, gives way to the nearest type
// it offers, and the log says so: a scan in some other type, said nowhere, is a wrong result. The
// name of a type nothing stands in for, else empty.
CString ApplyImageType(const CBatchCommandLine& line, uint8_t offered, bool batchStart)
{
    int32_t named;
    if (const CKeywordChoice* choice = FirstOfferedChoice(line, kImageTypes, std::size(kImageTypes), offered, named)) {
        g_pScanSettings->SetParamAllTypes(kParamImageType, choice->value);
        return CString();
    }
    // A driver that states no types (none found) leaves the record as it is.
    if (!batchStart || offered == 0)
        return CString();
    const int32_t wanted = named >= 0 ? named : g_pScanSettings->GetParam(kParamImageType);
    if (wanted < 0 || wanted >= kImageTypeCount || (offered & TypeBit(wanted)) != 0)
        return CString();
    const int32_t nearest = NearestOfferedImageType(wanted, offered);
    const CMsgString wantedName(kMsgFirstTypeName + wanted);
    if (nearest < 0)
        return wantedName;
    g_pScanSettings->SetParamAllTypes(kParamImageType, nearest);
    ReportMessage(kMsgTypeTaken, (LPCSTR)wantedName, (LPCSTR)CMsgString(kMsgFirstTypeName + nearest));
    return CString();
}

void ApplyClampedWord(const CBatchCommandLine& line, const char* keyword, uint16_t id, uint32_t low, uint32_t high)
{
    if (line.Has(keyword))
        g_pScanSettings->SetParam(id, (int32_t)ClampUnsigned(CBatchCommandLine::ParseInt(line.WordValue(keyword)), low, high));
}

void ApplyDensities(const CBatchCommandLine& line, CScannerDriver& driver)
{
    uint32_t minimum = (uint32_t)CBatchCommandLine::CeilScaled(CBatchCommandLine::ParseDouble(line.ListItem("dens:", 0)), 1000.0);
    if (driver.GetMinDensity(1) >= minimum)
        minimum = driver.GetMinDensity(1);
    if (driver.GetMinDensityCeiling(1) <= minimum)
        minimum = driver.GetMinDensityCeiling(1);
    g_pScanSettings->SetParam(kParamMinDensity, (int32_t)minimum);
    uint32_t maximum = (uint32_t)CBatchCommandLine::CeilScaled(CBatchCommandLine::ParseDouble(line.ListItem("dens:", 1)), 1000.0);
    if (driver.GetMaxDensityFloor(1) >= maximum)
        maximum = driver.GetMaxDensityFloor(1);
    if (driver.GetMaxDensity(1) <= maximum)
        maximum = driver.GetMaxDensity(1);
    g_pScanSettings->SetParam(kParamMaxDensity, (int32_t)maximum);
    g_pScanSettings->SetParam(kParamRangeMode, 2);
}

void ApplyDensityMode(const CBatchCommandLine& line, CScannerDriver& driver)
{
    const bool lineArt = g_pScanSettings->GetParam(kParamImageType) == kImageLineArt;
    if (lineArt) {
        g_pScanSettings->SetParam(kParamRangeMode, 5);
        if (line.Has("thresh:")) {
            const int32_t v = CBatchCommandLine::ParseInt(line.WordValue("thresh:"));
            g_pScanSettings->SetParam(kParamThreshold, v >= 100 ? 100 : (v <= 0 ? 0 : v));
        }
        return;
    }
    if (line.Has("auto"))
        g_pScanSettings->SetParamAllTypes(kParamRangeMode, 0);
    else if (line.Has("dens:"))
        ApplyDensities(line, driver);
}

// A whole millimetre value in 1/100 mm, limited to the bed before it is converted: not beyond its
// extent, not before its offset, so that no value however large, negative or unreadable wraps.
int32_t SelectionEdge(const CBatchCommandLine& line, int item, uint32_t extent, uint32_t offset)
{
    const double hundredths =
        std::trunc(CBatchCommandLine::ParseDouble(line.ListItem("selmm:", item))) * 100.0;
    if (!(hundredths < (double)extent))   // NaN included
        return (int32_t)(std::isnan(hundredths) ? offset : extent);
    if (!(hundredths > (double)offset))
        return (int32_t)offset;
    return (int32_t)hundredths;
}

// An edge as given, in millimetres, limited to the bed: whether the selection held an area before
// its edges were taken to whole millimetres.
double SelectionEdgeMm(const CBatchCommandLine& line, int item, uint32_t extent, uint32_t offset)
{
    const double mm = CBatchCommandLine::ParseDouble(line.ListItem("selmm:", item));
    if (std::isnan(mm))
        return offset / 100.0;
    return std::clamp(mm, offset / 100.0, extent / 100.0);
}

// What the selection asked for holds once it is limited to the bed.
enum SelectionKind { kSelectionHoldsArea, kSelectionOutsideBed, kSelectionTooSmall };

SelectionKind ApplySelection(const CBatchCommandLine& line, CScannerDriver& driver)
{
    SelectionKind kind = kSelectionHoldsArea;
    if (line.Has("selmm:")) {
        const int32_t original = g_pScanSettings->GetParam(kParamOriginal);
        const uint32_t width = driver.GetBedWidth(original), offsetX = driver.GetBedOffsetX(original);
        const uint32_t height = driver.GetBedHeight(original), offsetY = driver.GetBedOffsetY(original);
        const int32_t left = SelectionEdge(line, 0, width, offsetX);
        const int32_t top = SelectionEdge(line, 1, height, offsetY);
        const int32_t right = SelectionEdge(line, 2, width, offsetX);
        const int32_t bottom = SelectionEdge(line, 3, height, offsetY);
        g_pScanSettings->SetParam(kParamSelLeft, left);
        g_pScanSettings->SetParam(kParamSelTop, top);
        g_pScanSettings->SetParam(kParamSelRight, right);
        g_pScanSettings->SetParam(kParamSelBottom, bottom);
        if (left >= right || top >= bottom) {
            const bool heldArea = SelectionEdgeMm(line, 0, width, offsetX) < SelectionEdgeMm(line, 2, width, offsetX) &&
                SelectionEdgeMm(line, 1, height, offsetY) < SelectionEdgeMm(line, 3, height, offsetY);
            kind = heldArea ? kSelectionTooSmall : kSelectionOutsideBed;
        }
    }
    g_pScanSettings->ClampSelection();
    return kind;
}

// A settings file can bring a geometry the line did not set and the bed does not correct: a
// resolution of none or beyond the scanner's, edges before the bed's corner or crossed.
bool IsScannableGeometry(const CScannerDriver& driver)
{
    const int32_t resolution = g_pScanSettings->GetParam(kParamResolution);
    const int32_t left = g_pScanSettings->GetParam(kParamSelLeft), top = g_pScanSettings->GetParam(kParamSelTop);
    const int32_t right = g_pScanSettings->GetParam(kParamSelRight);
    const int32_t bottom = g_pScanSettings->GetParam(kParamSelBottom);
    return resolution > 0 && (uint32_t)resolution <= driver.m_nMaxResolutionForType && left >= 0 && top >= 0 &&
        left < right && top < bottom;
}

void ApplyOrientation(const CBatchCommandLine& line)
{
    if (line.Has("hor"))
        g_pScanSettings->SetParam(kParamMirror, 1);
    else if (line.Has("ver"))
        g_pScanSettings->SetParam(kParamMirror, 2);
    if (line.Has("rot:")) {
        const int32_t v = CBatchCommandLine::ParseInt(line.WordValue("rot:"));
        g_pScanSettings->SetParam(kParamRotation, (v == 90 || v == 180 || v == 270) ? v : 0);
    }
}

// Parameter 44 keeps the value as the line gives it; the depth the scan takes is parameter 138, set
// as the form's Bits list sets it, for grey and RGB only.
void ApplyBits(const CBatchCommandLine& line, CScannerDriver& driver)
{
    if (!line.Has("bits:"))
        return;
    const int32_t asked = (int32_t)ClampUnsigned(CBatchCommandLine::ParseInt(line.WordValue("bits:")), 1, 16);
    g_pScanSettings->SetParam(kParamOutputBits, asked);
    const int32_t type = g_pScanSettings->GetParam(kParamImageType);
    if (type != kImageGrey && type != kImageRgb)
        return;
    const int32_t depth = BatchScanDepth(asked, driver.m_nFurtherFlags[2]);
    g_pScanSettings->SetParam(kParamBitsPerChannel, depth);
    if (asked > 8 && depth != asked)
        ReportMessage(kMsgDepthTaken, asked, depth);
}

void ApplyGamma(const CBatchCommandLine& line)
{
    if (!line.Has("gamma:"))
        return;
    const int32_t g = CBatchCommandLine::CeilScaled(CBatchCommandLine::ParseDouble(line.BlankEndedValue("gamma:")), 10.0);
    g_pScanSettings->SetParam(kParamToneCode, 0xFF09);
    g_pScanSettings->SetParam(kParamCustomGamma, (int32_t)ClampUnsigned(g, 2, 40));
}

CBatchOutput ChooseOutput(const CBatchCommandLine& line)
{
    CBatchOutput output;
    if (line.Has("scan:")) {
        output.kind = kBatchScanToFile;
        output.fileName = line.FileNameValue("scan:");
        output.fileNameTooLong = output.fileName.GetLength() > kBatchMaxFileName;
        WriteGeneralInt("File extension", output.fileName.Find("bmp") >= 0 ? 1 : 0);
    } else if (line.Has("prn:")) {
        output.kind = kBatchPrintAtMargins;
        g_nPrintMarginX = CBatchCommandLine::ParseInt(line.ListItem("prn:", 0));
        g_nPrintMarginY = CBatchCommandLine::ParseInt(line.ListItem("prn:", 1));
        g_nPrintCopies = (int32_t)ClampUnsigned(CBatchCommandLine::ParseInt(line.ListItem("prn:", 2)), 1, 99);
    } else if (line.Has("print")) {
        output.kind = kBatchPrintWithDialog;
    }
    if (output.kind != kBatchNoOutput)
        g_pScanSettings->SetParam(kParamPreviewFlag, 0);
    return output;
}

}  // namespace

int32_t NearestOfferedImageType(int32_t requested, uint8_t offered)
{
    // Each type's stand-ins, nearest first; -1 ends a row.
    static const int32_t kStandIns[kImageTypeCount][3] = {
        {1, 2, 3}, {0, 2, 3}, {3, -1, -1}, {2, -1, -1}, {3, 2, -1},
    };
    if (requested < 0 || requested >= kImageTypeCount)
        return -1;
    if ((offered & TypeBit(requested)) != 0)
        return requested;
    for (int32_t type : kStandIns[requested]) {
        if (type >= 0 && (offered & TypeBit(type)) != 0)
            return type;
    }
    return -1;
}

int32_t BatchScanDepth(int32_t asked, uint8_t depthFlags)
{
    static const int32_t kDepths[] = {8, 10, 12, 14, 16};
    int32_t depth = 8;
    for (int i = 0; i < 5; ++i) {
        if ((depthFlags & (1u << i)) != 0 && kDepths[i] <= asked)
            depth = kDepths[i];
    }
    return depth;
}

bool ApplyBatchSettingsFile(const CString& original)
{
    const CBatchCommandLine line(original);
    if (!line.Has("set:"))
        return true;
    const CString name = line.FileNameValue("set:");
    // A name the file system cannot have, or one of a device, names no settings file, nor does a
    // file shorter than one slot; the scan must not run on defaults in its place.
    const bool readable =
        name.GetLength() <= kBatchMaxFileName && !IsDeviceName(name) && IsReadableFile(SettingsFilePath(name));
    const SettingsFileContent content = readable ? ExamineSettingsFile(name) : kSettingsFileTooShort;
    if (content == kSettingsFileTooShort) {
        ReportMessage(kMsgCannotRead, (LPCSTR)name);
        return false;
    }
    SetSettingsFileName(name);
    // The run goes on with the settings it has, but the log says the file did not bring them.
    if (content == kSettingsFileWithoutSlot)
        ReportMessage(kMsgNoSlotForScanner, (LPCSTR)name);
    // A refused file (another version, damaged) is reported there; the scan must not run on the
    // settings it would have replaced.
    return LoadSettings(name);
}

CBatchOutput ApplyBatchKeywords(const CBatchCommandLine& line, CScannerDriver& driver, bool batchStart)
{
    ApplyProgress(line);
    ApplyFileSwitches(line, batchStart);
    const CString unofferedType = ApplyImageType(line, driver.m_nImageTypeFlags, batchStart);
    const CString unofferedOriginal = ApplyOriginal(line, driver.m_nCapabilityFlags, batchStart);
    ApplyClampedWord(line, "resppi:", kParamResolution, 25, driver.m_nMaxResolutionForType);
    ApplyClampedWord(line, "scale:", kParamScale, 1, 1000);
    ApplyClampedWord(line, "descr:", kParamScreenRuling, 20, 400);
    if (line.Has("speed"))
        g_pScanSettings->SetParam(kParamQuality, 2);
    else if (line.Has("quality"))
        g_pScanSettings->SetParam(kParamQuality, 1);
    else if (line.Has("extra"))
        g_pScanSettings->SetParam(kParamQuality, 0);
    ApplyDensityMode(line, driver);
    const SelectionKind selection = ApplySelection(line, driver);
    ApplyOrientation(line);
    ApplyBits(line, driver);
    ApplyGamma(line);
    CBatchOutput output = ChooseOutput(line);
    if (selection != kSelectionHoldsArea) {
        output.emptySelection = line.WordValue("selmm:");
        output.selectionTooSmall = selection == kSelectionTooSmall;
    } else if (output.kind != kBatchNoOutput && !IsScannableGeometry(driver)) {
        output.unscannableGeometry = true;
    }
    if (!unofferedType.IsEmpty() || !unofferedOriginal.IsEmpty()) {
        output.refusal = kMsgTypeNotOffered;
        output.refusalValue = unofferedType.IsEmpty() ? unofferedOriginal : unofferedType;
    } else if (batchStart && line.Has("adf") && !FamilyTakesFeeder(driver.m_nKind)) {
        // Scanning the glass in place of the feeder would write another original than the one asked.
        output.refusal = kMsgNoFeeder;
    }
    return output;
}
