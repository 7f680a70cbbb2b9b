#include "app/BrelvaneStatusBar.h"

#include "app/FormAccess.h"
#include "core/messages/MessageReporter.h"
#include "core/messages/MsgString.h"
#include "core/settings/ScanParams.h"
#include "core/settings/ScanSettings.h"
#include "core/settings/SettingsFile.h"
#include "core/util/Numeric.h"
#include "resources/dialogs/MainForm.h"

#include <cstring>

CBrelvaneStatusBar* g_pStatusBar = nullptr;

namespace {

enum : UINT {
    kPaneHidden = 3000,
    kPaneMemoryLabel = 3261,
    kPaneMemory = 3249,
    kPaneRaw1Label = 3263,
    kPaneRaw1 = 3264,
    kPaneRaw2Label = 3265,
    kPaneRaw2 = 3266,
    kPaneRaw3Label = 3267,
    kPaneRaw3 = 3268,
    kPaneCorrected1Label = 3269,
    kPaneCorrected1 = 3270,
    kPaneCorrected2Label = 3271,
    kPaneCorrected2 = 3272,
    kPaneCorrected3Label = 3273,
    kPaneCorrected3 = 3274,
};

const UINT kPaneIds[] = {kPaneHidden, 3214, kPaneRaw1Label, kPaneRaw1, kPaneRaw2Label, kPaneRaw2, kPaneRaw3Label,
    kPaneRaw3, 3215, kPaneCorrected1Label, kPaneCorrected1, kPaneCorrected2Label, kPaneCorrected2, kPaneCorrected3Label,
    kPaneCorrected3, kPaneMemoryLabel, kPaneMemory};

constexpr int kMsgSelection = 3064;
constexpr int kMsgOutput = 3065;
constexpr int kMsgX = 3251;
constexpr int kMsgY = 3252;
constexpr int kMsgWidth = 3253;
constexpr int kMsgBy = 3254;
constexpr int kMsgSize = 3259;
constexpr int kMsgMirror = 4046;
constexpr int kMsgHorizontal = 4047;
constexpr int kMsgVertical = 4048;
constexpr int kMsgAnd = 4049;
constexpr int kMsgRotation = 4050;
constexpr int kMsgQualityGroup = 3012;
constexpr int kMsgRed = 3199;
constexpr int kMsgGreen = 3200;
constexpr int kMsgBlue = 3201;
constexpr int kMsgGray = 3202;

constexpr int kUnitBytes = 13;
constexpr int kUnitPixels = 14;
constexpr int kUnitDegrees = 28;
constexpr uint32_t kNoReadout = 99999;
constexpr int32_t kNoQuality = 99999;

uint32_t g_nLastRaw = kNoReadout;
uint32_t g_nLastCorrected = kNoReadout;
int32_t g_nLastQuality = kNoQuality;

// Appends into a fixed buffer, cutting what does not fit: catalog texts may be of any length.
class CBoundedLine {
public:
    CBoundedLine(char* buffer, int size) : m_pBuffer(buffer), m_nSize(size) { m_pBuffer[0] = 0; }
    CBoundedLine& operator<<(const char* text)
    {
        const int room = m_nSize - 1 - m_nLength;
        const int length = std::min<int>(room, (int)std::strlen(text));
        std::memcpy(m_pBuffer + m_nLength, text, (size_t)length);
        m_nLength += length;
        m_pBuffer[m_nLength] = 0;
        return *this;
    }

private:
    char* m_pBuffer;
    int m_nSize;
    int m_nLength = 0;
};

CString Value(const CScanSettings& settings, int32_t value, int unit, int32_t resolution)
{
    char text[kFormatValueSize] = {};
    settings.FormatValue(text, value, unit, resolution);
    return text;
}

CString NumberOnly(const CString& text)
{
    const int blank = text.Find(' ');
    return blank < 0 ? text : text.Left(blank);
}

int UnitCode(int32_t displayUnit)
{
    switch (displayUnit) {
    case 0:
        return 9;
    case 1:
        return 10;
    case 2:
        return 11;
    case 3:
        return 12;
    default:
        return kUnitPixels;
    }
}

CString QualityName(int32_t quality)
{
    switch (quality) {
    case 0:
        return CMsgString(3198);
    case 1:
        return CMsgString(3196);
    case 2:
        return CMsgString(3197);
    case 3:
        return CMsgString(4103);
    default:
        return CString();
    }
}

// One channel value of the readout in the unit of parameter 111; empty for an unknown unit.
CString ReadoutText(const CScanSettings& settings, uint32_t level, int32_t gamma)
{
    const int32_t minimum = settings.GetParam(kParamMinSnapshot);
    const int32_t maximum = settings.GetParam(kParamMaxSnapshot);
    switch (settings.GetParam(kParamValueDisplay)) {
    case 0:
        return FormatNumber(LevelToDensity((int32_t)level, minimum, maximum, gamma) / 1000.0, 2) + " D";
    case 1:
        return FormatNumber(
                   DensityToDotArea((uint32_t)LevelToDensity((int32_t)level, minimum, maximum, gamma)) / 100.0, 1) +
            " %";
    case 2:
        return FormatNumber(level * 100 / 255, 0) + " %";
    case 3:
        return FormatNumber(level, 0) + " ";
    default:
        return CString();
    }
}

void SetPaneById(CStatusBar& bar, UINT id, const char* text) { bar.SetPaneText(bar.CommandToIndex(id), text, TRUE); }

}  // namespace

CSettingsSummary SettingsSummaryLines(const CScanSettings& settings, bool simplified)
{
    const int32_t resolution = settings.GetParam(kParamResolution);
    const int32_t scale = settings.GetParam(kParamScale);
    const int32_t x = settings.GetParam(kParamSelLeft);
    const int32_t y = settings.GetParam(kParamSelTop);
    uint32_t width = (uint32_t)(settings.GetParam(kParamSelRight) - x);
    uint32_t height = (uint32_t)(settings.GetParam(kParamSelBottom) - y);
    width = width < 5 ? 5 : width;
    height = height < 5 ? 5 : height;
    const int unit = UnitCode(settings.GetParam(kParamLengthUnit));
    const int32_t outWidth = unit == kUnitPixels ? (int32_t)width : ScaleRound(width, scale, 100, 0);
    const int32_t outHeight = unit == kUnitPixels ? (int32_t)height : ScaleRound(height, scale, 100, 0);

    CSettingsSummary summary;
    CBoundedLine first(summary.szFirst, sizeof summary.szFirst);
    first << CMsgString(kMsgSelection) << " " << CMsgString(kMsgX) << NumberOnly(Value(settings, x, unit, resolution))
          << CMsgString(kMsgY) << NumberOnly(Value(settings, y, unit, resolution)) << CMsgString(kMsgWidth)
          << NumberOnly(Value(settings, (int32_t)width, unit, resolution)) << CMsgString(kMsgBy)
          << Value(settings, (int32_t)height, unit, resolution);

    CBoundedLine second(summary.szSecond, sizeof summary.szSecond);
    second << CMsgString(kMsgOutput) << " " << CMsgString(kMsgSize) << ":"
           << NumberOnly(Value(settings, outWidth, unit, resolution)) << CMsgString(kMsgBy)
           << Value(settings, outHeight, unit, resolution);
    const int32_t mirror = settings.GetParam(kParamMirror);
    if (mirror != 0) {
        second << ", " << CMsgString(kMsgMirror) << " ";
        if (mirror == 3)
            second << CMsgString(kMsgHorizontal) << " " << CMsgString(kMsgAnd) << " " << CMsgString(kMsgVertical);
        else
            second << CMsgString(mirror == 1 ? kMsgHorizontal : kMsgVertical);
    }
    const int32_t rotation = settings.GetParam(kParamRotation);
    if (rotation != 0)
        second << ", " << CMsgString(kMsgRotation) << " " << Value(settings, rotation, kUnitDegrees, resolution);
    if (simplified)
        second << ", " << CMsgString(kPaneMemoryLabel) << ": "
               << Value(settings, (int32_t)settings.ImageBytes(), kUnitBytes, resolution);
    return summary;
}

CBrelvaneStatusBar::CBrelvaneStatusBar() : m_bReadout(0) { }

BOOL CBrelvaneStatusBar::Create(CWnd* parentFrame, HFONT font)
{
    CStatusBar::Create(parentFrame, WS_CHILD | WS_VISIBLE | CBRS_ALIGN_BOTTOM | CBRS_BORDER_TOP, AFX_IDW_STATUS_BAR);
    SetupStatusPanes(font);
    return TRUE;
}

void CBrelvaneStatusBar::SetupStatusPanes(HFONT font)
{
    m_bReadout = !g_bSimplifiedMode && g_bInteractive;
    if (m_hWnd)
        SendMessage(WM_SETFONT, (WPARAM)font, TRUE);
    SetIndicatorsEx(kPaneIds, (int)std::size(kPaneIds));
    SetPaneInfo(0, kPaneHidden, SBPS_DISABLED | SBPS_NOBORDERS, 0);
    for (int index : {1, 2, 4, 6, 8, 9, 11, 13, 15})
        SetPaneStyle(index, SBPS_NOBORDERS);
    SetPaneStyle(16, SBPS_STRETCH);
}

BOOL CBrelvaneStatusBar::SetIndicatorsEx(const UINT* ids, int count)
{
    if (!AllocPanes(count))
        return FALSE;
    BOOL complete = TRUE;
    for (int i = 0; i < count && complete; ++i) {
        if (ids[i] == 0) {
            const int width = ::GetSystemMetrics(SM_CXSCREEN) / 4;
            SetPaneInfo(i, 0, i == 0 ? SBPS_STRETCH | SBPS_NOBORDERS : SBPS_NORMAL, width);
            continue;
        }
        // An empty catalog text is no text: every pane id needs one.
        const CMsgString text((int)ids[i]);
        if (text.IsEmpty()) {
            complete = FALSE;
            break;
        }
        SetPaneInfo(i, ids[i], SBPS_NORMAL, TextWidth(text));
        complete = SetPaneText(i, text, FALSE);
    }
    if (m_hWnd) {
        Invalidate();
        UpdateWindow();
    }
    return complete;
}

void CBrelvaneStatusBar::OnUpdateCmdUI(CFrameWnd* target, BOOL) { CStatusBar::OnUpdateCmdUI(target, FALSE); }

void CBrelvaneStatusBar::ShowSettingsSummary(const CScanSettings* settings)
{
    if (!settings)
        return;
    const CSettingsSummary summary = SettingsSummaryLines(*settings, g_bSimplifiedMode != 0);
    SetMainFormItemText(IDC_FORM_SUMMARY_1, summary.szFirst);
    SetMainFormItemText(IDC_FORM_SUMMARY_2, summary.szSecond);
    if (m_bReadout)
        SetPaneById(*this, kPaneMemory,
            Value(*settings, (int32_t)settings->ImageBytes(), kUnitBytes, settings->GetParam(kParamResolution)));
    const int32_t quality = settings->GetParam(kParamQuality);
    if (quality == g_nLastQuality)
        return;
    char title[256];
    CBoundedLine(title, sizeof title) << CMsgString(kMsgQualityGroup) << " - " << QualityName(quality);
    SetMainFormItemText(IDC_FORM_IMAGE_INFO, title);
    g_nLastQuality = quality;
}

void CBrelvaneStatusBar::UpdateColorReadout(uint32_t raw, uint32_t corrected)
{
    if (!m_bReadout || !g_pScanSettings || (raw == g_nLastRaw && corrected == g_nLastCorrected))
        return;
    const CScanSettings& settings = *g_pScanSettings;
    const int32_t type = settings.GetParam(kParamImageType);
    const bool colour = type == 3 || type == 4;
    if (g_nLastRaw == kNoReadout) {
        SetPaneById(*this, kPaneMemory,
            Value(settings, (int32_t)settings.ImageBytes(), kUnitBytes, settings.GetParam(kParamResolution)));
        const CMsgString first(colour ? kMsgRed : kMsgGray);
        const CString second = colour ? CMsgString(kMsgGreen) : CString();
        const CString third = colour ? CMsgString(kMsgBlue) : CString();
        SetPaneById(*this, kPaneRaw1Label, first);
        SetPaneById(*this, kPaneCorrected1Label, first);
        SetPaneById(*this, kPaneRaw2Label, second);
        SetPaneById(*this, kPaneCorrected2Label, second);
        SetPaneById(*this, kPaneRaw3Label, third);
        SetPaneById(*this, kPaneCorrected3Label, third);
    }
    g_nLastRaw = raw;
    g_nLastCorrected = corrected;

    const int32_t gamma = (int32_t)(settings.PreviewGamma() * 10);
    const bool showCorrected = settings.GetParam(kParamPreviewFlag) == 1;
    const UINT rawPanes[] = {kPaneRaw1, kPaneRaw2, kPaneRaw3};
    const UINT correctedPanes[] = {kPaneCorrected1, kPaneCorrected2, kPaneCorrected3};
    for (int channel = 0; channel < 3; ++channel) {
        const uint32_t rawLevel = (raw >> (8 * channel)) & 0xFF;
        const uint32_t correctedLevel = (corrected >> (8 * channel)) & 0xFF;
        const uint32_t rawGreen = (raw >> 8) & 0xFF;
        const uint32_t correctedGreen = (corrected >> 8) & 0xFF;
        CString rawText;
        CString correctedText;
        if (colour) {
            rawText = ReadoutText(settings, rawLevel, gamma);
            correctedText = ReadoutText(settings, correctedLevel, gamma);
        } else if (channel == 0 && type == 0) {
            rawText = rawGreen > 128 ? "1" : "0";
            correctedText = correctedGreen > 128 ? "1" : "0";
        } else if (channel == 0 && (type == 1 || type == 2)) {
            rawText = ReadoutText(settings, rawGreen, gamma);
            correctedText = ReadoutText(settings, correctedGreen, gamma);
        }
        SetPaneById(*this, rawPanes[channel], rawText);
        SetPaneById(*this, correctedPanes[channel], showCorrected ? correctedText : CString());
    }
}

void ShowSettingsSummary(const CScanSettings* settings)
{
    if (g_pStatusBar)
        g_pStatusBar->ShowSettingsSummary(settings);
}

void ShowColorReadout(uint32_t raw, uint32_t corrected)
{
    if (g_pStatusBar)
        g_pStatusBar->UpdateColorReadout(raw, corrected);
}

void ResetColorReadout()
{
    g_nLastRaw = kNoReadout;
    g_nLastCorrected = kNoReadout;
}

void ResetQualityTitle() { g_nLastQuality = kNoQuality; }

void SetFormStatusText(const char* text) { SetMainFormItemText(IDC_FORM_STATUS, text); }

void SetFormStatusMessage(uint16_t messageId) { SetFormStatusText(CMsgString(messageId)); }
