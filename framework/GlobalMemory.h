// Movable global memory blocks: a handle, a size, a lock count. Long-binary
// values keep their bytes in one.
#pragma once

#if defined(_WIN32)
// The system's own GlobalAlloc family.
#include "framework/win32/WinApi.h"
#else
#include <cstddef>

struct GlobalBlock;
using HGLOBAL = GlobalBlock*;

inline constexpr unsigned GMEM_MOVEABLE = 0x0002;
inline constexpr unsigned GMEM_ZEROINIT = 0x0040;

// nullptr when the memory cannot be had.
[[nodiscard]] HGLOBAL GlobalAlloc(unsigned flags, std::size_t bytes);
// Grows or shrinks the block, keeping its bytes; nullptr (and the old block kept) on failure.
[[nodiscard]] HGLOBAL GlobalReAlloc(HGLOBAL block, std::size_t bytes, unsigned flags);
void* GlobalLock(HGLOBAL block);
bool GlobalUnlock(HGLOBAL block);
[[nodiscard]] std::size_t GlobalSize(HGLOBAL block);
// Returns nullptr on success, as the handle it could not free otherwise.
HGLOBAL GlobalFree(HGLOBAL block);
#endif

// Holds a block locked for the length of a scope.
class CGlobalLock {
  public:
    explicit CGlobalLock(HGLOBAL block) : m_block(block), m_data(GlobalLock(block)) {}
    ~CGlobalLock() {
        if (m_data != nullptr) {
            GlobalUnlock(m_block);
        }
    }
    CGlobalLock(const CGlobalLock&) = delete;
    CGlobalLock& operator=(const CGlobalLock&) = delete;

    [[nodiscard]] void* data() const { return m_data; }

  private:
    HGLOBAL m_block;
    void* m_data;
};
