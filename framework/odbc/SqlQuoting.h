// Statement texts name tables and columns in square brackets; drivers that quote
// identifiers otherwise get their own quote character instead.
#pragma once

#include "framework/CString.h"

// Replaces '[' and ']' outside string literals by quoteChar. A quoteChar of '['
// leaves the text as it is; a blank (the driver quotes nothing) drops the brackets.
[[nodiscard]] CString ReplaceBracketQuotes(const CString& statement, char quoteChar);
