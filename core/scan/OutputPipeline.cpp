// The output pipeline between the scan reader and the sinks.

#include "core/scan/OutputPipeline.h"

#include "core/driver/ScannerDriver.h"
#include "core/messages/MessageReporter.h"
#include "core/scan/ScanReader.h"
#include "core/scan/ScanServices.h"
#include "core/settings/ScanSettings.h"
#include "core/util/GlobalBlock.h"
#include "framework/App.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

CCmsImageDesc g_ScanDescriptor;
CCmsImageDesc g_OutputDescriptor;
CDescriptorPair g_TransformPair;
CCmsImageDesc g_FileDescriptor;
COutputSteps g_OutputSteps;
uint32_t g_LinesPerBlock = 0;
uint32_t g_PipelineLines = 0;

namespace {

constexpr int kMsgProcessing = 3298;
constexpr int kMsgNoLineSize = 3333;
constexpr int kMsgFlavoursUnavailable = 3336;
constexpr int32_t kDriverScanning = 2;
constexpr double kHundredthMmPerInch = 2540;

constexpr int32_t kLayoutBinary = 0xC01003;
constexpr int32_t kLayoutGrey = 0xC02003;
constexpr int32_t kLayoutRgb = 0xC03003;
constexpr int32_t kLayoutCmyk = 0xC06003;

constexpr int32_t kSharpnessCustom = 0xFFFE;

// A window that rounds its width down to an even count, a step that rounds, or line art made from
// grey rows rounded to whole bytes leaves the device a few pixels or lines short of the output; up
// to this many are filled from the last column or line, more means the output was set up wrong.
constexpr uint32_t kMostShortfall = 8;

// The route of the current scan, fixed at the start of the pipeline.
int32_t s_nRoute = 0;
bool s_bBlockFailed = false;
CGlobalBlock s_CmykBlock;
uint32_t s_nDeviceResolution = 0;
uint32_t s_nResolution = 0;
// Pixels of one row that the steps (or the plain copy) write, before the last one is repeated.
uint32_t s_nRowPixels = 0;
// Lines the steps take, and how many of them have come: the device's lines past the selection stay
// out of the steps.
uint32_t s_nSourceLines = 0;
uint32_t s_nLinesTaken = 0;
// An enlargement's steps put the first output pixel on the centre of the first device pixel, which
// lies half a device pixel into the selection: ahead of the chart by this many output pixels (and
// lines), by which the output is moved on. The last lines of a block wait for the next.
uint32_t s_nLeadColumns = 0;
uint32_t s_nLeadLines = 0;
std::vector<uint8_t> s_LeadRows;

uint32_t RoundUp4(uint32_t bytes)
{
    return (bytes + 3) & ~3u;
}

uint32_t OutputRowBytes()
{
    return RoundUp4(g_pScanSettings->SelectionLineBytes());
}

int32_t LayoutForScanMode(uint32_t mode)
{
    switch (mode) {
    case 0:
    case 1: return kLayoutBinary;
    case 2: return kLayoutGrey;
    case 3: return kLayoutRgb;
    default: return kLayoutCmyk;
    }
}

int Passes()
{
    int32_t type = g_pScanSettings->GetCurrentType();
    bool colour = type == kImageRgb || type == kImageCmyk;
    return colour && (g_pScannerDriver->m_nCapabilityFlags & kCapColourOnePass) == 0 ? 3 : 1;
}

void SetRowBytes(CCmsImageDesc& desc, uint32_t rowBytes)
{
    for (int c = 0; c < desc.channelCount; ++c)
        desc.channels[c].rowStep = (int32_t)rowBytes;
}

void FillScanDescriptor(uint32_t w, uint32_t h, uint32_t o, double factorX, double factorY)
{
    CScanSettings* s = g_pScanSettings;
    CCmsImageDesc& d = g_ScanDescriptor;
    memset(&d, 0, sizeof d);
    d.imageWidth = (int32_t)w;
    d.imageHeight = (int32_t)h;
    d.width = (int32_t)w;
    d.height = o == 0 ? 0 : (int32_t)((uint64_t)g_TransferSize * Passes() / o);
    d.scale[0] = (float)factorX;
    d.scale[1] = (float)factorY;
    uint32_t bits = s->GetBitsPerChannel();
    if (bits > 8 && AfxGetApp()->GetProfileInt("General", "Shiftto16beforeCMS", 0) != 0)
        bits = 16;
    d.layout = LayoutForScanMode(s->GetScanMode());
    uint32_t channels = std::min<uint32_t>(std::max<uint32_t>(s->GetChannels(), 1), 16);
    d.channelCount = (int32_t)channels;
    uint32_t pixelStep = s->GetBinaryFlag() != 0 ? (channels * bits + 7) / 8 : (bits + 7) / 8 * channels;
    for (uint32_t c = 0; c < channels; ++c) {
        d.channels[c] = CmsChannelDesc{0, nullptr, (int32_t)bits, (int32_t)pixelStep, (int32_t)o};
        // Offsets are in bytes: a 16-bit sample takes two.
        d.channelOffset[c] = (int32_t)(c * ((bits + 7) / 8));
    }
}

void FillOutputDescriptor()
{
    CScanSettings* s = g_pScanSettings;
    CCmsImageDesc& d = g_OutputDescriptor;
    d = g_ScanDescriptor;
    d.imageWidth = d.width = (int32_t)s->RotatedPixelWidth();
    d.imageHeight = (int32_t)s->RotatedPixelHeight();
    d.height = 0;
    d.scale[0] = d.scale[1] = (float)s_nResolution;
    int32_t type = s->GetCurrentType();
    d.layout = type <= kImageHalftone ? kLayoutBinary : type == kImageGrey ? kLayoutGrey : kLayoutRgb;
    d.channelCount = type >= kImageRgb ? 3 : 1;
    // Line art and halftone leave the pipeline as bits, whatever the device delivered; grey made
    // from colour data has pixels of one sample, not the device's three.
    if (type <= kImageHalftone) {
        d.channels[0] = CmsChannelDesc{0, nullptr, 1, 1, 0};
    } else {
        int32_t sampleBytes = (d.channels[0].bitsPerSample + 7) / 8;
        for (int c = 0; c < d.channelCount; ++c) {
            d.channels[c].pixelStep = sampleBytes * d.channelCount;
            d.channelOffset[c] = c * sampleBytes;
        }
    }
    SetRowBytes(d, OutputRowBytes());
}

void BuildSteps(double factorX, double factorY)
{
    CScanSettings* s = g_pScanSettings;
    COutputSteps& steps = g_OutputSteps;
    steps = COutputSteps();
    int32_t type = s->GetCurrentType();
    float resolution = (float)s_nResolution;
    bool colourData = s->GetScanMode() == 3;
    if (type == kImageLineArt) {
        // A device that delivers bits already did the threshold.
        if (s->GetScanMode() < 2)
            return;
        if (colourData)
            steps.Add(50);
        steps.Add(8, (float)factorX, resolution, (float)s->GetParam(kParamThreshold) / 100.0f);
        return;
    }
    if (type == kImageHalftone)
        return;
    if (colourData && type == kImageGrey)
        steps.Add(50);
    if (g_pScannerDriver->IsScreenRulingOff() == 0)
        steps.Add(4, (float)(factorX - std::max(1.0, resolution * 0.5 / 100)), (float)s->GetParam(kParamScreenRuling),
            resolution);
    if (factorX != resolution || factorY != resolution)
        steps.Add(6, (float)factorX, (float)factorY, resolution, resolution);
    int32_t sharpness = s->GetParam(kParamSharpness);
    if (g_pScannerDriver->HasHardwareSharpening() == 0 && sharpness != 0) {
        float radius = s_nResolution >= 600 ? 5.0f : 3.0f;
        if (sharpness == kSharpnessCustom)
            steps.Add(3, (float)s->GetParam(kParamSharpenRadius),
                      (float)(s->GetParam(kParamSharpenLevel) & 0xFF) / 10.0f,
                      (float)s->GetParam(kParamSharpenLow), (float)s->GetParam(kParamSharpenHigh));
        else
            steps.Add(3, radius, (float)(sharpness & 0xFF) / 10.0f, 1, 10);
    }
}

uint32_t LeadFor(double factor)
{
    double lead = std::floor(0.5 * (s_nResolution / factor - 1));
    return lead >= 1 ? (uint32_t)lead : 0;
}

void PlanLead(double factorX, double factorY)
{
    s_LeadRows.clear();
    bool resampled = g_OutputSteps.Has(6);
    s_nLeadColumns = resampled || g_OutputSteps.Has(8) ? LeadFor(factorX) : 0;
    s_nLeadLines = resampled ? LeadFor(factorY) : s_nLeadColumns;
}

// Rows of `pixels` and `lines` of them fill the rotated output once their last column and line are
// repeated a few times.
bool CoversOutput(uint32_t pixels, uint32_t lines)
{
    CScanSettings* s = g_pScanSettings;
    return pixels > 0 && lines > 0 && pixels + kMostShortfall >= s->RotatedPixelWidth() &&
           lines + kMostShortfall >= s->RotatedPixelHeight();
}

void LowerTransferForStroke()
{
    CScanSettings* s = g_pScanSettings;
    uint32_t bytesPerLine = s->GetBytesPerLine();
    int32_t stroke = g_pScannerDriver->GetOptimalStroke();
    // A zero line size or stroke would divide by zero here; the line size is refused later with
    // its own message.
    if (bytesPerLine == 0 || stroke <= 0 || g_TransferSize < bytesPerLine)
        return;
    double bed = g_pScannerDriver->GetBedHeight(s->GetParam(kParamOriginal));
    double r = g_pScannerDriver->ClampResolutionX((uint32_t)s->GetParam(kParamResolution));
    double lines = g_TransferSize / bytesPerLine;
    double bedLines = r * bed / kHundredthMmPerInch;
    if (bedLines / lines < stroke) {
        double wanted = std::ceil(bytesPerLine * r / stroke * bed / kHundredthMmPerInch);
        if (wanted >= bytesPerLine && wanted < g_TransferSize)
            g_TransferSize = (uint32_t)wanted;
    }
}

// The chain of applied flavours works on scans, not on the driver's own prescans. A scan that asks
// for flavours while colour management has no chain to apply is refused rather than written
// without them.
uint16_t CheckFlavourChain()
{
    bool applied = g_pScanSettings->GetParam(kParamFlavourState) == kFlavoursApplied;
    if (!applied || g_pScannerDriver->m_nState != kDriverScanning || ScanColour().HasFlavourChain())
        return kDriverOk;
    ReportMessage(kMsgFlavoursUnavailable);
    return kDriverFailed;
}

uint16_t StartColourRoute()
{
    CScanSettings* s = g_pScanSettings;
    int32_t route = s->GetParam(kParamColourRoute);
    s_nRoute = 0;
    if (route == kRouteProfiles && g_bProfileSupport == 0)
        return kDriverOk;
    if (route != kRouteProfiles && route != kRouteColourLink)
        return kDriverOk;
    s_nRoute = route;
    g_TransformPair.source = g_OutputDescriptor;
    g_TransformPair.destination = g_OutputDescriptor;
    int32_t type = s->GetCurrentType();
    if (type == kImageCmyk) {
        // The transform cannot turn three samples into four in place: the block arrives in a work
        // block of its own and the transform writes the CMYK lines into the output block.
        CCmsImageDesc& d = g_TransformPair.destination;
        uint32_t rowBytes = s->SelectionLineBytes();
        d.channelCount = 4;
        d.layout = kLayoutCmyk;
        for (int c = 0; c < 4; ++c) {
            d.channels[c] = CmsChannelDesc{0, nullptr, 8, 4, (int32_t)rowBytes};
            d.channelOffset[c] = c;
        }
        s_CmykBlock.Alloc(rowBytes * g_LinesPerBlock, 0, GMEM_MOVEABLE | GMEM_ZEROINIT);
        if (s_CmykBlock.m_hMem == nullptr)
            return kDriverFailed;
    }
    if (type != kImageRgb && type != kImageCmyk)
        return kDriverOk;
    CScanColourServices& colour = ScanColour();
    bool ok = route == kRouteProfiles ? colour.RebuildScanTransforms(g_TransformPair)
                                      : colour.OpenLinkTransform(g_TransformPair, s->GetLinkName(type));
    return ok ? kDriverOk : kDriverFailed;
}

}  // namespace

int ShiftTo16AfterCms()
{
    return AfxGetApp()->GetProfileInt("General", "Shiftto16afterCMS", 1) != 0 ? 1 : 0;
}

uint16_t BeginOutputPipeline()
{
    s_bBlockFailed = false;
    g_DeviceTransferSize = g_pScannerDriver->GetTransferSize();
    g_TransferSize = g_DeviceTransferSize;
    LowerTransferForStroke();
    ReportScanStatus(kMsgProcessing, 0);
    if (CheckFlavourChain() != kDriverOk)
        return kDriverFailed;
    if (SetupTransformParams() != 0)
        return kDriverFailed;
    if (g_OutputSteps.count > 0 && !ScanColour().BeginOutputTransform(g_TransformPair, g_OutputSteps))
        return kDriverFailed;
    return StartColourRoute();
}

namespace {

// The pixels of a row and the lines the pipeline takes, in the output's orientation.
void SourceSize(uint32_t& w, uint32_t& h)
{
    CScanSettings* s = g_pScanSettings;
    if (s->OutputPixelsPerLine() != 0 && s->OutputLineCount() != 0) {
        uint32_t pixels, lines;
        SelectionDeviceSize(pixels, lines);
        w = s->IsRotatedSideways() ? lines : pixels;
        h = s->IsRotatedSideways() ? pixels : lines;
        return;
    }
    // Before the device has said what its window gives, an estimate.
    w = s->RotatedPixelWidth();
    h = s->RotatedPixelHeight();
    if (s_nDeviceResolution != s_nResolution)
        s->DevicePixelSize(w, h);
}

// Device pixels that hold `outputPixels` at `resolution`, at most those delivered.
uint32_t CoveringPixels(uint32_t outputPixels, uint32_t deviceResolution, uint32_t resolution, uint32_t delivered)
{
    if (resolution == 0)
        return delivered;
    uint64_t cover = ((uint64_t)outputPixels * deviceResolution + resolution - 1) / resolution;
    return (uint32_t)std::min<uint64_t>(cover, delivered);
}

}  // namespace

void SelectionDeviceSize(uint32_t& pixels, uint32_t& lines)
{
    CScanSettings* s = g_pScanSettings;
    uint32_t r = (uint32_t)s->GetParam(kParamResolution);
    bool sideways = s->IsRotatedSideways();
    uint32_t across = sideways ? s->RotatedPixelHeight() : s->RotatedPixelWidth();
    uint32_t down = sideways ? s->RotatedPixelWidth() : s->RotatedPixelHeight();
    pixels = CoveringPixels(across, g_pScannerDriver->ClampResolutionX(r), r, s->GetPixelsPerLine());
    lines = CoveringPixels(down, g_pScannerDriver->ClampResolutionY(r), r, s->GetLineCount());
}

uint16_t SetupTransformParams()
{
    CScanSettings* s = g_pScanSettings;
    uint32_t o = s->OutputBytesPerLine();
    if (o == 0) {
        ReportMessage(kMsgNoLineSize);
        return kDriverAborted;
    }
    s_nResolution = (uint32_t)s->GetParam(kParamResolution);
    s_nDeviceResolution = g_pScannerDriver->ClampResolutionX(s_nResolution);
    uint32_t deviceY = g_pScannerDriver->ClampResolutionY(s_nResolution);
    // The steps map the device's pixels onto the output at the resolutions the device scanned at,
    // each axis at its own: a factor taken from the sizes would stretch the image by whatever the
    // window gave past the selection, and carry the width's rounding into the height.
    bool sideways = s->IsRotatedSideways();
    double factorX = sideways ? deviceY : s_nDeviceResolution;
    double factorY = sideways ? s_nDeviceResolution : deviceY;
    uint32_t w, h;
    SourceSize(w, h);
    s_nSourceLines = h;
    s_nLinesTaken = 0;

    FillScanDescriptor(w, h, o, factorX, factorY);
    FillOutputDescriptor();
    BuildSteps(factorX, factorY);

    if (g_OutputSteps.count == 0) {
        g_OutputDescriptor.height = g_ScanDescriptor.height;
        g_PipelineLines = s->OutputLineCount();
        s_nRowPixels = w;
        s_nLeadColumns = s_nLeadLines = 0;
        if (s_nDeviceResolution != s_nResolution || !CoversOutput(w, g_PipelineLines))
            return kDriverFailed;
    } else {
        CDescriptorPair sizing = {g_ScanDescriptor, g_OutputDescriptor};
        if (!ScanColour().RunOutputTransform(sizing, g_OutputSteps, 1))
            return kDriverFailed;
        g_OutputDescriptor = sizing.destination;
        g_PipelineLines = (uint32_t)std::max(g_OutputDescriptor.imageHeight, 0);
        uint32_t stepPixels = (uint32_t)std::max(g_OutputDescriptor.width, 0);
        if (!CoversOutput(stepPixels, g_PipelineLines))
            return kDriverFailed;
        PlanLead(factorX, factorY);
        s_nRowPixels = std::min(stepPixels + s_nLeadColumns, s->RotatedPixelWidth());
        g_OutputDescriptor.imageWidth = g_OutputDescriptor.width = (int32_t)s->RotatedPixelWidth();
        g_OutputDescriptor.imageHeight = (int32_t)s->RotatedPixelHeight();
        SetRowBytes(g_OutputDescriptor, OutputRowBytes());
    }
    g_LinesPerBlock = (uint32_t)std::max(g_OutputDescriptor.height, 0);
    g_TransformPair.source = g_ScanDescriptor;
    g_TransformPair.destination = g_OutputDescriptor;
    return kDriverOk;
}

bool IsColourRouteActive()
{
    int32_t type = g_pScanSettings->GetCurrentType();
    return s_nRoute != 0 && (type == kImageRgb || type == kImageCmyk);
}

namespace {

void PointAt(CCmsImageDesc& desc, uint8_t* base, uint32_t lines)
{
    desc.height = (int32_t)lines;
    for (int c = 0; c < desc.channelCount; ++c)
        desc.channels[c].data = base + desc.channelOffset[c];
}

// The output lines of one block in work, before colour management; 0 on failure (reported).
uint32_t ProcessSteps(const uint8_t* source, uint8_t* work, uint32_t lines)
{
    if (g_OutputSteps.count > 0) {
        lines = std::min(lines, s_nSourceLines - s_nLinesTaken);
        if (lines == 0)
            return 0;
        s_nLinesTaken += lines;
        CDescriptorPair pair = {g_ScanDescriptor, g_OutputDescriptor};
        PointAt(pair.source, const_cast<uint8_t*>(source), lines);
        PointAt(pair.destination, work, 0);
        if (!ScanColour().TransformOutputBlock(pair)) {
            s_bBlockFailed = true;
            return 0;
        }
        return (uint32_t)std::max(pair.destination.height, 0);
    }
    if (s_nDeviceResolution != s_nResolution || lines > g_LinesPerBlock)
        return 0;
    uint32_t sourceRow = (uint32_t)g_ScanDescriptor.channels[0].rowStep;
    uint32_t outRow = (uint32_t)g_OutputDescriptor.channels[0].rowStep;
    uint32_t copy = std::min(sourceRow, outRow);
    for (uint32_t y = 0; y < lines; ++y)
        memcpy(work + y * outRow, source + y * sourceRow, copy);
    return lines;
}

// The block's colour road after the steps: the secondary transform, the flavour chain and the main
// transform (or the colour link) run on the work lines; the last of them writes the output block.
// RGB stays in place; CMYK comes out of its work block. False after a failure (reported).
bool ApplyColour(uint8_t* work, uint8_t* blockBuffer, uint32_t lines, bool colourRoute)
{
    CScanColourServices& colour = ScanColour();
    CDescriptorPair inPlace = {g_OutputDescriptor, g_OutputDescriptor};
    PointAt(inPlace.source, work, lines);
    PointAt(inPlace.destination, work, lines);
    if (colourRoute && s_nRoute == kRouteProfiles && !colour.ApplySecondaryTransform(inPlace))
        return false;
    if (g_pScannerDriver->m_nState == kDriverScanning && colour.HasFlavourChain() &&
        !colour.ApplyFlavourChain(inPlace.source, inPlace.destination))
        return false;
    if (!colourRoute)
        return true;
    CDescriptorPair toOutput = g_TransformPair;
    PointAt(toOutput.source, work, lines);
    PointAt(toOutput.destination, blockBuffer, lines);
    if (s_nRoute == kRouteColourLink)
        return colour.ApplyMainTransformChecked(toOutput);
    return colour.ApplyMainTransform(toOutput);
}

// Pixel `from` of an output row copied to pixel `to`.
void CopyRowPixel(uint8_t* row, uint32_t to, uint32_t from)
{
    const CmsChannelDesc& channel = g_OutputDescriptor.channels[0];
    if (channel.bitsPerSample != 1) {
        uint32_t pixelBytes = (uint32_t)channel.pixelStep;
        memcpy(row + to * pixelBytes, row + from * pixelBytes, pixelBytes);
        return;
    }
    bool set = (row[from / 8] & (0x80 >> (from % 8))) != 0;
    uint8_t mask = (uint8_t)(0x80 >> (to % 8));
    row[to / 8] = set ? (uint8_t)(row[to / 8] | mask) : (uint8_t)(row[to / 8] & ~mask);
}

uint32_t OutputRowStep() { return (uint32_t)g_OutputDescriptor.channels[0].rowStep; }

// The pixels a short device row leaves empty take the value of its last one.
void RepeatLastColumn(uint8_t* rows, uint32_t lines)
{
    uint32_t width = (uint32_t)std::max(g_OutputDescriptor.width, 0);
    if (s_nRowPixels == 0 || s_nRowPixels >= width)
        return;
    for (uint32_t y = 0; y < lines; ++y)
        for (uint32_t x = s_nRowPixels; x < width; ++x)
            CopyRowPixel(rows + (size_t)y * OutputRowStep(), x, s_nRowPixels - 1);
}

// An enlargement's rows moved on by the lead columns; the first pixel fills the columns it leaves.
void MoveColumnsOn(uint8_t* rows, uint32_t lines)
{
    uint32_t lead = s_nLeadColumns;
    if (lead == 0 || s_nRowPixels <= lead)
        return;
    for (uint32_t y = 0; y < lines; ++y) {
        uint8_t* row = rows + (size_t)y * OutputRowStep();
        for (uint32_t x = s_nRowPixels; x-- > lead;)
            CopyRowPixel(row, x, x - lead);
        for (uint32_t x = 0; x < lead; ++x)
            CopyRowPixel(row, x, lead);
    }
}

// An enlargement's lines moved on by the lead lines: the image starts with copies of its first line,
// and each block's last lines go to the start of the next.
void MoveLinesOn(uint8_t* rows, uint32_t lines)
{
    size_t rowBytes = OutputRowStep();
    size_t held = (size_t)s_nLeadLines * rowBytes;
    if (held == 0 || lines == 0)
        return;
    if (s_LeadRows.empty())
        for (uint32_t i = 0; i < s_nLeadLines; ++i)
            s_LeadRows.insert(s_LeadRows.end(), rows, rows + rowBytes);
    std::vector<uint8_t> all(s_LeadRows);
    all.insert(all.end(), rows, rows + lines * rowBytes);
    memcpy(rows, all.data(), lines * rowBytes);
    s_LeadRows.assign(all.end() - (ptrdiff_t)held, all.end());
}

}  // namespace

bool OutputPipelineFailed() { return s_bBlockFailed; }

uint32_t ProcessOutputBlock(CScanReader&, const uint8_t* source, uint8_t* blockBuffer, uint32_t lines)
{
    if (lines == 0)
        return 0;
    bool colourRoute = IsColourRouteActive();
    uint8_t* work = blockBuffer;
    if (colourRoute && g_pScanSettings->GetCurrentType() == kImageCmyk) {
        work = (uint8_t*)s_CmykBlock.m_pData;
        if (s_CmykBlock.m_hMem == nullptr || work == nullptr) {
            s_bBlockFailed = true;
            return 0;
        }
    }
    uint32_t out = ProcessSteps(source, work, lines);
    MoveColumnsOn(work, out);
    RepeatLastColumn(work, out);
    MoveLinesOn(work, out);
    if (out > 0 && !ApplyColour(work, blockBuffer, out, colourRoute)) {
        s_bBlockFailed = true;
        out = 0;
    }
    return out;
}

uint16_t EndOutputPipeline()
{
    CScanColourServices& colour = ScanColour();
    if (g_OutputSteps.count > 0)
        colour.EndOutputTransform();
    g_OutputSteps = COutputSteps();
    if (s_nRoute == kRouteProfiles)
        colour.FreeScanTransforms();
    else if (s_nRoute == kRouteColourLink)
        colour.FreeMainTransform();
    s_CmykBlock.Free();
    s_CmykBlock = CGlobalBlock();
    s_LeadRows.clear();
    s_nRoute = 0;
    g_TransferSize = g_DeviceTransferSize;
    return 0;
}
