// POSIX handles owned by unique_ptr, as framework/odbc/OdbcHandle.h owns ODBC
// handles: closed exactly once, movable, not copyable.
#pragma once

#include <unistd.h>

#include <cstddef>
#include <memory>

template <typename Handle, Handle None, auto Close>
struct HandleCloser {
    // What unique_ptr holds: the handle itself, None standing for null.
    struct pointer {
        Handle value = None;
        pointer() = default;
        pointer(std::nullptr_t) {}  // NOLINT(google-explicit-constructor): unique_ptr's null
        explicit pointer(Handle handle) : value(handle) {}
        explicit operator bool() const { return value != None; }
        friend bool operator==(pointer a, pointer b) { return a.value == b.value; }
    };
    // Unchecked: a destructor has no one to tell.
    void operator()(pointer handle) const noexcept { Close(handle.value); }
};

template <typename Handle, Handle None, auto Close>
using ScopedHandle = std::unique_ptr<Handle, HandleCloser<Handle, None, Close>>;

using ScopedFd = ScopedHandle<int, -1, &::close>;

inline ScopedFd OwnFd(int fd) {
    return ScopedFd(ScopedFd::pointer(fd));
}
