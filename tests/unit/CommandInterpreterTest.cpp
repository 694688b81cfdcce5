#include "framework/CommandInterpreter.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using Words = std::vector<std::string>;

TEST(CommandInterpreterTest, DropsTheInterpreterInAnyLetterCaseAndSplitsAtBlanksAndTabs) {
    EXPECT_EQ(SplitCommandLine("COMMAND.COM /C prog a  b\tc"), (Words{"prog", "a", "b", "c"}));
    EXPECT_EQ(SplitCommandLine("command.com /c prog"), (Words{"prog"}));
    EXPECT_EQ(SplitCommandLine("Command.Com /C  prog "), (Words{"prog"}));
    // Only the interpreter followed by /C is dropped.
    EXPECT_EQ(SplitCommandLine("COMMAND.COM prog"), (Words{"COMMAND.COM", "prog"}));
    EXPECT_EQ(SplitCommandLine("COMMAND.COM /C "), Words{});
}

TEST(CommandInterpreterTest, DoubleQuotesKeepBlanksInOneWordAndAreDropped) {
    EXPECT_EQ(SplitCommandLine("COMMAND.COM /C \"/opt/inst dir/pkunzip.exe\" \"/opt/inst "
                               "dir/spool.zip\""),
              (Words{"/opt/inst dir/pkunzip.exe", "/opt/inst dir/spool.zip"}));
    EXPECT_EQ(SplitCommandLine("prog \"\" b"), (Words{"prog", "", "b"}));
    EXPECT_EQ(SplitCommandLine("prog a\"b c\"d"), (Words{"prog", "ab cd"}));
    EXPECT_EQ(SplitCommandLine("prog \"open to the end"), (Words{"prog", "open to the end"}));
    // No escapes: a backslash is an ordinary byte.
    EXPECT_EQ(SplitCommandLine("prog \"C:\\dir\\\" x"), (Words{"prog", "C:\\dir\\", "x"}));
}
