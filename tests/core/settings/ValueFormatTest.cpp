#include "SettingsTestSupport.h"

#include "core/messages/MessageCatalog.h"
#include "tests/support/Screenshot.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace {

// A catalog whose message n reads "mn", so that each expected text names the unit message used.
class ValueFormatTest : public SettingsTest {
protected:
    static void SetUpTestSuite()
    {
        std::string path = testsupport::ProgramDirectory() + "UNI.MSG";
        FILE* file = fopen(path.c_str(), "w");
        ASSERT_NE(nullptr, file);
        fprintf(file, "\"ZELK units\"\n");
        for (int id = kFirstMessageId + 1; id <= kLastMessageId; ++id)
            fprintf(file, "\"m%d\"\n", id);
        fclose(file);
        s_pCatalog = new CMessageCatalog("UNI.MSG");
        g_pMessageCatalog = s_pCatalog;
    }
    static void TearDownTestSuite()
    {
        g_pMessageCatalog = nullptr;
        delete s_pCatalog;
    }

    std::string Format(int32_t value, int unit, int32_t resolution = 0)
    {
        char text[kFormatValueSize];
        m_Settings.FormatValue(text, value, unit, resolution);
        return text;
    }

    static CMessageCatalog* s_pCatalog;
};

CMessageCatalog* ValueFormatTest::s_pCatalog = nullptr;

struct UnitCase {
    int unit;
    int32_t value;
    const char* text;
};

// Scale (id 6) 50, quality factor (id 99) 20, resolution argument 300, driver maximum 2400 ppi.
const UnitCase kUnits[] = {
    {0, -3, "-3"},
    {1, 300, "300 m3151"},
    {2, 300, "300 m3149"},           // 300 x 1000 / (20 x 50)
    {3, 300, "118 m3150"},           // 300 x 100000 / (50 x 20 x 254)
    {4, 50, "50 %"},
    {5, 0x2312, "m3108 1.8"},        // the low byte in tenths
    {6, 0x1234, "52 %"},
    {7, 133, "133 m3149"},
    {8, 133, "52 m3150"},
    {9, 2545, "25.5 m3145"},         // 1/100 mm as mm, rounded half up
    {10, 2545, "2.55 m3146"},
    {11, 2540, "1.00 m3147"},
    {12, 423, "1.00 m3148"},
    {13, 0x180000, "1.5 m4481"},
    {13, 0x100000, "1024.0 m4480"},
    {13, 1536, "1.5 m4480"},
    {14, 2540, "300 m3144"},
    {15, 1234, "1.234 D"},
    {16, 1205, "12.05"},             // a dot area keeps both digits of its fraction
    {16, 1250, "12.50"},
    {17, 150, "300 m3153"},
    {18, 1234, "1.234 m3145"},
    {19, 254, "100 m3152"},
    {20, 7, "7 %"},
    {21, 7, "7 %"},
    {22, 125, "12.5"},
    {23, -5, "-5 %"},
    {24, -7, "-7"},
    {25, 7, "7"},
    {26, 3, "3 m3154"},
    {27, 1500, "1.500 %"},
    {28, -90, "-90 \xB0"},
    {29, 600, "25.1 %"},             // (600000 + 3000) / 2400 tenths
    {30, 200, "200 m4102"},
    {31, 125, "12.5"},
    {32, 42, "42"},
};

}  // namespace

TEST_F(ValueFormatTest, EachUnitCode)
{
    ASSERT_TRUE(s_pCatalog->IsUsable());
    m_Settings.SetParam(kParamScale, 50);
    m_Settings.SetParam(kParamQualityFactor, 20);
    for (const UnitCase& c : kUnits)
        EXPECT_EQ(c.text, Format(c.value, c.unit, 300)) << "unit " << c.unit;
}

TEST_F(ValueFormatTest, ZeroDivisorsCountAsOne)
{
    g_pScannerDriver = nullptr;
    EXPECT_EQ("60300.0 %", Format(600, 29));     // no driver, no maximum resolution
    EXPECT_EQ("300000 m3149", Format(300, 2)); // scale and factor 0
}

TEST_F(ValueFormatTest, LongUnitTextIsCutToTheBuffer)
{
    static char longUnit[] = "uuuuuuuuuuuuuuuuuuuuuuuuuuuuuuuuuuuuuuuuuuuuuuuuuuuuuuuuuuuuuuuuuuuuuuuuuuuuuu";
    char*& entry = s_pCatalog->m_pEntries[3151 - kFirstMessageId];
    char* saved = entry;
    entry = longUnit;
    char text[kFormatValueSize + 8];
    memset(text, '#', sizeof text);
    m_Settings.FormatValue(text, 7, 1, 0);
    entry = saved;
    EXPECT_EQ((size_t)kFormatValueSize - 1, strlen(text));
    EXPECT_EQ('#', text[kFormatValueSize]);
}

namespace {

// The shipped English catalog: each unit word must name what its unit code counts.
class ShippedUnitWordTest : public SettingsTest {
protected:
    static void SetUpTestSuite()
    {
        s_pCatalog = new CMessageCatalog("ENG.MSG");
        g_pMessageCatalog = s_pCatalog;
    }
    static void TearDownTestSuite()
    {
        g_pMessageCatalog = nullptr;
        delete s_pCatalog;
    }

    static CMessageCatalog* s_pCatalog;
};

CMessageCatalog* ShippedUnitWordTest::s_pCatalog = nullptr;

// Scale (id 6) 50, so a line-art output value of 150 is 300 per inch after scaling.
const UnitCase kShippedUnits[] = {
    {1, 300, "300 dpi"},
    {17, 150, "300 dpi"},  // the line-art output resolution, not a per cent
    {26, 8, "8 bits"},  // the Bits list's entries
    {26, 16, "16 bits"},
    {30, 400, "400 ISO"},  // the sensitivities of the camera form
    {30, 100, "100 ISO"},
};

}  // namespace

TEST_F(ShippedUnitWordTest, UnitCodesReadAsTheirQuantity)
{
    ASSERT_TRUE(s_pCatalog->IsUsable());
    m_Settings.SetParam(kParamScale, 50);
    for (const UnitCase& c : kShippedUnits) {
        char text[kFormatValueSize];
        m_Settings.FormatValue(text, c.value, c.unit, 0);
        EXPECT_STREQ(c.text, text) << "unit " << c.unit;
    }
}
