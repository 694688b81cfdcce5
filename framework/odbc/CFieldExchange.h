// The context of one field-exchange pass: which operation runs, on which
// recordset, and what the pass builds (statement text, parameters).
#pragma once

#include <cstddef>

#include "framework/CLongBinary.h"
#include "framework/CString.h"
#include "framework/odbc/CRowBatch.h"
#include "framework/odbc/Odbc.h"

class CRecordset;

class CFieldExchange {
  public:
    enum RFX_Operation : unsigned {
        BindParam = 0,
        RebindParam = 1,
        BindFieldToColumn = 2,
        BindFieldForUpdate = 3,
        UnbindFieldForUpdate = 4,
        Fixup = 5,
        MarkForAddNew = 6,
        MarkForUpdate = 7,
        Name = 8,
        NameValue = 9,
        Value = 10,
        SetFieldNull = 11,
        StoreField = 12,
        LoadField = 13,
        AllocCache = 14,
        AllocMultiRowBuffer = 15,
        DeleteMultiRowBuffer = 16,
    };
    enum FieldType : unsigned {
        outputColumn = 0,
        param = 1,
        noFieldType = 0xFFFFFFFF,
    };

    CFieldExchange(unsigned operation, CRecordset* recordset);

    void SetFieldType(unsigned fieldType) { m_nFieldType = fieldType; }
    // Counts the field and gives its number (1, 2, ... in exchange order, output
    // columns and parameters counted apart); true when the field takes part in
    // this pass: parameters only in the parameter passes, columns in the others.
    bool IsFieldType(unsigned* pnField);

    // The common handling of a pass: the Name pass registers the field with the
    // recordset and appends its name and the separator to the text being built.
    void Default(const char* szName, void* pv, SQLLEN* plLength, int nCType, std::size_t cbValue,
                 std::size_t cbPrecision);

    // Total length of the long-binary column in the current row, or SQL_NULL_DATA.
    SQLLEN GetLongBinarySize(int nField);
    // Reads the column into the value's block (allocated or grown); *plSize gets the length read.
    void GetLongBinaryData(int nField, CLongBinary& value, SQLLEN* plSize);

    unsigned m_nOperation;
    CRecordset* m_prs;
    unsigned m_nFieldType = noFieldType;
    CString* m_pstr = nullptr;  // the statement text being built
    bool m_bField = false;      // SetFieldNull: true makes the field null
    void* m_pvField = nullptr;  // SetFieldNull: the one member to change, or every one
    const char* m_lpszSeparator = ",";
    unsigned m_nParamFields = 0;        // parameters bound so far
    SQLHSTMT m_hstmt = SQL_NULL_HSTMT;  // the statement parameters are bound into
    unsigned m_nFields = 0;             // output columns counted so far
    unsigned m_nParams = 0;             // parameter fields counted so far
    bool m_bDirtyNamesOnly = false;     // Name: only changed fields (the INSERT column list)
    CRowBatch::Row* m_pRow = nullptr;   // Value: the values are collected here, not bound
};
