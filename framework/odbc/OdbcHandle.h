// ODBC handles owned by unique_ptr: freed exactly once, movable, not copyable.
#pragma once

#include <memory>

#include "framework/CString.h"
#include "framework/odbc/Odbc.h"

template <SQLSMALLINT HandleType>
struct OdbcHandleDeleter {
    // Unchecked: a destructor has no one to tell; a connection lost on the way
    // shows at the next statement or at the commit.
    void operator()(SQLHANDLE handle) const noexcept { SQLFreeHandle(HandleType, handle); }
};

template <SQLSMALLINT HandleType>
using OdbcHandle = std::unique_ptr<void, OdbcHandleDeleter<HandleType>>;

using EnvHandle = OdbcHandle<SQL_HANDLE_ENV>;
using DbcHandle = OdbcHandle<SQL_HANDLE_DBC>;
using StmtHandle = OdbcHandle<SQL_HANDLE_STMT>;

// A text as the ODBC API takes it (the API never writes through it).
inline SQLCHAR* SqlChars(const CString& text) {
    return reinterpret_cast<SQLCHAR*>(const_cast<char*>(text.GetString()));
}

// Allocates a handle of the given type under its parent; raises CDBException on failure.
template <SQLSMALLINT HandleType>
OdbcHandle<HandleType> AllocOdbcHandle(SQLSMALLINT parentType, SQLHANDLE parent);
