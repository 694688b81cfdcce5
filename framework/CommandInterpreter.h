// The stand-in for the command interpreter that runs "COMMAND.COM /C prog args":
// how it cuts a command line into the program and its arguments. Every platform
// starts the program itself with them, so that no interpreter reads the line
// (none expands a % or refuses a network folder as the current directory).
#pragma once

#include <string>
#include <vector>

#include "framework/CString.h"

// Cuts the line into words at blanks and TABs. A double quote starts or ends a
// quoted part, in which blanks belong to the word; the quotes themselves are
// dropped, so "" alone gives an empty word and a"b c"d gives one word "ab cd".
// A quote left open runs to the end of the line. There is no escape character:
// a backslash is an ordinary byte. Leading "COMMAND.COM /C" (in any letter
// case) is dropped; the first remaining word is the program.
[[nodiscard]] std::vector<std::string> SplitCommandLine(const CString& commandLine);
