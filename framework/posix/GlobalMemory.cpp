#include "framework/GlobalMemory.h"

#include <cstdlib>
#include <cstring>
#include <new>

struct GlobalBlock {
    std::size_t size;
    unsigned locks;
    unsigned char* data;
};

HGLOBAL GlobalAlloc(unsigned flags, std::size_t bytes) {
    auto* block = new (std::nothrow) GlobalBlock{bytes, 0, nullptr};
    if (block == nullptr) {
        return nullptr;
    }
    // One byte at least, so a block of size 0 still locks to a valid address.
    const std::size_t allocated = bytes == 0 ? 1 : bytes;
    void* data = (flags & GMEM_ZEROINIT) != 0 ? std::calloc(allocated, 1) : std::malloc(allocated);
    if (data == nullptr) {
        delete block;
        return nullptr;
    }
    block->data = static_cast<unsigned char*>(data);
    return block;
}

HGLOBAL GlobalReAlloc(HGLOBAL block, std::size_t bytes, unsigned flags) {
    if (block == nullptr) {
        return nullptr;
    }
    void* data = std::realloc(block->data, bytes == 0 ? 1 : bytes);
    if (data == nullptr) {
        return nullptr;
    }
    block->data = static_cast<unsigned char*>(data);
    if ((flags & GMEM_ZEROINIT) != 0 && bytes > block->size) {
        std::memset(block->data + block->size, 0, bytes - block->size);
    }
    block->size = bytes;
    return block;
}

void* GlobalLock(HGLOBAL block) {
    if (block == nullptr) {
        return nullptr;
    }
    ++block->locks;
    return block->data;
}

bool GlobalUnlock(HGLOBAL block) {
    if (block == nullptr || block->locks == 0) {
        return false;
    }
    --block->locks;
    return block->locks != 0;
}

std::size_t GlobalSize(HGLOBAL block) {
    return block == nullptr ? 0 : block->size;
}

HGLOBAL GlobalFree(HGLOBAL block) {
    if (block != nullptr) {
        std::free(block->data);
        delete block;
    }
    return nullptr;
}
