// Feeder jobs: sheets scanned one after the other in one reservation, the end of the job by END OF
// DATA, a jam, and a driver that goes while the job holds the unit.

#include "drivers/fennik/FennikDriver.h"

#include "sim/TestChart.h"
#include "tests/drivers/fennik/FennikBench.h"

#include <string>
#include <vector>

namespace {

class FennikFeederTest : public FennikBench {
protected:
    void StartFeeder(const CDeviceOptions& options)
    {
        Start(options);
        SetIni("General", "ADF", "1");
        Select(kImageGrey, 100, 0, 0, 5000, 5000);
    }

    size_t Releases() const { return Commands({0x17}).size(); }
};

}  // namespace

TEST_F(FennikFeederTest, FeederSheetTranscript)
{
    // The sheet's scan without calibration (200 pixels, 198 lines); SCAN takes the sheet and the
    // unit is becoming ready for a moment; the stop asks for the next sheet, the feeder is empty,
    // the unit is released.
    StartFeeder({{"feeder", "1"}});
    Device().ClearLog();
    CFennikImage image = ScanFromReserve();
    ASSERT_EQ(kDriverOk, image.status);
    const std::vector<std::string> kExpected = {
        "00 00 00 00 00 00",
        "12 00 00 00 60 00",
        "16 00 00 00 00 00",
        "00 00 00 00 00 00",
        "2a 00 03 00 00 80 00 04 00 00",
        "00 00 00 00 00 00",
        "24 00 00 00 00 00 00 00 36 00",
        "00 00 00 00 00 00",
        "12 00 00 00 60 00",
        "28 00 80 00 00 01 00 e3 80 00",
        "28 00 80 00 00 00 00 00 00 00",
        "12 00 00 00 60 00",
        "2a 00 81 00 00 00 00 00 02 00",
        "28 00 80 00 00 00 00 01 00 00",
        "12 00 00 00 60 00",
        "00 00 00 00 00 00",
        "1b 00 00 00 00 00",
        "00 00 00 00 00 00",
        "00 00 00 00 00 00",
        "28 00 00 00 00 00 00 9a b0 00",
        "00 00 00 00 00 00",
        "24 00 00 00 00 00 00 00 36 00",
        "17 00 00 00 00 00",
    };
    EXPECT_EQ(kExpected, Device().Transcript());
    EXPECT_EQ(0xD0, Commands({0x24}).front().dataOut[8 + 42]);
    EXPECT_TRUE(m_Messages.Ids().empty());
    EXPECT_FALSE(Device().IsReservedByHost());
}

TEST_F(FennikFeederTest, ThreeSheetsInOneReservation)
{
    StartFeeder({{"feeder", "3"}});
    Device().ClearLog();
    for (int sheet = 1; sheet <= 3; ++sheet) {
        SCOPED_TRACE(sheet);
        CFennikImage image = ScanFromReserve();
        ASSERT_EQ(kDriverOk, image.status);
        EXPECT_TRUE(CTestChart::Render(Device().LastScan().chart) == image.bytes);
        EXPECT_EQ(3 - sheet, Device().FeederSheets());
        // Reserved between sheets; released once, after the last.
        EXPECT_EQ(sheet == 3 ? 1u : 0u, Releases());
    }
    EXPECT_EQ(3u, Commands({0x1B}).size());
    // END OF DATA after a sheet ends the job silently.
    EXPECT_TRUE(m_Messages.Ids().empty());

    // A further job finds the feeder empty before it reserves the unit: that one is told.
    CFennikImage empty = ScanFromReserve();
    EXPECT_EQ(kDriverAborted, empty.status);
    EXPECT_EQ(std::vector<int>{3339}, m_Messages.Ids());
    EXPECT_EQ(2u, Releases());
    EXPECT_FALSE(Device().IsReservedByHost());
}

TEST_F(FennikFeederTest, JamEndsTheJobWithItsMessage)
{
    StartFeeder({{"feeder", "3"}, {"jam", "2"}});
    ASSERT_EQ(kDriverOk, ScanFromReserve().status);
    Device().ClearLog();
    CFennikImage jammed = ScanFromReserve();
    EXPECT_EQ(kDriverAborted, jammed.status);
    EXPECT_EQ(std::vector<int>{3338}, m_Messages.Ids());
    EXPECT_EQ(1u, Releases());
    EXPECT_FALSE(Device().IsReservedByHost());
}

TEST_F(FennikFeederTest, DriverDeletedMidJobReleasesTheUnit)
{
    StartFeeder({{"feeder", "3"}});
    ASSERT_EQ(kDriverOk, ScanFromReserve().status);
    ASSERT_TRUE(Device().IsReservedByHost());
    m_pDriver.reset();
    EXPECT_FALSE(Device().IsReservedByHost());
    EXPECT_EQ("17 00 00 00 00 00", Device().Transcript().back());
}

TEST_F(FennikFeederTest, FeederOperations)
{
    StartFeeder({{"feeder", "1"}});
    CFennikDriver& d = Driver();
    EXPECT_EQ(1, d.DetectFeeder());
    EXPECT_EQ(1, d.m_bFeederActive);
    EXPECT_EQ(1, d.IsFeederLoaded());
    EXPECT_EQ(21600u, d.GetMaxWidth(0));
    EXPECT_EQ(35500u, d.GetMaxHeight(0));
    EXPECT_EQ(1u, d.EnableFeeder(0));
    EXPECT_EQ(21590u, d.GetMaxWidth(0));
    ASSERT_EQ(kDriverOk, ScanFromReserve().status);
    EXPECT_EQ(0, d.IsFeederLoaded());
}
