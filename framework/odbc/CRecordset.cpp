#include "framework/odbc/CRecordset.h"

#include <typeinfo>

#include "framework/CUsageError.h"
#include "framework/odbc/CDBException.h"
#include "framework/odbc/RecordFieldExchange.h"

namespace {
void DropLastSeparator(CString& text) {
    if (!text.IsEmpty() && text.GetAt(text.GetLength() - 1) == ',') {
        text = text.Left(text.GetLength() - 1);
    }
}

[[noreturn]] void ThrowUsage(const char* text) {
    throw CUsageError(text);
}
}  // namespace

CRecordset::CRecordset(CDatabase* pDatabase) : m_pDatabase(pDatabase) {}

CRecordset::~CRecordset() {
    Close();
}

void CRecordset::RunExchange(CFieldExchange& fx) {
    DoFieldExchange(&fx);
}

void CRecordset::EnsureConnection() {
    if (m_pDatabase != nullptr && m_pDatabase->IsOpen()) {
        return;
    }
    // Only a recordset without an open connection uses its default connect string.
    CString connect = GetDefaultConnect();
    if (connect.Left(5) == "ODBC;") {
        connect = connect.Mid(5);
    }
    if (m_pDatabase == nullptr) {
        m_ownDatabase = std::make_unique<CDatabase>();
        m_pDatabase = m_ownDatabase.get();
    }
    m_pDatabase->OpenEx(connect, CDatabase::noOdbcDialog);
}

// Every open type is served as a snapshot: a forward cursor, re-run for the first row.
bool CRecordset::Open(unsigned /*nOpenType*/, const char* lpszSQL, unsigned dwOptions) {
    if (m_bOpen) {
        ThrowUsage("The recordset is already open");
    }
    EnsureConnection();
    m_dwOptions = dwOptions;
    m_fields.assign(m_nFields, {});
    m_lengths.assign(m_nFields, 0);
    m_dirty.assign(m_nFields, 0);
    m_null.assign(m_nFields, 1);
    m_sqlTypes.assign(m_nFields, SQL_UNKNOWN_TYPE);
    m_cache.assign(m_nFields, {});
    m_rowKey.assign(m_nFields, {});
    m_mapFieldIndex.clear();

    // The Name pass registers every field; the count must match the declared one.
    CFieldExchange names(CFieldExchange::Name, this);
    RunExchange(names);
    if (names.m_nFields != m_nFields) {
        ThrowUsage("The recordset exchanges another number of fields than it declares");
    }

    const bool addOnly = (dwOptions & appendOnly) != 0;
    m_rowIdColumns.clear();
    if (!addOnly) {
        // Without an identifier the row is named by its values.
        m_rowIdColumns = m_pDatabase->RowIdentifier(GetDefaultSQL());
    }
    m_rowId.assign(m_rowIdColumns.size(), {});
    m_select.reset();
    if (!addOnly) {
        // A set that only adds rows never selects: it needs no statement of its own.
        m_select.emplace(*m_pDatabase, m_pDatabase->QuoteNames(BuildSelect(lpszSQL)));
    }
    // Column types come from the catalog, not from describing the statement: a
    // describe before execution asks the server to parse, and that waits on
    // another session's lock of the table without any time limit.
    const std::map<std::string, SQLSMALLINT>& types = m_pDatabase->ColumnTypes(GetDefaultSQL());
    for (unsigned i = 0; i < m_nFields; ++i) {
        std::string name;
        for (const char ch : m_fields[i].name.str()) {
            if (ch != '[' && ch != ']' && ch != '"') {
                name += ch;
            }
        }
        const auto type = types.find(LowerCase(name));
        m_sqlTypes[i] = type != types.end() ? type->second : SQL_UNKNOWN_TYPE;
    }

    CFieldExchange bind(CFieldExchange::BindFieldToColumn, this);
    RunExchange(bind);

    m_bUpdatable = (dwOptions & readOnly) == 0;
    m_bOpen = true;
    m_nEditMode = noMode;
    m_bRowDeleted = false;
    if (addOnly) {
        m_bEOF = true;  // no rows are selected: the set stands where rows are added
    } else {
        Execute();
        Fetch();
    }
    return true;
}

CString CRecordset::BuildSelect(const char* lpszSQL) {
    if (lpszSQL != nullptr && *lpszSQL != '\0') {
        return lpszSQL;
    }
    CString select = "SELECT ";
    for (unsigned i = 0; i < m_nFields; ++i) {
        select += (i == 0 ? "" : ",") + m_fields[i].name;
    }
    for (const CString& column : m_rowIdColumns) {
        select += "," + column;
    }
    select += " FROM " + GetDefaultSQL();
    if (!m_strFilter.IsEmpty()) {
        select += " WHERE " + m_strFilter;
    }
    return select;
}

void CRecordset::BindParams(SQLHSTMT stmt) {
    if (m_nParams == 0) {
        return;
    }
    // Bound again before every execution: a value's bytes may have moved since.
    m_paramLengths.assign(m_nParams, 0);
    CFieldExchange bind(CFieldExchange::BindParam, this);
    bind.m_hstmt = stmt;
    RunExchange(bind);
    if (bind.m_nParams < m_nParams) {
        ThrowUsage("The filter has more parameters than the recordset exchanges");
    }
}

void CRecordset::Execute() {
    m_pDatabase->SendPendingRows();
    SQLHSTMT stmt = m_select->get();
    OdbcCheck(SQLFreeStmt(stmt, SQL_CLOSE), SQL_HANDLE_STMT, stmt);
    BindParams(stmt);
    const SQLRETURN rc = SQLExecute(stmt);
    if (rc != SQL_NO_DATA) {
        OdbcCheck(rc, SQL_HANDLE_STMT, stmt);
    }
}

void CRecordset::Fetch() {
    m_bRowDeleted = false;
    SQLHSTMT stmt = m_select->get();
    const SQLRETURN rc = SQLFetch(stmt);
    if (rc == SQL_NO_DATA) {
        m_bEOF = true;
        m_null.assign(m_nFields, 1);
        return;
    }
    OdbcCheck(rc, SQL_HANDLE_STMT, stmt);
    m_bEOF = false;
    CFieldExchange fixup(CFieldExchange::Fixup, this);
    RunExchange(fixup);
    for (std::size_t i = 0; i < m_rowIdColumns.size(); ++i) {
        // Read whole, whatever its length: a cut identifier would name another row or none.
        RowKey& key = m_rowId[i];
        std::optional<std::string> text =
            GetColumnText(stmt, static_cast<SQLUSMALLINT>(m_nFields + 1 + i));
        key.isNull = !text;
        key.text = text ? std::move(*text) : std::string();
        key.length = static_cast<SQLLEN>(key.text.size());
    }
}

void CRecordset::Close() {
    if (!m_bOpen) {
        return;
    }
    m_select.reset();
    m_bOpen = false;
    m_bEOF = true;
    m_nEditMode = noMode;
}

void CRecordset::Move(long nRows, SQLUSMALLINT wFetchType) {
    if (!m_bOpen) {
        ThrowUsage("The recordset is not open");
    }
    if (nRows != 1 || (wFetchType != SQL_FETCH_FIRST && wFetchType != SQL_FETCH_NEXT)) {
        ThrowUsage("Only moves to the first or the next row are supported");
    }
    m_nEditMode = noMode;
    if (wFetchType == SQL_FETCH_FIRST) {
        if ((m_dwOptions & appendOnly) != 0) {
            return;
        }
        Execute();
    } else if (m_bEOF) {
        ThrowUsage("Move past the end of the recordset");
    }
    Fetch();
}

void CRecordset::RequireCurrentRow(const char* operation) const {
    if (!m_bOpen || m_bEOF || m_bRowDeleted) {
        throw CUsageError(CString(operation) + " needs a current row");
    }
    if (!m_bUpdatable) {
        ThrowUsage("The recordset is read-only");
    }
}

void CRecordset::AddNew() {
    if (!m_bOpen || !m_bUpdatable) {
        ThrowUsage("AddNew needs an open, updatable recordset");
    }
    m_dirty.assign(m_nFields, 0);
    SetFieldNull(nullptr, true);
    m_dirty.assign(m_nFields, 0);
    m_nEditMode = addnew;
}

void CRecordset::Edit() {
    RequireCurrentRow("Edit");
    CFieldExchange store(CFieldExchange::StoreField, this);
    RunExchange(store);
    m_dirty.assign(m_nFields, 0);
    m_nEditMode = edit;
}

bool CRecordset::Update() {
    if (m_nEditMode == noMode) {
        ThrowUsage("Update without AddNew or Edit");
    }
    const EditMode mode = m_nEditMode;
    CFieldExchange mark(
        mode == addnew ? CFieldExchange::MarkForAddNew : CFieldExchange::MarkForUpdate, this);
    RunExchange(mark);
    bool anyDirty = false;
    for (const std::uint8_t dirty : m_dirty) {
        anyDirty = anyDirty || dirty != 0;
    }
    if (!anyDirty) {
        m_nEditMode = noMode;
        return false;
    }
    if (mode == addnew && HoldRow()) {
        m_dirty.assign(m_nFields, 0);
        m_nEditMode = noMode;
        return true;
    }
    const std::string key = ChangeKey(mode == addnew ? 'I' : 'U');
    PreparedStatement stmt(*m_pDatabase, key);
    // The key decides the text: a kept statement only needs its parameters bound.
    const bool kept = !stmt.Text().IsEmpty();
    CString statement;
    if (mode == addnew) {
        const CString columns = kept ? CString() : WrittenColumns();
        CString values;
        BindWritten(CFieldExchange::Value, stmt.get(), kept ? nullptr : &values);
        statement = "INSERT INTO " + GetDefaultSQL() + " (" + columns + ") VALUES (" + values + ")";
    } else {
        CString assignments;
        const unsigned bound =
            BindWritten(CFieldExchange::NameValue, stmt.get(), kept ? nullptr : &assignments);
        statement = "UPDATE " + GetDefaultSQL() + " SET " + assignments + " WHERE " +
                    BindRowCondition(stmt.get(), bound + 1);
    }
    ExecuteChange(stmt, kept ? stmt.Text() : m_pDatabase->QuoteNames(statement), mode == edit);
    m_dirty.assign(m_nFields, 0);
    m_nEditMode = noMode;
    return true;
}

CString CRecordset::WrittenColumns() {
    CString columns;
    CFieldExchange names(CFieldExchange::Name, this);
    names.m_pstr = &columns;
    names.m_bDirtyNamesOnly = true;
    RunExchange(names);
    DropLastSeparator(columns);
    return columns;
}

unsigned CRecordset::BindWritten(unsigned operation, SQLHSTMT stmt, CString* text) {
    CFieldExchange binds(operation, this);
    binds.m_pstr = text;
    binds.m_hstmt = stmt;
    RunExchange(binds);
    if (text != nullptr) {
        DropLastSeparator(*text);
    }
    return binds.m_nParamFields;
}

bool CRecordset::HoldRow() {
    if ((m_dwOptions & appendOnly) == 0 || !m_pDatabase->HoldsRows()) {
        return false;
    }
    for (unsigned i = 0; i < m_nFields; ++i) {
        // Long binaries go at execution, one row at a time: their size is
        // bounded only by memory, a batch's is not.
        const int cType = m_fields[i].cType;
        if ((cType == SQL_C_DEFAULT || cType == SQL_C_BINARY) && m_dirty[i] != 0 &&
            m_null[i] == 0) {
            return false;
        }
    }
    CRowBatch::Row row;
    CFieldExchange values(CFieldExchange::Value, this);
    values.m_pRow = &row;
    try {
        RunExchange(values);
    } catch (...) {
        // A row held earlier that the data source refuses fails first, as it
        // would have without batches.
        m_pDatabase->SendPendingRows();
        throw;
    }
    return m_pDatabase->HoldRow(
        ChangeKey('I'),
        [this] {
            return m_pDatabase->QuoteNames("INSERT INTO " + GetDefaultSQL() + " (" +
                                           WrittenColumns() + ")");
        },
        row);
}

void CRecordset::Delete() {
    RequireCurrentRow("Delete");
    if (m_nEditMode != noMode) {
        ThrowUsage("Delete while a row is being added or edited");
    }
    PreparedStatement stmt(*m_pDatabase, ChangeKey('D'));
    const CString statement =
        "DELETE FROM " + GetDefaultSQL() + " WHERE " + BindRowCondition(stmt.get(), 1);
    // A row already gone is no failure here: on a data source without row
    // identifiers, deleting one of two identical rows deletes its twin too.
    ExecuteChange(stmt, m_pDatabase->QuoteNames(statement), false);
    m_bRowDeleted = true;
}

SQLLEN CRecordset::DeleteFiltered() {
    EnsureConnection();
    CString statement = "DELETE FROM " + GetDefaultSQL();
    if (!m_strFilter.IsEmpty()) {
        statement += " WHERE " + m_strFilter;
    }
    m_pDatabase->SendPendingRows();
    const PreparedStatement stmt(*m_pDatabase, m_pDatabase->QuoteNames(statement));
    BindParams(stmt.get());
    SQLLEN deleted = 0;
    const SQLRETURN rc = SQLExecute(stmt.get());
    if (rc != SQL_NO_DATA) {
        OdbcCheck(rc, SQL_HANDLE_STMT, stmt.get());
        OdbcCheck(SQLRowCount(stmt.get(), &deleted), SQL_HANDLE_STMT, stmt.get());
    }
    return deleted;
}

CString CRecordset::BindRowCondition(SQLHSTMT stmt, unsigned firstParam) {
    CString condition;
    unsigned param = firstParam;
    auto bind = [&](const CString& column, RowKey& key, SQLSMALLINT sqlType, SQLSMALLINT cType) {
        if (!condition.IsEmpty()) {
            condition += " AND ";
        }
        if (key.isNull) {
            condition += column + " IS NULL";
            return;
        }
        condition += column + " = ?";
        key.length = static_cast<SQLLEN>(key.text.size());
        const SQLRETURN rc = SQLBindParameter(
            stmt, static_cast<SQLUSMALLINT>(param++), SQL_PARAM_INPUT, cType, sqlType,
            key.text.empty() ? 1 : key.text.size(), 0, key.text.data(), key.length, &key.length);
        OdbcCheck(rc, SQL_HANDLE_STMT, stmt);
    };
    if (!m_rowIdColumns.empty()) {
        for (std::size_t i = 0; i < m_rowIdColumns.size(); ++i) {
            bind(m_rowIdColumns[i], m_rowId[i], SQL_VARCHAR, SQL_C_CHAR);
        }
        return condition;
    }
    // Every column names the row, long binaries too (by their bytes): rows that
    // differ only there are different rows.
    for (unsigned i = 0; i < m_nFields; ++i) {
        const int cType = m_fields[i].cType;
        if (cType == SQL_C_DEFAULT || cType == SQL_C_BINARY) {
            bind(m_fields[i].name, m_rowKey[i], m_sqlTypes[i], SQL_C_BINARY);
        } else {
            bind(m_fields[i].name, m_rowKey[i], cType == SQL_C_SLONG ? SQL_INTEGER : SQL_VARCHAR,
                 SQL_C_CHAR);
        }
    }
    return condition;
}

std::string CRecordset::ChangeKey(char kind) {
    std::string key(1, kind);
    // The recordset's class decides the column names its exchange gives.
    key += typeid(*this).name();
    key += '|';
    key += GetDefaultSQL().str();
    key += '|';
    for (unsigned i = 0; i < m_nFields; ++i) {
        key += static_cast<char>('0' + (m_dirty[i] != 0 ? 1 : 0) + (m_null[i] != 0 ? 2 : 0) +
                                 (m_rowKey[i].isNull ? 4 : 0));
    }
    for (const RowKey& id : m_rowId) {
        key += id.isNull ? 'n' : 'v';
    }
    return key;
}

void CRecordset::ExecuteChange(PreparedStatement& statement, const CString& text,
                               bool mustChangeARow) {
    m_pDatabase->SendPendingRows();
    statement.Prepare(text);
    SQLHSTMT stmt = statement.get();
    SQLRETURN rc = SQLExecute(stmt);
    // Long binaries go at execution: each asks for its bytes in turn.
    static constexpr unsigned char kNothing = 0;
    while (rc == SQL_NEED_DATA) {
        SQLPOINTER token = nullptr;
        rc = SQLParamData(stmt, &token);
        if (rc != SQL_NEED_DATA) {
            break;
        }
        auto* value = static_cast<CLongBinary*>(token);
        const CGlobalLock lock(value->m_hData);
        const void* bytes = lock.data() != nullptr ? lock.data() : &kNothing;
        OdbcCheck(
            SQLPutData(stmt, const_cast<void*>(bytes), static_cast<SQLLEN>(value->m_dwDataLength)),
            SQL_HANDLE_STMT, stmt);
    }
    if (rc != SQL_NO_DATA) {
        OdbcCheck(rc, SQL_HANDLE_STMT, stmt);
    }
    if (!mustChangeARow) {
        return;
    }
    SQLLEN changed = 0;
    if (rc != SQL_NO_DATA) {
        OdbcCheck(SQLRowCount(stmt, &changed), SQL_HANDLE_STMT, stmt);
    }
    if (changed == 0) {
        // The new values were stored nowhere: the row is no longer as it was read.
        throw CDBException::RowsNotChanged(
            "The row to change in " + GetDefaultSQL() +
            " was no longer there as it was read: nothing was changed.");
    }
}

void CRecordset::SetFieldNull(void* pv, bool bNull) {
    CFieldExchange fx(CFieldExchange::SetFieldNull, this);
    fx.m_pvField = pv;
    fx.m_bField = bNull;
    RunExchange(fx);
}

void CRecordset::SetFieldDirty(void* pv, bool bDirty) {
    if (pv == nullptr) {
        m_dirty.assign(m_nFields, bDirty ? 1 : 0);
        return;
    }
    const auto found = m_mapFieldIndex.find(pv);
    if (found == m_mapFieldIndex.end()) {
        ThrowUsage("SetFieldDirty names no field of the recordset");
    }
    m_dirty.at(found->second - 1) = bDirty ? 1 : 0;
}

SQLLEN* CRecordset::GetFieldLengthBuffer(unsigned nFieldIndex, unsigned nFieldType) {
    return nFieldType == CFieldExchange::param ? &m_paramLengths.at(nFieldIndex)
                                               : &m_lengths.at(nFieldIndex);
}

bool CRecordset::IsFieldStatusDirty(unsigned nFieldIndex) const {
    return m_dirty.at(nFieldIndex) != 0;
}
bool CRecordset::IsFieldStatusNull(unsigned nFieldIndex) const {
    return m_null.at(nFieldIndex) != 0;
}
void CRecordset::SetDirtyFieldStatus(unsigned nFieldIndex) {
    m_dirty.at(nFieldIndex) = 1;
}
void CRecordset::SetNullFieldStatus(unsigned nFieldIndex) {
    m_null.at(nFieldIndex) = 1;
}
void CRecordset::ClearNullFieldStatus(unsigned nFieldIndex) {
    m_null.at(nFieldIndex) = 0;
}

SQLSMALLINT CRecordset::GetColumnSqlType(unsigned nField) const {
    return m_sqlTypes.at(nField - 1);
}

void CRecordset::RegisterField(unsigned nField, const char* szName, int nCType) {
    FieldInfo& info = m_fields.at(nField - 1);
    info.name = szName;
    info.cType = nCType;
}

void CRecordset::SetRowKey(unsigned nField, const char* text, std::size_t length) {
    RowKey& key = m_rowKey.at(nField - 1);
    key.isNull = text == nullptr;
    key.text = text == nullptr ? std::string() : std::string(text, length);
}
