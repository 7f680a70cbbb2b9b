// Whole scans of the camera's picture through the driver and the scan job into BMP files of exactly
// the selected size, compared with the chart the camera saw, through both transports; and the
// automatic exposure by prescan.

#include "drivers/lumetra/LumetraDriver.h"

#include "core/util/Numeric.h"
#include "sim/TestChart.h"
#include "tests/drivers/lumetra/LumetraBench.h"
#include "tests/drivers/support/JobBench.h"

#include <algorithm>
#include <vector>

namespace {

class LumetraJobTest : public JobBench<LumetraBench>, public testing::WithParamInterface<ScsiDriverId> {
protected:
    LumetraJobTest() : JobBench("lumetra_scan.bmp") { }
};

class LumetraPrescanTest : public LumetraBench { };

}  // namespace

TEST_P(LumetraJobTest, BmpFilesHoldThePictureAtTheSelectedSize)
{
    struct Case {
        const char* name;
        const char* model;
        int32_t type, resolution;
        int32_t left, top, width, height;
    };
    const Case kCases[] = {
        {"GreyPart", "lumetra", kImageGrey, 300, 500, 300, 2000, 1500},
        {"RgbPart", "ocellus", kImageRgb, 600, 1000, 500, 1500, 1000},
        {"RgbWholeSensor", "lumetra", kImageRgb, 150, 0, 0, 3810, 2540},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        Start({{"model", c.model}}, GetParam());
        SelectForJob(c.type, c.resolution, 0, c.left, c.top, c.width, c.height);
        m_Settings.SetParamAllTypes(kParamAutoMinimum, 0);
        m_Settings.SetParamAllTypes(kParamAutoMaximum, 0);
        m_Settings.SetParamAllTypes(kParamCameraValue, 1);
        uint32_t selectedWidth = m_Settings.RotatedPixelWidth();
        uint32_t selectedHeight = m_Settings.RotatedPixelHeight();
        EXPECT_EQ(1, ScanToFile()) << testing::PrintToString(m_Messages.Ids());
        std::vector<uint8_t> file = ReadOutput();
        EXPECT_TRUE(m_Messages.Ids().empty());
        EXPECT_FALSE(Device().IsReservedByHost());
        ASSERT_GT(file.size(), 62u);
        ASSERT_EQ('B', file[0]);
        EXPECT_EQ(c.type == kImageGrey ? 8 : 24, file[28] | (file[29] << 8));
        EXPECT_EQ(selectedWidth, Get32(file, 18));
        EXPECT_EQ(selectedHeight, Get32(file, 22));
        const int worst = WorstDifferenceFromChart(file, Device().LastScan().chart);
        EXPECT_GE(worst, 0);
        EXPECT_LE(worst, 1);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Transports, LumetraJobTest, testing::Values(kScsiDriverNtScsi, kScsiDriverAspi32), TransportName);

TEST_F(LumetraPrescanTest, AutomaticExposureOfAPreview)
{
    // 21 x 21 mm: the prescan's 65536 pixels come at 309 ppi, within 10 % of the listed 300.
    auto prepare = [this](int32_t state, int32_t quality, int32_t value) {
        Start();
        Select(kImageRgb, 150, 500, 300, 2100, 2100);
        m_Settings.SetParamAllTypes(kParamQuality, quality);
        m_Settings.SetParamAllTypes(kParamCameraPreview, value);
        Driver().m_nState = state;
        Device().ClearLog();
    };
    // The minimum density the prescan finds, left in place by a scan's prescan (state 2).
    prepare(2, 0, 150);
    ASSERT_EQ(kDriverOk, Driver().PrescanIfNeeded(&m_Settings, nullptr));
    ASSERT_EQ(1u, Commands({0x1B}).size());
    EXPECT_EQ(300u, Device().Window().resolution);
    EXPECT_EQ(150, m_Settings.GetParam(kParamCameraPreview)) << "a scan's prescan keeps the exposure";
    const uint32_t opacity = DensityToOpacityPercent(uint32_t(m_Settings.GetParam(kParamMinDensity)));

    struct Case {
        int32_t quality;
        int32_t value;
        uint32_t factor;
    };
    const Case kCases[] = {{0, 150, 85}, {1, 150, 42}, {2, 400, 21}, {3, 150, 10}, {0, 2000, 85}, {7, 150, 10}};
    for (const Case& c : kCases) {
        SCOPED_TRACE(testing::Message() << "quality " << c.quality << " value " << c.value);
        prepare(1, c.quality, c.value);
        ASSERT_EQ(kDriverOk, Driver().PrescanIfNeeded(&m_Settings, nullptr));
        EXPECT_EQ(1u, Commands({0x1B}).size());
        uint32_t e = std::clamp<uint32_t>(c.factor * uint32_t(c.value) * opacity / 10000, 90, 1000);
        EXPECT_EQ(int32_t(e * 2 / 10 * 5), m_Settings.GetParam(kParamCameraPreview));
        EXPECT_EQ(0, m_Settings.GetParam(kParamMinDensity));
        EXPECT_EQ(4000, m_Settings.GetParam(kParamMaxDensity));
        EXPECT_EQ(0, m_Settings.GetParamForType(kImageGrey, kParamAutoMinimum));
        EXPECT_EQ(0, m_Settings.GetParamForType(kImageRgb, kParamAutoMaximum));
        EXPECT_EQ(1, Driver().m_nState);
        EXPECT_TRUE(m_Messages.Ids().empty());
    }
    // Exposure found and the camera value set: a further preview needs no prescan.
    Device().ClearLog();
    m_Settings.SetParamAllTypes(kParamCameraValue, 1);
    EXPECT_EQ(kDriverOk, Driver().PrescanIfNeeded(&m_Settings, nullptr));
    EXPECT_TRUE(Commands({0x1B}).empty());
}

TEST_F(LumetraPrescanTest, WhenAScanPrescans)
{
    struct Case {
        int32_t state;
        int32_t autoMinimum;
        int32_t cameraValue;
        int32_t previewFlag;
        bool prescans;
    };
    const Case kCases[] = {
        {2, 1, 1, 0, true},
        {2, 0, 0, 0, true},
        {2, 0, 1, 0, false},
        {2, 1, 1, 1, false},  // the preview's own scan
        {3, 1, 0, 0, false},  // idle: no view asked
        {1, 0, 1, 0, false},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(testing::Message() << "state " << c.state << " auto " << c.autoMinimum << " camera "
                                        << c.cameraValue << " preview " << c.previewFlag);
        Start();
        Select(kImageGrey, 150, 500, 300, 2100, 2100);
        m_Settings.SetParamAllTypes(kParamAutoMinimum, c.autoMinimum);
        m_Settings.SetParamAllTypes(kParamAutoMaximum, 0);
        m_Settings.SetParamAllTypes(kParamCameraValue, c.cameraValue);
        m_Settings.SetParamAllTypes(kParamPreviewFlag, c.previewFlag);
        Driver().m_nState = c.state;
        Device().ClearLog();
        EXPECT_EQ(kDriverOk, Driver().PrescanIfNeeded(&m_Settings, nullptr));
        EXPECT_EQ(c.prescans, !Commands({0x1B}).empty());
        EXPECT_EQ(c.state, Driver().m_nState);
    }
}
