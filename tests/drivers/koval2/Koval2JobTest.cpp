// Whole scans from the virtual device through the driver and the scan job into BMP files, compared
// with the chart the device scanned.

#include "drivers/koval2/Koval2Driver.h"

#include "core/scan/ScanJob.h"
#include "sim/TestChart.h"
#include "tests/drivers/koval2/Koval2Bench.h"
#include "tests/support/Screenshot.h"
#include "framework/App.h"

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

// Until the driver base has its prescan step, the job's first driver call would refuse every
// scan; this driver answers that step as the base does for settings that need no prescan (all of
// these do not) and then sets the accessories exactly as the family does.
class CKoval2DriverWithoutBasePrescan : public CKoval2Driver {
public:
    uint16_t PrescanIfNeeded(CScanSettings*, ScanProgressCallback) override { return SendAccessories(); }
};

uint32_t Get32(const std::vector<uint8_t>& f, size_t at)
{
    return f[at] | (f[at + 1] << 8) | (f[at + 2] << 16) | (uint32_t(f[at + 3]) << 24);
}

struct JobCase {
    const char* name;
    std::vector<std::pair<std::string, std::string>> device;
    int32_t type;
    int32_t resolution;
    int32_t original;
    int32_t left, top, width, height;
};

class Koval2JobTest : public Koval2Bench {
protected:
    void SetUp() override
    {
        Koval2Bench::SetUp();
        m_strPath = testsupport::ProgramDirectory() + "koval2_scan.bmp";
        DeleteFileA(m_strPath.c_str());
    }
    void TearDown() override
    {
        DeleteFileA(m_strPath.c_str());
        Koval2Bench::TearDown();
    }

    void StartJobDriver(const JobCase& c)
    {
        std::vector<std::pair<std::string, std::string>> options = c.device;
        options.push_back({"lut", "1"});        // identity tables that keep the chart's values
        Start(options);
        if (BasePrescanPending()) {
            m_pDriver = std::make_unique<CKoval2DriverWithoutBasePrescan>();
            g_pScannerDriver = m_pDriver.get();
            m_pDriver->InitCapabilities();
            m_pDriver->SetDefaultSettings(&m_Settings);
        }
        SetIni("General", "File extension", "1");
        Select(c.type, c.resolution, c.left, c.top, c.width, c.height);
        m_Settings.SetParamAllTypes(kParamScale, 100);
        m_Settings.SetParam(kParamOriginal, c.original);
    }

    uint16_t ScanToFile()
    {
        CScanJob job(&m_Settings, nullptr);
        uint16_t result = job.ScanToFile(m_strPath.c_str());
        job.EndScan();
        return result;
    }

    std::string m_strPath;
};

}  // namespace

// Line art is not among these: the output pipeline thresholds every line-art image through the
// colour engine, whose build here does not have that step yet; the driver's line art is compared
// with the chart by the data-path tests.
TEST_F(Koval2JobTest, BmpFilesHoldTheChart)
{
    const JobCase kCases[] = {
        {"rgb 300 with colour lag", {{"lag", "3"}}, kImageRgb, 300, 0, 2000, 1500, 3810, 2540},
        {"grey", {}, kImageGrey, 150, 0, 500, 500, 5080, 3000},
        {"transparency", {{"transparency", "1"}}, kImageRgb, 204, 1, 3000, 3000, 3600, 2400},
        {"feeder sheet", {{"feeder", "1"}}, kImageGrey, 300, 0, 0, 0, 2540, 2540},
        {"biravo rgb", {{"model", "biravo"}, {"lag", "4"}}, kImageRgb, 250, 0, 1000, 1000, 2540, 2540},
    };
    for (const JobCase& c : kCases) {
        SCOPED_TRACE(c.name);
        StartJobDriver(c);
        int sheetsBefore = Device().FeederSheets();
        ASSERT_EQ(1, ScanToFile()) << testing::PrintToString(m_Messages.Ids());
        EXPECT_TRUE(m_Messages.Ids().empty());
        EXPECT_FALSE(Device().IsScanning());
        // This driver scans from the glass: a sheet in the feeder stays where it is.
        EXPECT_EQ(sheetsBefore, Device().FeederSheets());
        EXPECT_EQ(0, Device().LastScan().accessory & 0x01);
        EXPECT_EQ(c.original == 1 ? 0x04 : 0, Device().LastScan().accessory & 0x04);

        std::ifstream in(m_strPath, std::ios::binary);
        std::vector<uint8_t> file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        ASSERT_GT(file.size(), 62u);
        ASSERT_EQ('B', file[0]);
        uint16_t bitCount = uint16_t(file[28] | (file[29] << 8));
        EXPECT_EQ(c.type == kImageGrey ? 8 : 24, bitCount);
        uint32_t offset = Get32(file, 10);
        uint32_t width = Get32(file, 18);
        uint32_t height = Get32(file, 22);
        uint32_t stride = (width * bitCount + 31) / 32 * 4;
        ASSERT_EQ(offset + stride * height, file.size());

        CChartWindow chart = Device().LastScan().chart;
        std::vector<uint8_t> device = CTestChart::Render(chart);
        size_t rowBytes = CTestChart::BytesPerLine(chart);
        ASSERT_GE(uint32_t(chart.pixelsPerLine), width);
        ASSERT_GE(uint32_t(chart.lines), height);
        uint32_t mismatches = 0;
        for (uint32_t y = 0; y < height; ++y) {
            const uint8_t* row = &file[offset + (height - 1 - y) * stride];
            const uint8_t* want = &device[y * rowBytes];
            for (uint32_t x = 0; x < width; ++x) {
                // BMP rows are bottom-up and their colour pixels blue, green, red.
                bool same = bitCount == 8 ? row[x] == want[x]
                                          : row[3 * x] == want[3 * x + 2] && row[3 * x + 1] == want[3 * x + 1] &&
                                                row[3 * x + 2] == want[3 * x];
                mismatches += same ? 0 : 1;
            }
        }
        EXPECT_EQ(0u, mismatches);
    }
}
