// What an ORBEL 35 says of itself, and the resolutions it turns a request into.

#include "tests/drivers/orbel/OrbelBench.h"

namespace {

class OrbelIdentifyTest : public OrbelBench {};

}  // namespace

TEST_F(OrbelIdentifyTest, BothModelsAreFilmScannersOfTheirEntry)
{
    struct Case {
        const char* model;
        const char* vendor;
        const char* product;
    } const kCases[] = {{"orbel", "ZELK", "ORBEL 35"}, {"vf3510", "VARDEN", "VF-3510AF"}};
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.model);
        Start({{"model", c.model}});
        EXPECT_STREQ(c.vendor, (const char*)Driver().m_strVendor);
        EXPECT_STREQ(c.product, (const char*)Driver().m_strProduct);
        EXPECT_EQ(kKindOrbel, Driver().m_nKind);
        EXPECT_FALSE(Driver().CanScanReflective());
        EXPECT_EQ(0, Driver().m_nCapabilityFlags & kCapColourOnePass);
        EXPECT_EQ(4000, Driver().m_TransparencyBed.m_nWidth);
        EXPECT_EQ(4000, Driver().m_TransparencyBed.m_nHeight);
        EXPECT_EQ(6350u, Driver().m_nMaxResolutionForType);
        EXPECT_EQ(1, m_Settings.GetParam(kParamQuality));
    }
}

TEST_F(OrbelIdentifyTest, ResolutionsBecomeWholeFractionsOfTheMaximum)
{
    struct Case {
        int32_t type;
        int32_t ruling;
        uint32_t requested;
        uint32_t x, y;
    } const kCases[] = {
        {kImageLineArt, 0, 1200, 1587, 1587},
        {kImageGrey, 0, 4000, 3175, 3175},
        {kImageGrey, 0, 317, 317, 317},
        // Four times the screen ruling: 400, a seventh of the maximum.
        {kImageGrey, 100, 1200, 453, 453},
        // Line art takes no screen ruling.
        {kImageLineArt, 100, 1200, 1587, 1587},
        {kImageGrey, 0, 10, 127, 127},
    };
    Start();
    for (const Case& c : kCases) {
        SCOPED_TRACE(testing::Message() << c.type << " " << c.ruling << " " << c.requested);
        m_Settings.SetParam(kParamImageType, c.type);
        m_Settings.SetParam(kParamScreenRuling, c.ruling);
        EXPECT_EQ(c.x, Driver().ClampResolutionX(c.requested));
        EXPECT_EQ(c.y, Driver().ClampResolutionY(c.requested));
    }
}
