#include "framework/CString.h"

#include <gtest/gtest.h>

#include <string>

TEST(CStringTest, CutsAndSearchesStayInsideTheText) {
    const CString text("abc\tdef\tghi");
    EXPECT_EQ(text.Find('\t'), 3);
    EXPECT_EQ(text.Find('\t', 4), 7);
    EXPECT_EQ(text.Find('x'), -1);
    EXPECT_EQ(text.ReverseFind('\t'), 7);
    EXPECT_EQ(text.Left(3), "abc");
    EXPECT_EQ(text.Left(99), text);
    EXPECT_EQ(text.Left(-1), "");
    EXPECT_EQ(text.Mid(8), "ghi");
    EXPECT_EQ(text.Mid(99), "");
    EXPECT_EQ(text.Mid(4, 3), "def");
    EXPECT_EQ(text.Mid(9, 10), "hi");
}

TEST(CStringTest, TextEndsAtTheFirstNulByte) {
    const char bytes[] = {'a', 'b', '\0', 'c'};
    EXPECT_EQ(CString(bytes, sizeof bytes), "ab");
    CString text("x");
    text += '\0';
    EXPECT_EQ(text.GetLength(), 1);
}

TEST(CStringTest, TrimRightAndLowerCaseTouchOnlyWhatTheyShould) {
    CString path("data/File.BIN \t\r\n");
    path.TrimRight();
    EXPECT_EQ(path, "data/File.BIN");
    CString blanks("   ");
    EXPECT_EQ(blanks.TrimRight(), "");
    CString name("\xC4Name.TXT");
    name.MakeLower();
    EXPECT_EQ(name, "\xC4name.txt");  // bytes above ASCII stay as they are
}

TEST(CStringTest, FormatHoldsTextsOfAnyLength) {
    const std::string longKey(5000, 'k');
    CString filter;
    filter.Format("te_chasnum = '%s'", longKey.c_str());
    EXPECT_EQ(filter.GetLength(), 5000 + 15);
    EXPECT_EQ(filter.Left(14), "te_chasnum = '");
    EXPECT_EQ(filter.Compare(("te_chasnum = '" + longKey + "'").c_str()), 0);
}
