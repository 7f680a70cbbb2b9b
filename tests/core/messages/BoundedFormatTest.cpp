#include "core/messages/BoundedFormat.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

struct FormatCase {
    int size;
    const char* expected;
};

// A status line of 80 bytes must take any catalog text without writing past its end.
const FormatCase kSizes[] = {
    {80, "Scan time: 12345 seconds, file C:\\SCANS\\IMAGE.TIF"},
    {20, "Scan time: 12345 se"},
    {1, ""},
};

TEST(BoundedFormat, CutsAtTheBufferAndNeverBeyond)
{
    for (const FormatCase& c : kSizes) {
        char buffer[100];
        std::memset(buffer, '#', sizeof buffer);
        const int length =
            BoundedFormat(buffer, c.size, "Scan time: %d seconds, file %s", 12345, "C:\\SCANS\\IMAGE.TIF");
        EXPECT_STREQ(buffer, c.expected) << c.size;
        EXPECT_EQ(length, (int)std::strlen(c.expected));
        for (int i = c.size; i < (int)sizeof buffer; ++i)
            ASSERT_EQ(buffer[i], '#') << "size " << c.size << " byte " << i;
    }
}

TEST(BoundedFormat, NoFormatGivesAnEmptyText)
{
    char buffer[8] = "stale";
    EXPECT_EQ(BoundedFormat(buffer, sizeof buffer, nullptr), 0);
    EXPECT_STREQ(buffer, "");
}

}  // namespace
