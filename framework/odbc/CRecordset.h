// A table's rows seen through its recordset: the exchanged columns of the rows
// its filter selects, one current row at a time, and the changes made to them
// (by INSERT, UPDATE and DELETE statements) inside the connection's transaction.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "framework/CString.h"
#include "framework/odbc/CDatabase.h"
#include "framework/odbc/CFieldExchange.h"
#include "framework/odbc/Odbc.h"
#include "framework/odbc/OdbcHandle.h"
#include "framework/odbc/PreparedStatement.h"

class CRecordset {
  public:
    enum OpenType : unsigned { dynaset = 0, snapshot = 1, dynamic = 2, forwardOnly = 3 };
    enum OpenOptions : unsigned {
        none = 0x0000,
        readOnly = 0x0004,
        // Rows are only added: no row is selected, so opening costs the same
        // whatever the table holds.
        appendOnly = 0x0008,
        // Rows are only looked up and then changed or not: long-binary columns
        // are not read back (their members keep what they hold), unless the
        // driver names rows by their values and the bytes must name the row.
        lookupOnly = 0x10000,
    };
    enum EditMode { noMode, edit, addnew };
    static constexpr unsigned AFX_DB_USE_DEFAULT_TYPE = 0xFFFFFFFF;

    explicit CRecordset(CDatabase* pDatabase = nullptr);
    virtual ~CRecordset();
    CRecordset(const CRecordset&) = delete;
    CRecordset& operator=(const CRecordset&) = delete;

    // Selects the exchanged columns of GetDefaultSQL()'s table (m_strFilter as
    // WHERE) and fetches the first row into the members; no row sets end-of-file.
    virtual bool Open(unsigned nOpenType = AFX_DB_USE_DEFAULT_TYPE, const char* lpszSQL = nullptr,
                      unsigned dwOptions = none);
    virtual void Close();
    [[nodiscard]] bool IsOpen() const { return m_bOpen; }
    [[nodiscard]] bool IsEOF() const { return m_bEOF; }

    // SQL_FETCH_FIRST or SQL_FETCH_NEXT (nRows 1).
    virtual void Move(long nRows, SQLUSMALLINT wFetchType);
    void MoveFirst() { Move(1, SQL_FETCH_FIRST); }
    void MoveNext() { Move(1, SQL_FETCH_NEXT); }

    // Deletes every row the filter selects with one statement, its parameters
    // bound as for Open; the set need not be open and stays as it was. Gives
    // the number of rows deleted.
    SQLLEN DeleteFiltered();

    virtual void AddNew();
    virtual void Edit();
    // Writes the changed members; false when there was nothing to write.
    virtual bool Update();
    virtual void Delete();

    // The member by address, or every member for nullptr.
    void SetFieldNull(void* pv, bool bNull = true);
    void SetFieldDirty(void* pv, bool bDirty = true);

    virtual CString GetDefaultConnect() { return "ODBC;"; }
    virtual CString GetDefaultSQL() = 0;
    virtual void DoFieldExchange(CFieldExchange* pFX) = 0;

    // True when the driver names no row identifier, so rows are named by the
    // values of all their columns.
    [[nodiscard]] bool NamesRowsByValue() const { return m_rowIdColumns.empty(); }

    unsigned m_nFields = 0;
    // How many '?' markers m_strFilter holds: they take the first m_nParams
    // parameter fields DoFieldExchange declares, in order; 0 for none.
    unsigned m_nParams = 0;
    CString m_strFilter;

  private:
    // The field exchanges reach the services below through it alone.
    friend class RecordsetFields;

    // --- Services for the field exchanges (fields numbered from 1, indexed from 0) ---
    SQLLEN* GetFieldLengthBuffer(unsigned nFieldIndex, unsigned nFieldType);
    [[nodiscard]] bool IsFieldStatusDirty(unsigned nFieldIndex) const;
    [[nodiscard]] bool IsFieldStatusNull(unsigned nFieldIndex) const;
    void SetDirtyFieldStatus(unsigned nFieldIndex);
    void SetNullFieldStatus(unsigned nFieldIndex);
    void ClearNullFieldStatus(unsigned nFieldIndex);
    // The SQL type the catalog gives for the field's column (SQL_UNKNOWN_TYPE for none).
    [[nodiscard]] SQLSMALLINT GetColumnSqlType(unsigned nField) const;
    // Called by the Name pass of Open: the column's name and its C type.
    void RegisterField(unsigned nField, const char* szName, int nCType);
    // Called by Fixup: the fetched value (text form, or the bytes of a long
    // binary; nullptr for NULL) that identifies the row when the driver has no
    // row identifier.
    void SetRowKey(unsigned nField, const char* text, std::size_t length);
    // True when a fetch must read the long-binary columns' bytes.
    [[nodiscard]] bool ReadsLongBinaries() const {
        return (m_dwOptions & lookupOnly) == 0 || NamesRowsByValue();
    }
    // Called by StoreField / MarkForUpdate: the value as it was when Edit began.
    void SetCachedValue(unsigned nField, std::string value) {
        m_cache.at(nField - 1) = std::move(value);
    }
    [[nodiscard]] const std::string& GetCachedValue(unsigned nField) const {
        return m_cache.at(nField - 1);
    }
    [[nodiscard]] SQLHSTMT GetResultStatement() const {
        return m_select ? m_select->get() : SQL_NULL_HSTMT;
    }

    struct FieldInfo {
        CString name;
        int cType = SQL_C_CHAR;
    };
    struct RowKey {
        bool isNull = true;
        std::string text;
        SQLLEN length = 0;
    };

    void RunExchange(CFieldExchange& fx);
    void EnsureConnection();
    CString BuildSelect(const char* lpszSQL);
    // Binds the parameter fields' current values to stmt (nothing when m_nParams is 0).
    void BindParams(SQLHSTMT stmt);
    void Execute();
    void Fetch();
    void RequireCurrentRow(const char* operation) const;
    // "WHERE" condition naming the current row; binds its parameters from number firstParam.
    CString BindRowCondition(SQLHSTMT stmt, unsigned firstParam);
    // What decides the text of a change statement: its kind, the table, which
    // fields are written (and as NULL) and how the current row is named.
    [[nodiscard]] std::string ChangeKey(char kind);
    // The written members' column names, comma-separated (an INSERT's column list).
    CString WrittenColumns();
    // Binds the written members to stmt in a Value or NameValue pass and, given
    // text, builds their part of the statement there; gives the parameters bound.
    unsigned BindWritten(unsigned operation, SQLHSTMT stmt, CString* text);
    // Add mode on a set opened to add rows only: hands the row to the
    // connection's batch instead of executing it. False when the row goes on its
    // own (outside a transaction, a long binary to send, a driver without batches).
    bool HoldRow();
    // Prepares text (in the driver's quotes; unless already prepared as that) and
    // executes, sending long binaries; raises when mustChangeARow and the
    // statement changed none.
    void ExecuteChange(PreparedStatement& statement, const CString& text, bool mustChangeARow);

    CDatabase* m_pDatabase;
    unsigned m_dwOptions = none;
    bool m_bUpdatable = false;
    std::map<const void*, unsigned> m_mapFieldIndex;
    std::unique_ptr<CDatabase> m_ownDatabase;
    std::optional<PreparedStatement> m_select;  // the open result's statement
    bool m_bOpen = false;
    bool m_bEOF = true;
    bool m_bRowDeleted = false;
    EditMode m_nEditMode = noMode;
    std::vector<FieldInfo> m_fields;
    std::vector<SQLLEN> m_lengths;
    std::vector<SQLLEN> m_paramLengths;
    std::vector<std::uint8_t> m_dirty;
    std::vector<std::uint8_t> m_null;
    std::vector<SQLSMALLINT> m_sqlTypes;
    std::vector<std::string> m_cache;
    std::vector<RowKey> m_rowKey;         // one per field
    std::vector<CString> m_rowIdColumns;  // the driver's best row identifier, if any
    std::vector<RowKey> m_rowId;
};
