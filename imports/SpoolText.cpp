#include "imports/SpoolText.h"

#include <limits>

#include "framework/CDesktop.h"
#include "framework/Kernel.h"

bool ForEachLine(const CString& text, const std::function<bool(CString&)>& importLine) {
    const std::string& bytes = text.str();
    std::size_t start = 0;
    // Cut by position, not by shortening the text: large files stay linear.
    for (std::size_t end = bytes.find('\n'); end != std::string::npos;
         end = bytes.find('\n', start)) {
        KeepWindowServed();
        CString line(bytes.substr(start, end - start));
        start = end + 1;
        if (!importLine(line)) {
            return false;
        }
    }
    return true;
}

bool CutField(CString& rest, CString& field) {
    const int tab = rest.Find('\t');
    if (tab < 0) {
        return false;
    }
    field = rest.Left(tab);
    rest = rest.Mid(tab + 1);
    return true;
}

void SplitThreeFields(CString& line, CString& first, CString& second, CString& third) {
    if (CutField(line, first) && CutField(line, second)) {
        third = line;
    }
}

namespace {
bool IsSpace(char ch) {
    return ch == ' ' || (ch >= '\t' && ch <= '\r');
}
bool IsDigit(char ch) {
    return ch >= '0' && ch <= '9';
}
}  // namespace

std::optional<std::int32_t> ScanInt32(const CString& text) {
    const std::string& bytes = text.str();
    std::size_t i = 0;
    while (i < bytes.size() && IsSpace(bytes[i])) {
        ++i;
    }
    bool negative = false;
    if (i < bytes.size() && (bytes[i] == '+' || bytes[i] == '-')) {
        negative = bytes[i] == '-';
        ++i;
    }
    if (i >= bytes.size() || !IsDigit(bytes[i])) {
        return std::nullopt;
    }
    constexpr std::int64_t kLimit =
        static_cast<std::int64_t>(std::numeric_limits<std::int32_t>::max()) + 1;
    std::int64_t magnitude = 0;
    for (; i < bytes.size() && IsDigit(bytes[i]); ++i) {
        magnitude = magnitude * 10 + (bytes[i] - '0');
        if (magnitude > kLimit) {
            magnitude = kLimit;
        }
    }
    const std::int64_t value = negative ? -magnitude : magnitude;
    if (value > std::numeric_limits<std::int32_t>::max()) {
        return std::numeric_limits<std::int32_t>::max();
    }
    return static_cast<std::int32_t>(value);
}

std::int32_t TextToInt32(const CString& text) {
    return ScanInt32(text).value_or(0);
}

std::optional<std::int32_t> ParseInt32(const CString& text) {
    const std::string& bytes = text.str();
    std::size_t i = 0;
    while (i < bytes.size() && bytes[i] == ' ') {
        ++i;
    }
    bool negative = false;
    if (i < bytes.size() && (bytes[i] == '+' || bytes[i] == '-')) {
        negative = bytes[i] == '-';
        ++i;
    }
    const std::size_t digits = i;
    // The magnitude may reach one beyond the largest value: the smallest one's.
    constexpr std::int64_t kMostMagnitude =
        static_cast<std::int64_t>(std::numeric_limits<std::int32_t>::max()) + 1;
    std::int64_t magnitude = 0;
    for (; i < bytes.size() && IsDigit(bytes[i]); ++i) {
        magnitude = magnitude * 10 + (bytes[i] - '0');
        if (magnitude > kMostMagnitude) {
            return std::nullopt;
        }
    }
    if (i == digits) {
        return std::nullopt;
    }
    while (i < bytes.size() && bytes[i] == ' ') {
        ++i;
    }
    const std::int64_t value = negative ? -magnitude : magnitude;
    if (i != bytes.size() || value > std::numeric_limits<std::int32_t>::max()) {
        return std::nullopt;
    }
    return static_cast<std::int32_t>(value);
}
