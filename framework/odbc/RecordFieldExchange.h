// The standard field exchanges: one call per field in a recordset's
// DoFieldExchange, doing what each pass of the exchange asks of that field.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "framework/CLongBinary.h"
#include "framework/CString.h"
#include "framework/odbc/CFieldExchange.h"
#include "framework/odbc/Odbc.h"

// The value an integer member holds while it is null (after AddNew, a NULL
// column or SetFieldNull). It is no null mark: the field's null status is. A
// member that still holds it, untouched, stays null; assigning any other value
// makes it a value, and SetFieldNull(&member, false) makes a value of whatever
// it holds, this one too.
inline constexpr std::int32_t kIntegerWhileNull = INT32_MIN;

// Text of at most nMaxLength bytes; a longer value is refused when written,
// never cut. An empty text is written as NULL.
void RFX_Text(CFieldExchange* pFX, const char* szName, CString& value, int nMaxLength = 255,
              int nColumnType = SQL_VARCHAR, short nScale = 0);
void RFX_Long(CFieldExchange* pFX, const char* szName, std::int32_t& value);
void RFX_Int(CFieldExchange* pFX, const char* szName, int& value);
// The bytes of the member's block; written only when marked not null and dirty.
void RFX_LongBinary(CFieldExchange* pFX, const char* szName, CLongBinary& value);

// The column's text in the current row of stmt, read in pieces whatever its
// length; nothing for NULL.
[[nodiscard]] std::optional<std::string> GetColumnText(SQLHSTMT stmt, SQLUSMALLINT column);
// Binds value as input parameter number param of the pass's statement, or,
// when the pass collects a row for a batch, copies it into that row.
void BindInput(CFieldExchange* pFX, unsigned param, SQLSMALLINT cType, SQLSMALLINT sqlType,
               SQLULEN columnSize, SQLSMALLINT scale, void* value, SQLLEN bufferLength,
               SQLLEN* length);
// Value and NameValue passes: appends "name=" (NameValue only) and "?" with the
// separator to the text being built, if any (a statement already prepared needs
// none); gives the parameter's number.
SQLUSMALLINT AppendParamMarker(CFieldExchange* pFX, const char* szName);
// SetFieldNull pass of one field: when the pass aims at member (or at every
// output column) sets or clears the null status and the length cell. True when
// the member was made null (the caller then empties its value).
bool ApplySetFieldNull(CFieldExchange* pFX, const void* member, unsigned nFieldIndex,
                       SQLLEN* plLength, SQLLEN notNullLength);
// SQL_LEN_DATA_AT_EXEC for a value's length, the length capped so the cell stays in 32 bits.
[[nodiscard]] SQLLEN CappedDataAtExecLength(std::uint32_t dataLength);
// Reads the long-binary column of the current row into value (Fixup; not at all
// when the set only looks rows up and names them otherwise) and, when
// rows are named by their values, keeps its bytes as the row's key. A NULL or
// empty column leaves the value's block alone with length 0 and the field null.
void FixupLongBinary(CFieldExchange* pFX, unsigned nField, CLongBinary& value, SQLLEN* plLength);
