// Whole scans from the virtual device through the driver and the scan job into BMP files, compared
// with the chart the device scanned.

#include "drivers/koval2/Koval2Driver.h"

#include "core/image/Dib.h"
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

    void StartJobDriver(const JobCase& c, ScsiDriverId transport = kScsiDriverNtScsi)
    {
        std::vector<std::pair<std::string, std::string>> options = c.device;
        options.push_back({"lut", "1"});        // identity tables that keep the chart's values
        Start(options, transport);
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

std::vector<uint8_t> ReadWholeFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)),
                                std::istreambuf_iterator<char>());
}

void WriteWholeFile(const std::string& path, const std::string& content)
{
    std::ofstream(path, std::ios::binary) << content;
}

// Files the scan job writes its image into before it replaces the output file.
int TemporaryImageFiles()
{
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((testsupport::ProgramDirectory() + "brv*.tmp").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return 0;
    int count = 0;
    do {
        ++count;
    } while (FindNextFileA(search, &found));
    FindClose(search);
    return count;
}

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

// A prescan lowers the transfer size for its few lines per page; the scan after it still gets the
// resolution it asked for, and so does a scan with a transfer size setting below one line.
TEST_F(Koval2JobTest, EveryScanStartsFromTheTransferSizeOfTheDevice)
{
    struct Case {
        const char* name;
        int32_t type;
        int32_t resolution;
        int32_t height;
        const char* scanBuffer;
        int32_t prescanResolution;      // 0: no prescan first
    };
    const Case kCases[] = {
        {"1200 ppi A4 after a prescan", kImageGrey, 1200, 29700, "0", 12},
        {"rgb with a transfer size setting of 1 KB", kImageRgb, 300, 2540, "1", 0},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        StartJobDriver({c.name, {}, kImageGrey, c.prescanResolution, 0, 0, 0, 21000, 29700});
        SetIni("General", "ScanBuffer", c.scanBuffer);
        if (c.prescanResolution != 0) {
            // The prescan's scan: the whole page at a few pixels per inch into memory.
            CDib8 preview(m_Settings.RotatedPixelWidth(), m_Settings.RotatedPixelHeight(),
                          uint32_t(c.prescanResolution));
            CScanJob job(&m_Settings, nullptr);
            ASSERT_EQ(kDriverOk, job.ScanToMemory(preview))
                << testing::PrintToString(m_Messages.Ids());
            job.EndScan();
            ASSERT_EQ(c.prescanResolution, Device().LastScan().xResolution);
        }
        Select(c.type, c.resolution, 0, 0, 21000, c.height);
        ASSERT_EQ(1, ScanToFile()) << testing::PrintToString(m_Messages.Ids());
        EXPECT_EQ(c.resolution, Device().LastScan().xResolution);
        std::vector<uint8_t> file = ReadWholeFile(m_strPath);
        ASSERT_GT(file.size(), 62u);
        EXPECT_EQ(uint32_t(21000 * c.resolution / 2540), Get32(file, 18));
        EXPECT_EQ(uint32_t(c.height * c.resolution / 2540), Get32(file, 22));
        SetIni("General", "ScanBuffer", "0");
    }
}

// A device that fails in the middle of the image, through either transport: the scan fails, the
// file it was to replace keeps its old content and no half-written image is left behind.
TEST_F(Koval2JobTest, ADeviceFailingMidScanLeavesTheOldFile)
{
    struct Case {
        const char* name;
        ScsiDriverId transport;
        SimFaultKind fault;
    };
    const Case kCases[] = {
        {"short READ(6), pass-through", kScsiDriverNtScsi, SimFaultKind::ShortTransfer},
        {"short READ(6), ASPI", kScsiDriverAspi32, SimFaultKind::ShortTransfer},
        {"hardware error, ASPI", kScsiDriverAspi32, SimFaultKind::Check},
    };
    const std::string old = "the picture scanned yesterday";
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        StartJobDriver({c.name, {}, kImageRgb, 300, 0, 0, 0, 5080, 5080}, c.transport);
        CSimFault fault;
        fault.kind = c.fault;
        fault.opcode = 0x08;
        fault.skip = 3;
        fault.bytes = 100;
        fault.sense = CSimSense{0x04, 0x44, 0x00};
        Device().AddFault(fault);
        WriteWholeFile(m_strPath, old);
        m_Messages.Clear();
        EXPECT_NE(1, ScanToFile());
        EXPECT_EQ(std::vector<int>{3335}, m_Messages.Ids());
        std::vector<uint8_t> file = ReadWholeFile(m_strPath);
        EXPECT_EQ(old, std::string(file.begin(), file.end()));
        EXPECT_EQ(0, TemporaryImageFiles());
        EXPECT_FALSE(Device().IsScanning());
    }
}
