// The scrambled update package: the payload bytes exclusive-or one key byte,
// then the key byte itself.
#pragma once

#include <cstddef>
#include <cstdint>

#include "framework/CString.h"

// Writes count + 1 bytes to output: input xor a time-seeded key of 1..254, then the key.
void ScrambleBuffer(const std::uint8_t* input, std::size_t count, std::uint8_t* output);
// input holds count + 1 bytes, the last is the key; writes count plain bytes.
void UnscrambleBuffer(const std::uint8_t* input, std::size_t count, std::uint8_t* output);
// Turns the package at source into its plain data at target; 1 when written, else 0.
int UnscrambleFile(const CString& source, const CString& target);
