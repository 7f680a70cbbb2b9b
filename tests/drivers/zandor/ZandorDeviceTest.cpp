// The virtual device keeps the family's protocol: the band tests above mean something only when
// the device refuses what a real one refuses.

#include "core/scsi/ScsiBuffer.h"
#include "core/scsi/ScsiChannel.h"
#include "tests/drivers/zandor/ZandorBench.h"

#include <vector>

namespace {

class ZandorDeviceTest : public ZandorBench {
protected:
    // The device's code byte of a command it refused, 0 when it took it.
    static uint8_t Code(uint16_t result, const CScsiBuffer& block)
    {
        return (result & 0xFF) == kScsiCheckCondition ? block.m_sense[0] : uint8_t(result == 0 ? 0 : 0xFF);
    }
    uint8_t Scan(uint8_t control)
    {
        CScsiFixedBuffer<1> windows;
        return Code(g_pScsiChannel->ScanWindows(windows, control, 5000, 32), windows);
    }
    uint8_t ReadLines(uint32_t lines)
    {
        uint32_t bytesPerLine = Device().LastWindow().bytesPerLine;
        CScsiByteBuffer data(lines * bytesPerLine);
        return Code(g_pScsiChannel->Read10(data, lines, 0, 0, true, 5000, 32), data);
    }
};

}  // namespace

TEST_F(ZandorDeviceTest, RefusesReadsAndScansOutOfBandOrder)
{
    Start({{"model", "gs400"}, {"band", "10"}});
    Select(kImageGrey, 100, 0, 0, 2540, 635);  // 26 lines: bands of 10, 10 and 6
    EXPECT_EQ(0x20, Scan(0x40)) << "no window yet";
    ASSERT_EQ(kDriverOk, Driver().UpdateScanGeometry());
    ASSERT_EQ(kDriverOk, Driver().SetScanParameters(&m_Settings));
    ASSERT_EQ(26, Device().LastWindow().lines);
    struct Step {
        const char* name;
        bool scan;
        uint32_t value;  // control byte or lines
        uint8_t code;
    };
    const Step kSteps[] = {
        {"Start", true, 0x40, 0},
        {"AcrossTheBand", false, 11, 0x20},
        {"InsideTheBand", false, 6, 0},
        {"NextBandTooEarly", true, 0xC0, 0x20},
        {"RestOfTheBand", false, 4, 0},
        {"EmptyBand", false, 1, 0x20},
        {"NextBand", true, 0xC0, 0},
        {"WholeBand", false, 10, 0},
        {"LastBand", true, 0xC0, 0},
        {"PastTheWindow", false, 7, 0x20},
        {"LastLines", false, 6, 0},
        // A grey scan has one pass.
        {"NoFurtherPass", true, 0xC0, 0x20},
        {"UnknownControl", true, 0x41, 0x20},
    };
    for (const Step& s : kSteps) {
        SCOPED_TRACE(s.name);
        EXPECT_EQ(s.code, s.scan ? Scan(uint8_t(s.value)) : ReadLines(s.value));
    }
}

TEST_F(ZandorDeviceTest, RefusesWindowsItCannotScan)
{
    struct Case {
        const char* name;
        const char* model;
        size_t at;  // descriptor byte changed after the driver built it
        uint8_t value;
        uint16_t lengthField;  // the list's descriptor length, 0 to keep it
    };
    const Case kCases[] = {
        {"ColourOnAGreyModel", "gs400", 17, 5, 0},
        {"SixBitsOnAnEightBitModel", "gs400", 18, 6, 0},
        {"ResolutionBelowTheRange", "gs300", 2, 0, 0},
        {"ShortFormOnTheColourModel", "color", 0, 0, 37},
        {"TransparencyWithoutTheUnit", "color", 48, 0, 0},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        Start({{"model", c.model}});
        Select(kImageGrey, 300, 0, 0, 2540, 2540);
        ASSERT_EQ(kDriverOk, Driver().UpdateScanGeometry());
        ASSERT_EQ(kDriverOk, Driver().SetScanParameters(&m_Settings));
        std::vector<uint8_t> descriptor = Device().LastWindow().descriptor;
        descriptor[c.at] = c.value;
        uint16_t length = c.lengthField != 0 ? c.lengthField : uint16_t(descriptor.size());
        descriptor.resize(length);
        CScsiByteBuffer block(length);
        std::copy(descriptor.begin(), descriptor.end(), block.GetData());
        CScsiWindowList list(1, length);
        ASSERT_TRUE(list.SetDescriptor(0, block));
        EXPECT_EQ(0x10, Code(g_pScsiChannel->SetWindow(list, 5000, 32), list));
    }
}
