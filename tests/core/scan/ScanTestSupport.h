#pragma once

// A chart scanner for the scan job's tests: a driver over a virtual device whose glass holds the
// test chart. It renders the window of the settings record line by line (pixel-interleaved for a
// one-pass device, one plane per pass for a three-pass device), records the operations the job
// calls, and can be told to misbehave.

#include "core/driver/ScannerDriver.h"
#include "core/image/Dib.h"
#include "core/settings/ScanSettings.h"
#include "sim/TestChart.h"
#include "tests/support/Reports.h"

#include <string>
#include <vector>

class CChartDriver : public CScannerDriver {
public:
    explicit CChartDriver(bool onePass);

    uint32_t GetTransferSize() override { return m_nTransferSize; }
    uint32_t ClampResolutionX(uint32_t resolution) override { return m_nClampTo != 0 ? m_nClampTo : resolution; }
    // The window scans its lines at the resolution of its pixels.
    uint32_t ClampResolutionY(uint32_t resolution) override { return ClampResolutionX(resolution); }
    int32_t GetOptimalStroke() override { return 1; }
    uint16_t PrescanIfNeeded(CScanSettings*, ScanProgressCallback) override { return Record("Prescan"); }
    uint16_t ReserveDevice() override { return Record("Reserve"); }
    uint16_t UpdateScanGeometry() override;
    uint16_t PrepareColourCorrection() override { return Record("Correction"); }
    uint16_t PrepareEngineColourCorrection() override { return Record("EngineCorrection"); }
    uint16_t SendLookupTables() override { return Record("Tables"); }
    uint16_t SetScanParameters(CScanSettings*) override { return Record("Parameters"); }
    uint16_t PrepareScan() override { return Record("Prepare"); }
    uint16_t StartScanCommand(uint8_t) override;
    uint16_t StartPass(int32_t, int32_t) override;
    uint16_t ReadData(uint8_t* buffer, uint8_t qualifier, uint16_t lines, uint16_t bytesPerLine) override;
    uint32_t PostProcessLines(uint8_t* buffer, uint32_t lines, CScanSettings* settings, int32_t* status) override;
    uint16_t StopScan(int32_t) override { return Record("Stop"); }

    // The device's window for the current settings, in its own sample format.
    CChartWindow Window() const;

    // Operations in call order, repeated reads folded into one entry.
    std::vector<std::string> m_Calls;
    uint32_t m_nTransferSize = 16384;
    // Misbehaviour: an operation that fails with 255, lines after which reads fail, reads that
    // deliver nothing.
    std::string m_strFailing;
    int32_t m_nFailAfterLines = -1;
    uint16_t m_nFailCode = kDriverFailed;
    uint32_t m_nClampTo = 0;
    // A window that falls this many pixels and lines short of the selection.
    uint32_t m_nShortPixels = 0;
    uint32_t m_nShortLines = 0;
    // A window this many pixels and lines beyond the selection, as a device that rounds its
    // window up delivers it.
    uint32_t m_nExtraPixels = 0;
    uint32_t m_nExtraLines = 0;
    // Each line delivered with the speckle of Speckle below.
    bool m_bSpeckled = false;
    bool m_bNeverDelivers = false;
    bool m_bZeroLineBytes = false;
    // The busy atom was there at every read.
    bool m_bAtomSeenAtEveryRead = true;
    int m_nReads = 0;

private:
    uint16_t Record(const char* name);

    int m_nPass = 0;
    uint32_t m_nLine = 0;
};

// The resolution of the scans the cases run, in ppi: small images, yet several reader blocks.
constexpr int32_t kResolution = 30;

// The whole file; empty when it cannot be read.
std::vector<uint8_t> ReadWholeFile(const std::string& path);

// Sets a parameter in all five image-type blocks.
void SetAll(CScanSettings& settings, uint16_t id, int32_t value);
// A scan of the whole bed of the given type and depth, turned and mirrored, at `resolution` ppi,
// without colour route, descreening or sharpening.
void SetChartScan(
    CScanSettings& settings, int32_t type, int32_t bits, int32_t rotation, int32_t mirror, int32_t resolution);

// Flips bits of a rendered device line by a pattern of the line and byte number, so that every
// line and column of a window differs from its neighbours and a pixel out of place shows wherever
// it lands; bits past the line's pixels stay as they are.
void Speckle(const CChartWindow& window, int line, uint8_t* row);

// The chart image as the final image should show it: the device window mirrored and turned, as
// rows of whole pixels of `pixelBytes` (1-bit images are expanded to one byte per pixel, 1 black).
struct CExpectedImage {
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t pixelBytes = 1;
    std::vector<uint8_t> pixels;
    const uint8_t* At(uint32_t x, uint32_t y) const { return &pixels[(y * width + x) * pixelBytes]; }
};
CExpectedImage ExpectedImage(const CChartWindow& window, int rotation, int mirror, bool speckled = false);
// The image widened and lengthened to width x height by repeating its last column and line.
CExpectedImage RepeatEdges(const CExpectedImage& image, uint32_t width, uint32_t height);
