// Reading the spool files' text: lines, TAB-separated fields, numbers and
// data-file paths.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>

#include "framework/CString.h"

// Hands every line (the bytes before each line feed; a carriage return stays)
// to importLine in order; text after the last line feed is never a line. Stops
// and returns false as soon as importLine does.
bool ForEachLine(const CString& text, const std::function<bool(CString&)>& importLine);

// When rest holds a TAB: the text before it, and rest becomes the text after it.
// Otherwise nothing is cut and false is returned.
bool CutField(CString& rest, CString& field);

// A line of three fields: the first before the first TAB, the second up to the
// next TAB, the third the rest. A missing TAB leaves its field and all later ones
// empty (one TAB: only the first field).
void SplitThreeFields(CString& line, CString& first, CString& second, CString& third);

// The leading decimal number of text, as sscanf("%d") reads it: white space
// skipped, optional sign, digits; nothing when no digit follows. Values beyond
// 32 bits saturate.
[[nodiscard]] std::optional<std::int32_t> ScanInt32(const CString& text);
// As atol/atoi: the leading number, or 0 (saturating like ScanInt32).
[[nodiscard]] std::int32_t TextToInt32(const CString& text);
// The whole text as a 32-bit number: optional blanks, optional sign, digits,
// optional blanks, nothing else; nothing when it is not one or does not fit.
[[nodiscard]] std::optional<std::int32_t> ParseInt32(const CString& text);
