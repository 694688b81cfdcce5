#include "framework/odbc/CRowBatch.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <utility>

#include "framework/odbc/CDBException.h"
#include "framework/odbc/PreparedStatement.h"

namespace {
bool HasVariableLength(SQLSMALLINT cType) {
    return cType == SQL_C_CHAR || cType == SQL_C_BINARY;
}

// ODBC takes a number in the pointer argument itself.
SQLPOINTER AsAttribute(std::size_t value) {
    // NOLINTNEXTLINE(performance-no-int-to-ptr)
    return reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(value));
}
}  // namespace

CRowBatch::CRowBatch(std::string key, CString head, Method method)
    : m_key(std::move(key)), m_head(std::move(head)), m_method(method) {}

std::size_t CRowBatch::RowBytes() const {
    std::size_t bytes = 0;
    for (const Column& column : m_columns) {
        bytes += column.width;
    }
    return std::max<std::size_t>(bytes, 1);
}

std::size_t CRowBatch::MostRows() const {
    std::size_t most = std::min(kMostRows, kMostBytes / RowBytes());
    if (m_method == multiRowValues && !m_columns.empty()) {
        most = std::min(most, kMostParameters / m_columns.size());
    }
    return std::max<std::size_t>(most, 1);
}

bool CRowBatch::Full() const {
    return m_nRows >= MostRows();
}

bool CRowBatch::Takes(const Row& row) const {
    if (m_nRows == 0) {
        return !row.empty() && (m_method != multiRowValues || row.size() <= kMostParameters);
    }
    if (Full() || row.size() != m_columns.size()) {
        return false;
    }
    for (std::size_t i = 0; i < row.size(); ++i) {
        const Value& value = row[i];
        const Column& column = m_columns[i];
        if (value.cType != column.cType || value.sqlType != column.sqlType ||
            value.columnSize != column.columnSize || value.scale != column.scale ||
            value.bytes.size() > column.width) {
            return false;
        }
    }
    return true;
}

void CRowBatch::Add(const Row& row) {
    if (m_nRows == 0) {
        m_columns.clear();
        for (const Value& value : row) {
            const std::size_t width =
                HasVariableLength(value.cType)
                    ? std::max<std::size_t>({value.columnSize, value.bytes.size(), 1})
                    : value.bytes.size();
            m_columns.push_back(
                {value.cType, value.sqlType, value.columnSize, value.scale, width, {}, {}});
        }
    }
    for (std::size_t i = 0; i < row.size(); ++i) {
        Column& column = m_columns[i];
        const Value& value = row[i];
        const std::size_t at = column.data.size();
        column.data.resize(at + column.width);
        std::memcpy(column.data.data() + at, value.bytes.data(), value.bytes.size());
        column.lengths.push_back(value.isNull ? SQL_NULL_DATA
                                              : static_cast<SQLLEN>(value.bytes.size()));
    }
    ++m_nRows;
}

CString CRowBatch::Text(std::size_t rows) const {
    CString one = "(";
    for (std::size_t i = 0; i < m_columns.size(); ++i) {
        one += i == 0 ? "?" : ",?";
    }
    one += ")";
    CString text = m_head + " VALUES " + one;
    if (m_method == multiRowValues) {
        for (std::size_t row = 1; row < rows; ++row) {
            text += "," + one;
        }
    }
    return text;
}

void CRowBatch::Bind(SQLHSTMT stmt, std::size_t rows) {
    const bool arrays = m_method == parameterArrays;
    const std::size_t perRow = m_columns.size();
    for (std::size_t c = 0; c < perRow; ++c) {
        Column& column = m_columns[c];
        const auto bufferLength =
            HasVariableLength(column.cType) ? static_cast<SQLLEN>(column.width) : 0;
        // Arrays bind each column once over all rows; one statement of many
        // rows binds every value as a parameter of its own.
        for (std::size_t row = 0; row < (arrays ? 1 : rows); ++row) {
            const auto param = static_cast<SQLUSMALLINT>(row * perRow + c + 1);
            OdbcCheck(SQLBindParameter(stmt, param, SQL_PARAM_INPUT, column.cType, column.sqlType,
                                       column.columnSize, column.scale,
                                       column.data.data() + row * column.width, bufferLength,
                                       &column.lengths[row]),
                      SQL_HANDLE_STMT, stmt);
        }
    }
}

void CRowBatch::Execute(SQLHSTMT stmt, std::size_t rows) {
    if (m_method != parameterArrays) {
        const SQLRETURN rc = SQLExecute(stmt);
        if (rc != SQL_NO_DATA) {
            OdbcCheck(rc, SQL_HANDLE_STMT, stmt);
        }
        return;
    }
    std::vector<SQLUSMALLINT> status(rows, SQL_PARAM_UNUSED);
    SQLULEN processed = 0;
    OdbcCheck(SQLSetStmtAttr(stmt, SQL_ATTR_PARAM_BIND_TYPE, SQL_PARAM_BIND_BY_COLUMN, 0),
              SQL_HANDLE_STMT, stmt);
    OdbcCheck(SQLSetStmtAttr(stmt, SQL_ATTR_PARAMSET_SIZE, AsAttribute(rows), 0), SQL_HANDLE_STMT,
              stmt);
    OdbcCheck(SQLSetStmtAttr(stmt, SQL_ATTR_PARAM_STATUS_PTR, status.data(), 0), SQL_HANDLE_STMT,
              stmt);
    OdbcCheck(SQLSetStmtAttr(stmt, SQL_ATTR_PARAMS_PROCESSED_PTR, &processed, 0), SQL_HANDLE_STMT,
              stmt);
    const SQLRETURN rc = SQLExecute(stmt);
    // A driver may report success for the execution while refusing rows of
    // it; one that fills no status (the SQLite driver) leaves them unused.
    const bool allStored = SQL_SUCCEEDED(rc) && processed == rows &&
                           std::none_of(status.begin(), status.end(), [](SQLUSMALLINT s) {
                               return s == SQL_PARAM_ERROR || s == SQL_PARAM_DIAG_UNAVAILABLE;
                           });
    // The diagnostics are read before the next call on the statement clears them.
    std::optional<CDBException> refused;
    if (!allStored) {
        refused.emplace(SQL_ERROR, SQL_HANDLE_STMT, stmt);
    }
    // The statement goes back to single rows: it is kept for reuse, and the
    // status array dies here.
    SQLSetStmtAttr(stmt, SQL_ATTR_PARAM_STATUS_PTR, nullptr, 0);
    SQLSetStmtAttr(stmt, SQL_ATTR_PARAMS_PROCESSED_PTR, nullptr, 0);
    SQLSetStmtAttr(stmt, SQL_ATTR_PARAMSET_SIZE, AsAttribute(1), 0);
    if (!refused) {
        return;
    }
    if (refused->m_records.empty()) {
        throw CDBException::RowsNotChanged(
            "The data source did not store every row of a batch added to it and gave no reason.");
    }
    throw *refused;
}

void CRowBatch::Send(CDatabase& database) {
    const std::size_t rows = m_nRows;
    if (rows == 0) {
        return;
    }
    const PreparedStatement stmt(database, Text(rows));
    Bind(stmt.get(), rows);
    Execute(stmt.get(), rows);
    m_columns.clear();
    m_nRows = 0;
}
