// The chassis operations the recordsets share: finding, deleting and adding the
// rows of one chassis number.
#pragma once

#include "framework/CRecordset.h"
#include "framework/CString.h"

// "te_chasnum = '<key>'", the key's apostrophes doubled so that it is always
// compared as the literal text it is.
[[nodiscard]] CString ChassisFilter(const CString& key);

// Opens the set on the key's rows; true when the first row's chassis number
// (the set's member chasnum) equals the key byte for byte.
bool FindChassisRows(CRecordset& set, const CString& chasnum, const CString& key);
// Opens the set on the key's rows and deletes every one of them; the set stands
// at end-of-file afterwards. Always true: failures are raised.
bool DeleteChassisRows(CRecordset& set, const CString& chasnum, const CString& key);
// Opens the set where new rows are added. Always true.
bool OpenForAdding(CRecordset& set);
