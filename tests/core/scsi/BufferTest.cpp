#include <gtest/gtest.h>

#include <cstring>

#include "core/scsi/ScsiBuffer.h"

namespace {

TEST(ScsiBuffer, InquiryLengthFollowsTheAdditionalLength)
{
    const struct {
        uint8_t byte4;
        uint32_t shortLength;
        uint32_t longLength;
    } cases[] = {{0, 5, 5}, {31, 36, 36}, {91, 96, 96}, {200, 96, 205}, {255, 96, 240}};
    for (const auto& c : cases) {
        CScsiInquiryBuffer shortBlock;
        CLongInquiryBuffer longBlock;
        shortBlock.GetData()[4] = c.byte4;
        longBlock.GetData()[4] = c.byte4;
        EXPECT_EQ(shortBlock.GetLength(), c.shortLength) << int(c.byte4);
        EXPECT_EQ(longBlock.GetLength(), c.longLength) << int(c.byte4);
    }
}

TEST(ScsiBuffer, ByteBufferIsZeroedAndEmptyOneStillHasAPointer)
{
    CScsiByteBuffer block(300);
    ASSERT_NE(block.GetData(), nullptr);
    for (uint32_t i = 0; i < 300; ++i)
        ASSERT_EQ(block.GetData()[i], 0);
    CScsiByteBuffer empty(0);
    EXPECT_NE(empty.GetData(), nullptr);
    EXPECT_EQ(empty.GetLength(), 0u);
}

TEST(ScsiBuffer, ByteBufferWhoseMemoryFailedKeepsItsLength)
{
    if (sizeof(void*) > 4)
        GTEST_SKIP() << "a 64-bit process can allocate nearly 4 GB";
    CScsiByteBuffer huge(0xFFFFF000u);
    EXPECT_EQ(huge.GetData(), nullptr);
    EXPECT_EQ(huge.GetLength(), 0xFFFFF000u);
}

TEST(ScsiBuffer, WindowListPlacesDescriptors)
{
    CScsiWindowList list(2, 110);
    ASSERT_EQ(list.GetLength(), 228u);
    EXPECT_EQ(list.GetData()[6], 0);
    EXPECT_EQ(list.GetData()[7], 110);
    CScsiFixedBuffer<110> descriptor;
    std::memset(descriptor.GetData(), 0x77, 110);
    ASSERT_TRUE(list.SetDescriptor(1, descriptor));
    EXPECT_EQ(list.GetData()[117], 0);
    EXPECT_EQ(list.GetData()[118], 0x77);
    EXPECT_EQ(list.GetData()[227], 0x77);

    // Past the end, or a source longer than the slots left, is refused.
    EXPECT_FALSE(list.SetDescriptor(2, descriptor));
    CScsiFixedBuffer<110> fine;
    CScsiWindowList small(1, 48);
    EXPECT_FALSE(small.SetDescriptor(0, fine));
    EXPECT_EQ(small.GetData()[55], 0);
}

TEST(ScsiBuffer, FixedBlocksAreZeroFilled)
{
    CScsiFixedBuffer<40> block;
    EXPECT_EQ(block.GetLength(), 40u);
    for (int i = 0; i < 40; ++i)
        EXPECT_EQ(block.GetData()[i], 0);
}

}  // namespace
