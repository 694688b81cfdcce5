#include "framework/CommandInterpreter.h"

#include <algorithm>
#include <cctype>
#include <utility>

namespace {
bool SameLetters(const std::string& word, const char* expected) {
    const std::string other = expected;
    return std::equal(word.begin(), word.end(), other.begin(), other.end(), [](char a, char b) {
        return std::toupper(static_cast<unsigned char>(a)) ==
               std::toupper(static_cast<unsigned char>(b));
    });
}
}  // namespace

std::vector<std::string> SplitCommandLine(const CString& commandLine) {
    std::vector<std::string> words;
    std::string word;
    bool inWord = false;
    bool quoted = false;
    for (const char ch : commandLine.str()) {
        if (ch == '"') {
            quoted = !quoted;
            inWord = true;
        } else if (!quoted && (ch == ' ' || ch == '\t')) {
            if (inWord) {
                words.push_back(std::move(word));
                word.clear();
                inWord = false;
            }
        } else {
            word += ch;
            inWord = true;
        }
    }
    if (inWord) {
        words.push_back(std::move(word));
    }
    if (words.size() >= 2 && SameLetters(words[0], "COMMAND.COM") && SameLetters(words[1], "/C")) {
        words.erase(words.begin(), words.begin() + 2);
    }
    return words;
}
