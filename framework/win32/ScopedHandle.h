// Windows handles owned by unique_ptr, as framework/odbc/OdbcHandle.h owns ODBC
// handles: closed exactly once, movable, not copyable.
#pragma once

#include <memory>
#include <type_traits>

#include "framework/win32/WinApi.h"

template <typename Handle, auto Close>
struct HandleCloser {
    // Unchecked: a destructor has no one to tell. A close whose failure matters
    // (a written file) is made by hand before the owner lets go.
    void operator()(Handle handle) const noexcept { Close(handle); }
};

template <typename Handle, auto Close>
using ScopedHandle = std::unique_ptr<std::remove_pointer_t<Handle>, HandleCloser<Handle, Close>>;

using KernelHandle = ScopedHandle<HANDLE, &::CloseHandle>;
using SearchHandle = ScopedHandle<HANDLE, &::FindClose>;
using RegistryKey = ScopedHandle<HKEY, &::RegCloseKey>;

// CreateFile and FindFirstFile report "none" as INVALID_HANDLE_VALUE, not as null.
template <typename Scoped>
Scoped OwnValid(HANDLE handle) {
    return Scoped(handle == INVALID_HANDLE_VALUE ? nullptr : handle);
}
