// The context of one field-exchange pass: which operation runs, on which
// recordset, and what the pass builds (statement text, parameters).
#pragma once

#include <cstddef>
#include <string>

#include "framework/CLongBinary.h"
#include "framework/CString.h"
#include "framework/odbc/CRowBatch.h"
#include "framework/odbc/Odbc.h"

class CRecordset;

// A recordset's fields as the field exchanges see them (fields numbered from 1,
// indexed from 0): their length cells, statuses, kept values and row keys.
// Only a pass of the exchange hands one out.
class RecordsetFields {
  public:
    SQLLEN* GetFieldLengthBuffer(unsigned nFieldIndex, unsigned nFieldType) const;
    [[nodiscard]] bool IsFieldStatusDirty(unsigned nFieldIndex) const;
    [[nodiscard]] bool IsFieldStatusNull(unsigned nFieldIndex) const;
    void SetDirtyFieldStatus(unsigned nFieldIndex) const;
    void SetNullFieldStatus(unsigned nFieldIndex) const;
    void ClearNullFieldStatus(unsigned nFieldIndex) const;
    // The member's field number, for SetFieldNull and SetFieldDirty by address.
    void MapField(const void* member, unsigned nField) const;
    [[nodiscard]] SQLSMALLINT GetColumnSqlType(unsigned nField) const;
    void RegisterField(unsigned nField, const char* szName, int nCType) const;
    void SetRowKey(unsigned nField, const char* text, std::size_t length) const;
    [[nodiscard]] bool NamesRowsByValue() const;
    [[nodiscard]] bool ReadsLongBinaries() const;
    void SetCachedValue(unsigned nField, std::string value) const;
    [[nodiscard]] const std::string& GetCachedValue(unsigned nField) const;
    [[nodiscard]] SQLHSTMT GetResultStatement() const;

  private:
    friend class CFieldExchange;
    explicit RecordsetFields(CRecordset& recordset) : m_recordset(recordset) {}
    CRecordset& m_recordset;
};

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
    // The fields of the recordset the pass runs on.
    [[nodiscard]] RecordsetFields Fields() const { return RecordsetFields(*m_prs); }
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
