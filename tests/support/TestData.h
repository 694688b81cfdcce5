// Repeatable test bytes.
#pragma once

#include <cstddef>
#include <string>

// size bytes from a simple generator: the same seed gives the same bytes.
inline std::string Pattern(std::size_t size, unsigned seed = 12345) {
    std::string bytes(size, '\0');
    for (char& byte : bytes) {
        seed = seed * 1103515245U + 12345U;
        byte = static_cast<char>(seed >> 24);
    }
    return bytes;
}
