#include "drivers/koval2/LineInterleaver.h"

#include "drivers/koval2/Koval2Driver.h"
#include "tests/drivers/support/DriverBench.h"

#include <string>
#include <vector>

namespace {

constexpr uint32_t kPixels = 4;
constexpr uint32_t kLineLength = kPixels + 2;     // 8-bit records: two header bytes

// An 8-bit record: tag, then samples that name colour and line (colour * 100 + line * 10 + x).
void AppendRecord(std::vector<uint8_t>& stream, char tag, int line)
{
    stream.push_back(uint8_t(line));
    stream.push_back(uint8_t(tag));
    int colour = tag == 'R' ? 0 : tag == 'G' ? 1 : tag == 'B' ? 2 : 3;
    for (uint32_t x = 0; x < kPixels; ++x)
        stream.push_back(uint8_t(colour * 100 + line * 10 + x));
}

// "RGBRGB" -> records numbered per colour in arrival order.
std::vector<uint8_t> Stream(const std::string& tags)
{
    std::vector<uint8_t> stream;
    int counts[4] = {};
    for (char tag : tags) {
        int colour = tag == 'R' ? 0 : tag == 'G' ? 1 : tag == 'B' ? 2 : 3;
        AppendRecord(stream, tag, counts[colour]++);
    }
    return stream;
}

std::vector<uint8_t> ExpectedLine(int line)
{
    std::vector<uint8_t> out;
    for (uint32_t x = 0; x < kPixels; ++x) {
        for (int colour = 0; colour < 3; ++colour)
            out.push_back(uint8_t(colour * 100 + line * 10 + x));
    }
    return out;
}

class LineInterleaverTest : public DriverBench {};

}  // namespace

TEST_F(LineInterleaverTest, ArrivalOrdersGiveLinesOnceEveryColourIsThere)
{
    struct Case {
        const char* tags;
        uint32_t maxLines;
        uint32_t expected;
    };
    const Case kCases[] = {
        {"RGB", 8, 1},
        {"RGBRGB", 8, 2},
        {"RRGGBB", 8, 2},
        {"BGRGRB", 8, 2},
        {"RRGGB", 8, 1},        // the second red and green wait for their blue
        {"RGBRGB", 1, 1},       // never more lines than asked for
        {"RRRGG", 8, 0},
    };
    const uint32_t outBytes = 3 * kLineLength - 6;
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.tags);
        CLineInterleaver interleaver;
        std::vector<uint8_t> stream = Stream(c.tags);
        uint32_t records = uint32_t(std::string(c.tags).size());
        ASSERT_EQ(0u, interleaver.AddLines(stream.data(), kLineLength, records, 100, 0));
        std::vector<uint8_t> out(8 * outBytes, 0xEE);
        int32_t error = -1;
        uint32_t lines = interleaver.GetLines(c.maxLines, outBytes, out.data(), &error, 0);
        EXPECT_EQ(0, error);
        ASSERT_EQ(c.expected, lines);
        for (uint32_t line = 0; line < lines; ++line)
            EXPECT_EQ(ExpectedLine(int(line)), std::vector<uint8_t>(out.begin() + line * outBytes,
                                                                    out.begin() + (line + 1) * outBytes));
    }
}

TEST_F(LineInterleaverTest, LaggingColoursSurviveTheReuseOfTheTransferBlock)
{
    // Green one line late, blue two: the first transfer completes only line 0; the records of
    // lines 1 and 2 must outlive the block, which the driver refills before the next call.
    CLineInterleaver interleaver;
    const uint32_t outBytes = 3 * kLineLength - 6;
    std::vector<uint8_t> block;
    AppendRecord(block, 'R', 0);
    AppendRecord(block, 'R', 1);
    AppendRecord(block, 'G', 0);
    AppendRecord(block, 'R', 2);
    AppendRecord(block, 'G', 1);
    AppendRecord(block, 'B', 0);
    ASSERT_EQ(0u, interleaver.AddLines(block.data(), kLineLength, 6, 3, 0));
    std::vector<uint8_t> out(3 * outBytes);
    int32_t error = 0;
    ASSERT_EQ(1u, interleaver.GetLines(3, outBytes, out.data(), &error, 0));
    EXPECT_EQ(ExpectedLine(0), std::vector<uint8_t>(out.begin(), out.begin() + outBytes));

    std::fill(block.begin(), block.end(), 0xCC);    // the driver reads the next transfer into it
    std::vector<uint8_t> next;
    AppendRecord(next, 'G', 2);
    AppendRecord(next, 'B', 1);
    AppendRecord(next, 'B', 2);
    ASSERT_EQ(0u, interleaver.AddLines(next.data(), kLineLength, 3, 3, 0));
    ASSERT_EQ(2u, interleaver.GetLines(3, outBytes, out.data(), &error, 0));
    EXPECT_EQ(ExpectedLine(1), std::vector<uint8_t>(out.begin(), out.begin() + outBytes));
    EXPECT_EQ(ExpectedLine(2), std::vector<uint8_t>(out.begin() + outBytes, out.begin() + 2 * outBytes));
    EXPECT_EQ(3u, interleaver.LinesProduced());
}

TEST_F(LineInterleaverTest, RecordsBeyondTheScanAreIgnored)
{
    CLineInterleaver interleaver;
    std::vector<uint8_t> stream = Stream("RGBRGB");
    ASSERT_EQ(0u, interleaver.AddLines(stream.data(), kLineLength, 6, 1, 0));
    EXPECT_EQ(1u, interleaver.m_nRed);
    EXPECT_EQ(1u, interleaver.m_nBlue);
    std::vector<uint8_t> out(2 * (3 * kLineLength - 6));
    int32_t error = 0;
    EXPECT_EQ(1u, interleaver.GetLines(2, 3 * kLineLength - 6, out.data(), &error, 0));
}

TEST_F(LineInterleaverTest, UnknownTagStopsTheScanAndMakesLaterScansBlocking)
{
    CKoval2Driver driver;
    driver.SetProductName("KOVAL II");
    g_pScannerDriver = &driver;
    for (char tag : {'\0', 'X', 'r'}) {
        SetIni("KOVAL II", "Blocking", "0");
        m_Messages.Clear();
        std::vector<uint8_t> stream = Stream("RG");
        AppendRecord(stream, tag, 0);
        CLineInterleaver interleaver;
        EXPECT_EQ(255u, interleaver.AddLines(stream.data(), kLineLength, 3, 10, 0));
        EXPECT_EQ(std::vector<int>{kMsgUnknownLineFormat}, m_Messages.Ids());
        EXPECT_EQ(1, GetIni("KOVAL II", "Blocking", 0));
    }
    g_pScannerDriver = nullptr;
}

TEST_F(LineInterleaverTest, SixteenBitSamplesArriveHighByteFirst)
{
    // Records of 16-bit samples: a header word, then one sample per pixel, high byte first.
    const uint32_t pixels = 2;
    const uint32_t lineLength = pixels + 1;
    struct Case {
        uint32_t shift;         // 16 - bits per channel when samples are widened, else 0
        uint16_t device;
        uint16_t expected;
    };
    const Case kCases[] = {
        {0, 0x0ABC, 0x0ABC},
        {4, 0x0ABC, 0xABCA},    // 12 bits: the top four bits repeat in the low four
        {4, 0x0FFF, 0xFFFF},
        {6, 0x03FF, 0xFFFF},    // 10 bits
        {6, 0x0200, 0x8020},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.device);
        std::vector<uint8_t> stream;
        for (char tag : {'R', 'G', 'B'}) {
            stream.insert(stream.end(), {0, uint8_t(tag)});
            for (uint32_t x = 0; x < pixels; ++x)
                stream.insert(stream.end(), {uint8_t(c.device >> 8), uint8_t(c.device)});
        }
        CLineInterleaver interleaver(c.shift);
        ASSERT_EQ(0u, interleaver.AddLines(stream.data(), lineLength, 3, 1, 1));
        const uint32_t outBytes = (3 * lineLength - 3) * 2;
        std::vector<uint16_t> out(outBytes / 2);
        int32_t error = 0;
        ASSERT_EQ(1u, interleaver.GetLines(1, outBytes, reinterpret_cast<uint8_t*>(out.data()), &error, 1));
        EXPECT_EQ(std::vector<uint16_t>(outBytes / 2, c.expected), out);
    }
}

TEST_F(LineInterleaverTest, FullQueueFailsInsteadOfDroppingRecords)
{
    // Red runs 2048 records ahead of green and blue: one more red record has no place.
    std::string tags(CLineQueue::kCapacity, 'R');
    std::vector<uint8_t> stream = Stream(tags + "R");
    CLineInterleaver interleaver;
    EXPECT_EQ(255u, interleaver.AddLines(stream.data(), kLineLength, CLineQueue::kCapacity + 1, 5000, 0));
    EXPECT_EQ(std::vector<int>{kMsgLineQueueFull}, m_Messages.Ids());
    EXPECT_EQ(CLineQueue::kCapacity, interleaver.m_nRed);
}
