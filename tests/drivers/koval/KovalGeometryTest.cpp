// The driver predicts what the device will deliver from the device's own drop pattern; the device
// here counts its pixels and lines independently, so any disagreement shows.

#include "drivers/koval/KovalDriver.h"

#include "tests/drivers/koval/KovalBench.h"

namespace {

class KovalGeometryTest : public KovalBench { };

}  // namespace

TEST(KovalDropMask, CountsForLengthAndResolution)
{
    struct Case {
        uint32_t length;  // 1/1200 inch
        uint32_t resolution;
        uint32_t count;
    };
    const Case kCases[] = {
        {1200, 300, 300},  // every second 1/600-inch step dropped
        {1201, 300, 300},  // the remainder 1 halves to no step
        {1200, 400, 400},  // every third step dropped
        {1200, 600, 600},
        {1200, 800, 800},  // above 600 the steps are 1/1200 inch
        {600, 800, 400},
        {2550, 300, 638},  // 2 inches + 75 steps of which 38 are kept
        {0, 300, 0},
        {1, 30, 1},  // a positive length gives at least one
        {14, 30, 1},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(testing::Message() << c.length << " at " << c.resolution);
        EXPECT_EQ(c.count, KovalCountForLength(c.length, c.resolution));
        EXPECT_EQ(c.count, CKovalDevice::KeptSteps(c.length, c.resolution));
    }
    EXPECT_EQ(79u, KovalUnitsForLength(2550, 300, 1, 0));  // 638 pixels in whole bytes
    EXPECT_EQ(638u, KovalUnitsForLength(2550, 300, 8, 0));
    EXPECT_EQ(78u, KovalUnitsForLength(2550, 300, 1, 1));
    EXPECT_EQ(1u, KovalUnitsForLength(1, 300, 1, 0));
}

TEST(KovalDropMask, DriverAndDeviceAgreeOverEveryLengthAndResolution)
{
    for (uint32_t resolution : {30u, 50u, 75u, 100u, 150u, 199u, 250u, 300u, 333u, 400u, 500u, 599u, 600u}) {
        for (uint32_t length = 0; length <= 2500; ++length) {
            ASSERT_EQ(CKovalDevice::KeptSteps(length, resolution), KovalCountForLength(length, resolution))
                << length << " at " << resolution;
        }
    }
}

TEST_F(KovalGeometryTest, PredictedGeometryIsWhatTheDeviceDelivers)
{
    struct Case {
        const char* name;
        int32_t type;
        int32_t resolution;
        int32_t original;
        int32_t left, top, width, height;  // 1/100 mm
        uint32_t pixels, bytesPerLine, lines;  // as the driver predicts them
    };
    const Case kCases[] = {
        // One inch at 300 is 301 pixels of the settings (one beyond the edge); line art comes in
        // whole bytes.
        {"grey", kImageGrey, 300, 0, 0, 0, 2540, 2540, 301, 301, 301},
        {"rgb", kImageRgb, 300, 0, 1000, 500, 2540, 2540, 301, 903, 301},
        {"line art", kImageLineArt, 300, 0, 0, 0, 2540, 2540, 304, 38, 301},
        {"odd resolution", kImageGrey, 217, 0, 300, 300, 3000, 1700, 257, 257, 146},
        {"five pixels widened to sixteen", kImageGrey, 300, 0, 0, 0, 42, 2540, 16, 16, 301},
        // 623 steps left of the bed at 100 ppi: 311 1/600-inch steps, 52 of them kept.
        {"clipped at the bed's right edge", kImageGrey, 100, 0, 19000, 0, 5000, 1000, 52, 52, 40},
        {"transparency", kImageRgb, 150, 1, 1000, 1000, 5000, 5000, 296, 888, 296},
    };
    Start({{"transparency", "1"}});
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        Select(c.type, c.resolution, c.left, c.top, c.width, c.height);
        m_Settings.SetParam(kParamOriginal, c.original);
        ASSERT_EQ(kDriverOk, StartScan());
        EXPECT_EQ(c.pixels, m_Settings.GetPixelsPerLine());
        EXPECT_EQ(c.bytesPerLine, m_Settings.GetBytesPerLine());
        EXPECT_EQ(c.lines, m_Settings.GetLineCount());
        CKovalScan scan = Device().LastScan();
        EXPECT_EQ(m_Settings.GetPixelsPerLine(), scan.pixels);
        EXPECT_EQ(m_Settings.GetBytesPerLine(), scan.bytesPerLine);
        EXPECT_EQ(m_Settings.GetLineCount(), scan.lines);
        Driver().StopScan(0);
    }
}
