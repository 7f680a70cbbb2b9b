#include "core/devices/DeviceSearch.h"
#include "core/image/Print.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

// A printer device context that records what printing asks of it.
class CRecordingTarget : public CPrintTarget {
public:
    int StartDoc(const char*) override { return Log("StartDoc", m_nStartDoc); }
    int StartPage() override { return Log("StartPage", m_nStartPage); }
    int EndPage() override { return Log("EndPage", 1); }
    int EndDoc() override { return Log("EndDoc", 1); }
    int AbortDoc() override { return Log("AbortDoc", 1); }
    int Escape(int escape, int, const void* in, void* out) override
    {
        if (escape == 8) {
            int asked = *(const int*)in;
            return (asked == 3 && m_bNextBand) || (asked == 24 && m_bBandInfo) ? 1 : 0;
        }
        if (escape == 3) {
            RECT* band = (RECT*)out;
            if (m_nBand >= m_Bands.size())
                return m_nNextBandEnd;
            *band = m_Bands[m_nBand++];
            m_Calls.push_back("Band");
            return 1;
        }
        return 1;
    }
    int SetStretchBltMode(int) override { return 1; }
    int SetDIBitsToDevice(int x, int y, int width, int height, int sourceX, int sourceY, int, int, const void*,
                          const BITMAPINFO*) override
    {
        m_Calls.push_back("Copy " + Rect(x, y, width, height) + " from " + Point(sourceX, sourceY));
        return 1;
    }
    int StretchDIBits(int x, int y, int width, int height, int sourceX, int sourceY, int sourceWidth,
                      int sourceHeight, const void*, const BITMAPINFO*) override
    {
        m_Calls.push_back("Stretch " + Rect(x, y, width, height) + " from " +
                          Rect(sourceX, sourceY, sourceWidth, sourceHeight));
        return 1;
    }
    void Delete() override { m_Calls.push_back("Delete"); }

    std::vector<std::string> m_Calls;
    int m_nStartDoc = 1;
    int m_nStartPage = 1;
    bool m_bNextBand = true;
    bool m_bBandInfo = false;
    std::vector<RECT> m_Bands;
    size_t m_nBand = 0;
    int m_nNextBandEnd = 1;   // what NEXTBAND answers after the last band: 1 with an empty band

private:
    int Log(const char* name, int result)
    {
        m_Calls.push_back(name);
        return result;
    }
    static std::string Point(int x, int y) { return std::to_string(x) + "," + std::to_string(y); }
    static std::string Rect(int x, int y, int w, int h) { return Point(x, y) + " " + Point(w, h); }
};

class PrintTest : public ::testing::Test {
protected:
    void SetUp() override { g_nWindowsClass = 4; }
    void TearDown() override { g_nWindowsClass = 4; }
    CDib8 m_Dib{100, 50, 300};
};

using Calls = std::vector<std::string>;

}  // namespace

TEST_F(PrintTest, UnscaledAndStretchedTransfers)
{
    struct Case {
        const char* name;
        RECT dest;
        Calls calls;
    };
    const Case cases[] = {
        {"exact size", {10, 20, 110, 70},
         {"StartDoc", "StartPage", "Copy 10,20 100,50 from 0,0", "EndPage", "EndDoc", "Delete"}},
        {"twice the size", {0, 0, 200, 100},
         {"StartDoc", "StartPage", "Stretch 0,0 200,100 from 0,0 100,50", "EndPage", "EndDoc", "Delete"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CRecordingTarget target;
        EXPECT_EQ(0u, PrintDibCopies(m_Dib, c.dest, 1, "scan", &target, 1));
        EXPECT_EQ(c.calls, target.m_Calls);
    }
}

TEST_F(PrintTest, BandsSendOnlyTheirPartOfTheBitmap)
{
    g_nWindowsClass = 2;
    CRecordingTarget target;
    target.m_Bands = {{0, 0, 200, 50}, {0, 50, 200, 100}, {300, 300, 400, 400}, {0, 0, 0, 0}};
    EXPECT_EQ(0u, PrintDibCopies(m_Dib, RECT{0, 0, 200, 100}, 1, "scan", &target, 1));
    EXPECT_EQ((Calls{"StartDoc", "StartPage", "Band", "Stretch 0,0 200,50 from 0,25 100,25", "Band",
                     "Stretch 0,50 200,50 from 0,0 100,25", "Band", "Band", "EndPage", "EndDoc", "Delete"}),
              target.m_Calls);
}

TEST_F(PrintTest, BandingFailures)
{
    g_nWindowsClass = 1;
    CRecordingTarget noBanding;
    noBanding.m_bNextBand = false;
    EXPECT_EQ(kPrintNoBanding, PrintDibCopies(m_Dib, RECT{0, 0, 100, 50}, 1, "scan", &noBanding, 2));
    EXPECT_EQ((Calls{"StartDoc", "StartPage", "EndPage", "EndDoc", "Delete"}), noBanding.m_Calls);

    CRecordingTarget brokenBand;
    brokenBand.m_nNextBandEnd = -1;
    EXPECT_EQ(kPrintNextBandFailed, PrintDibCopies(m_Dib, RECT{0, 0, 100, 50}, 1, "scan", &brokenBand, 1));

    // Windows 95 and later ignore the banding flag.
    g_nWindowsClass = 3;
    CRecordingTarget modern;
    modern.m_bNextBand = false;
    EXPECT_EQ(0u, PrintDibCopies(m_Dib, RECT{0, 0, 100, 50}, 1, "scan", &modern, 1));
}

TEST_F(PrintTest, CopiesAreJobsOfTheirOwn)
{
    CRecordingTarget target;
    EXPECT_EQ(0u, PrintDibCopies(m_Dib, RECT{0, 0, 100, 50}, 0, "scan", &target, 3));
    EXPECT_EQ(3, std::count(target.m_Calls.begin(), target.m_Calls.end(), std::string("StartDoc")));
    EXPECT_EQ(3, std::count(target.m_Calls.begin(), target.m_Calls.end(), std::string("EndDoc")));

    CRecordingTarget none;
    EXPECT_EQ(0u, PrintDibCopies(m_Dib, RECT{0, 0, 100, 50}, 0, "scan", &none, 0));
    EXPECT_EQ(Calls{"Delete"}, none.m_Calls);

    EXPECT_EQ(kPrintNoDc, PrintDibCopies(m_Dib, RECT{0, 0, 100, 50}, 0, "scan", (CPrintTarget*)nullptr, 1));
}

TEST_F(PrintTest, AFailedStartAbandonsTheJobAndTheCopiesAfterIt)
{
    CRecordingTarget page;
    page.m_nStartPage = 0;
    EXPECT_EQ(kPrintStartFailed, PrintDibCopies(m_Dib, RECT{0, 0, 100, 50}, 0, "scan", &page, 2));
    EXPECT_EQ((Calls{"StartDoc", "StartPage", "AbortDoc", "Delete"}), page.m_Calls);

    CRecordingTarget doc;
    doc.m_nStartDoc = -1;
    EXPECT_EQ(kPrintStartFailed, PrintDibCopies(m_Dib, RECT{0, 0, 100, 50}, 0, "scan", &doc, 2));
    EXPECT_EQ((Calls{"StartDoc", "Delete"}), doc.m_Calls);
}
