// The chassis operations the recordsets share: finding, deleting and adding the
// rows of one chassis number.
#pragma once

#include <cstdint>

#include "framework/CString.h"
#include "framework/odbc/CFieldExchange.h"
#include "framework/odbc/CRecordset.h"

// The filter that selects one chassis's rows: the key is the set's parameter,
// bound as the bytes it is and compared exactly (trailing blanks too).
inline constexpr const char* kChassisFilter = "te_chasnum = ?";

// The chassis key as the one parameter of a set's filter.
void ExchangeChassisParam(CFieldExchange* pFX, CString& keyParam);

// Opens the set on the key's rows; true when the first row's chassis number
// (the set's member chasnum) equals the key byte for byte.
bool FindChassisRows(CRecordset& set, CString& keyParam, const CString& chasnum,
                     const CString& key);
// Deletes every row of the key with one statement; the set stays closed.
// Returns the rows deleted; failures are raised.
std::int64_t DeleteChassisRows(CRecordset& set, CString& keyParam, const CString& key);
// Opens the set where new rows are added. Always true.
bool OpenForAdding(CRecordset& set);
