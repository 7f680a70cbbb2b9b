// Whole PENDARO and OSTRAVEL scans through the scan job into BMP files, through both transports,
// compared with the chart the device scanned.

#include "tests/drivers/pendaro/PendaroBench.h"
#include "tests/drivers/support/JobBench.h"

#include <string>
#include <vector>

namespace {

struct JobCase {
    const char* name;
    CDeviceOptions device;
    int32_t type;
    int32_t resolution;
    int32_t left, top, width, height;
    int allowed;                // largest difference of a sample from the chart
};

const JobCase kPendaroJobs[] = {
    {"grey", {{"lut", "1"}}, kImageGrey, 150, 500, 500, 5080, 3000, 0},
    {"rgb with colour lag", {{"lut", "1"}, {"lag", "3"}}, kImageRgb, 300, 2000, 1500, 3810, 2540, 0},
    {"pendaro II rgb", {{"lut", "1"}, {"model", "pendaro2"}}, kImageRgb, 200, 0, 0, 2540, 2540, 0},
};

const JobCase kOstravelJobs[] = {
    {"grey", {}, kImageGrey, 150, 500, 500, 5080, 3000, 0},
    {"rgb pairs", {}, kImageRgb, 300, 2000, 1500, 3810, 2540, 0},
    {"uneven sensor rgb", {{"nonuniform", "20"}}, kImageRgb, 200, 0, 0, 5080, 2540, 2},
};

template <class TBench>
class FamilyJobTest : public JobBench<TBench>, public testing::WithParamInterface<ScsiDriverId> {
protected:
    FamilyJobTest() : JobBench<TBench>("pendaro_scan.bmp") {}

    void Run(const JobCase& c)
    {
        this->Start(c.device, GetParam());
        this->SelectForJob(c.type, c.resolution, 0, c.left, c.top, c.width, c.height);
        ASSERT_EQ(1, this->ScanToFile()) << testing::PrintToString(this->m_Messages.Ids());
        EXPECT_TRUE(this->m_Messages.Ids().empty());
        EXPECT_FALSE(this->Device().IsScanning());
        std::vector<uint8_t> file = this->ReadOutput();
        ASSERT_GT(file.size(), 62u);
        EXPECT_EQ(c.type == kImageGrey ? 8 : 24, file[28] | (file[29] << 8));
        int worst = WorstDifferenceFromChart(file, this->Device().LastScan().chart);
        EXPECT_GE(worst, 0);
        EXPECT_LE(worst, c.allowed);
    }
};

class PendaroJobTest : public FamilyJobTest<PendaroBench> {};
class OstravelJobTest : public FamilyJobTest<OstravelBench> {};

}  // namespace

TEST_P(PendaroJobTest, BmpFilesHoldTheChart)
{
    for (const JobCase& c : kPendaroJobs) {
        SCOPED_TRACE(c.name);
        Run(c);
    }
}

TEST_P(OstravelJobTest, BmpFilesHoldTheChart)
{
    for (const JobCase& c : kOstravelJobs) {
        SCOPED_TRACE(c.name);
        Run(c);
    }
}

INSTANTIATE_TEST_SUITE_P(Transports, PendaroJobTest, testing::Values(kScsiDriverNtScsi, kScsiDriverAspi32),
                         TransportName);
INSTANTIATE_TEST_SUITE_P(Transports, OstravelJobTest, testing::Values(kScsiDriverNtScsi, kScsiDriverAspi32),
                         TransportName);
