// A long-binary value: a movable global memory block and the number of data
// bytes in it. The value owns its block and frees it when destroyed.
#pragma once

#include <cstdint>

#include "framework/GlobalMemory.h"

class CLongBinary {
  public:
    CLongBinary() = default;
    ~CLongBinary() { GlobalFree(m_hData); }
    CLongBinary(const CLongBinary&) = delete;
    CLongBinary& operator=(const CLongBinary&) = delete;

    // Frees the block it holds and takes the given one (or none).
    void Reset(HGLOBAL block = nullptr, std::uint32_t length = 0) {
        if (block != m_hData) {
            GlobalFree(m_hData);
        }
        m_hData = block;
        m_dwDataLength = length;
    }

    HGLOBAL m_hData = nullptr;
    std::uint32_t m_dwDataLength = 0;
};
