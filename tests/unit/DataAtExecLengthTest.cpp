#include <gtest/gtest.h>

#include <cstdint>

#include "framework/odbc/RecordFieldExchange.h"

// A long binary goes to the driver while its statement executes, announced by
// its length cell. Windows keeps that cell in 32 bits, so the length in it is
// capped: the driver is told the whole length up to the cap, and no more than
// the cap beyond it, never a number that wraps.
TEST(DataAtExecLengthTest, ALengthUpToTheCapIsAnnouncedWhole) {
    EXPECT_EQ(CappedDataAtExecLength(0), -100);
    EXPECT_EQ(CappedDataAtExecLength(1), -101);
    EXPECT_EQ(CappedDataAtExecLength(64U << 20), -67108964);
    EXPECT_EQ(CappedDataAtExecLength(2147483547U), -2147483647);
}

TEST(DataAtExecLengthTest, ALongerLengthIsAnnouncedAsTheCap) {
    for (const std::uint32_t length : {2147483548U, 2147483648U, 0xFFFFFFF0U, 0xFFFFFFFFU}) {
        EXPECT_EQ(CappedDataAtExecLength(length), -2147483647) << length;
    }
}
