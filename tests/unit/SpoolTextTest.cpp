#include "imports/SpoolText.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {
std::vector<std::string> Lines(const CString& text) {
    std::vector<std::string> lines;
    ForEachLine(text, [&](CString& line) {
        lines.push_back(line.str());
        return true;
    });
    return lines;
}
}  // namespace

TEST(SpoolTextTest, LinesEndAtLineFeedsAndAFinalLineWithoutOneIsDropped) {
    EXPECT_EQ(Lines("a\r\n\nb\tc\nlast"), (std::vector<std::string>{"a\r", "", "b\tc"}));
    EXPECT_TRUE(Lines("no line feed at all").empty());
    EXPECT_TRUE(Lines("").empty());
    int seen = 0;
    EXPECT_FALSE(ForEachLine("1\n2\n3\n", [&](CString&) { return ++seen < 2; }));
    EXPECT_EQ(seen, 2);
}

TEST(SpoolTextTest, FieldsAreCutAtTheFirstTabOnly) {
    CString rest("CH1\t5\tA\tB\r");
    CString field;
    ASSERT_TRUE(CutField(rest, field));
    EXPECT_EQ(field, "CH1");
    ASSERT_TRUE(CutField(rest, field));
    EXPECT_EQ(field, "5");
    EXPECT_EQ(rest, "A\tB\r");
    CString none("no tab");
    field = "kept";
    EXPECT_FALSE(CutField(none, field));
    EXPECT_EQ(field, "kept");
    EXPECT_EQ(none, "no tab");
}

TEST(SpoolTextTest, NumbersAreReadAsTheCLibraryReadsThem) {
    EXPECT_EQ(ScanInt32("42"), 42);
    EXPECT_EQ(ScanInt32(" 7"), 7);
    EXPECT_EQ(ScanInt32("\t-7\r\n"), -7);
    EXPECT_EQ(ScanInt32("12abc"), 12);
    EXPECT_EQ(ScanInt32("+3"), 3);
    EXPECT_EQ(ScanInt32("x12"), std::nullopt);
    EXPECT_EQ(ScanInt32(""), std::nullopt);
    EXPECT_EQ(ScanInt32("-"), std::nullopt);
    EXPECT_EQ(ScanInt32("99999999999999999999"), 2147483647);
    EXPECT_EQ(ScanInt32("-2147483648"), -2147483647 - 1);
    EXPECT_EQ(TextToInt32("NULL"), 0);
    EXPECT_EQ(TextToInt32("42\r\nmore"), 42);
}

TEST(SpoolTextTest, AWholeNumberIsParsedStrictlyWithinThirtyTwoBits) {
    EXPECT_EQ(ParseInt32("2"), 2);
    EXPECT_EQ(ParseInt32("  007  "), 7);
    EXPECT_EQ(ParseInt32("+0"), 0);
    EXPECT_EQ(ParseInt32("-12 "), -12);
    EXPECT_EQ(ParseInt32("2147483647"), 2147483647);
    EXPECT_EQ(ParseInt32("-2147483648"), -2147483647 - 1);
    EXPECT_EQ(ParseInt32("000000000000000000002147483647"), 2147483647);
    for (const char* bad :
         {"", " ", "2x", "1 OR 1=1", "2;DELETE", "- 2", "0x10", "2\r", "1.5", "2147483648",
          "-2147483649", "99999999999999999999", "18446744073709551617"}) {
        EXPECT_EQ(ParseInt32(bad), std::nullopt) << bad;
    }
}
