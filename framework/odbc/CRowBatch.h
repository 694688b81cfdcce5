// Rows added through one INSERT, held back and sent together: one execution
// for up to kMostRows rows instead of one per row, so a server at a distance
// costs a round trip per batch, not per row. The connection holds at most one
// batch and sends it before any other statement runs on it and before its
// commit (CDatabase::SendPendingRows).
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "framework/CString.h"
#include "framework/odbc/Odbc.h"

class CDatabase;

class CRowBatch {
  public:
    // How a driver takes many rows in one execution.
    enum Method {
        rowAtATime,       // no batches: every row is executed as it is added
        parameterArrays,  // SQL_ATTR_PARAMSET_SIZE over column-wise arrays
        multiRowValues,   // one INSERT ... VALUES (?,?), (?,?), ... per batch
    };

    // Whichever comes first ends a batch: the rows, or the bytes of the value
    // buffers (each row takes its columns' declared widths).
    static constexpr std::size_t kMostRows = 1000;
    static constexpr std::size_t kMostBytes = std::size_t{4} << 20;
    // The fewest host parameters one statement may carry on the data sources in
    // use (SQLite's default limit; PostgreSQL takes 65535).
    static constexpr std::size_t kMostParameters = 32766;

    // One value of a row as the field exchange would bind it.
    struct Value {
        SQLSMALLINT cType = SQL_C_CHAR;
        SQLSMALLINT sqlType = SQL_VARCHAR;
        SQLULEN columnSize = 0;
        SQLSMALLINT scale = 0;
        std::string bytes;
        bool isNull = false;
    };
    using Row = std::vector<Value>;

    // key: what decides the statement's text; head: "INSERT INTO table (columns)"
    // with its names quoted for the driver.
    CRowBatch(std::string key, CString head, Method method);

    [[nodiscard]] const std::string& Key() const { return m_key; }
    [[nodiscard]] bool Empty() const { return m_nRows == 0; }
    // True when row binds as the rows already held (an empty batch takes any).
    [[nodiscard]] bool Takes(const Row& row) const;
    void Add(const Row& row);
    // No room for another row.
    [[nodiscard]] bool Full() const;
    // Executes the rows held (on a statement the connection keeps prepared) and
    // empties the batch; a row the data source refuses raises CDBException
    // with the driver's text.
    void Send(CDatabase& database);

  private:
    struct Column {
        SQLSMALLINT cType;
        SQLSMALLINT sqlType;
        SQLULEN columnSize;
        SQLSMALLINT scale;
        std::size_t width;  // bytes per row in data
        std::vector<char> data;
        std::vector<SQLLEN> lengths;
    };

    [[nodiscard]] std::size_t RowBytes() const;
    [[nodiscard]] std::size_t MostRows() const;
    [[nodiscard]] CString Text(std::size_t rows) const;
    void Bind(SQLHSTMT stmt, std::size_t rows);
    void Execute(SQLHSTMT stmt, std::size_t rows);

    std::string m_key;
    CString m_head;
    Method m_method;
    std::vector<Column> m_columns;
    std::size_t m_nRows = 0;
};
