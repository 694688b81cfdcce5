// What the imports did to each table, counted as their statements run: the rows
// deleted, added and changed in place.
#pragma once

#include <array>
#include <cstdint>

enum RowTable : std::uint8_t { kIdcardRows, kIdcompRows, kSerialRows, kTunRows, kVsRows };
inline constexpr std::size_t kRowTableCount = 5;

struct RowChanges {
    std::int64_t deleted = 0;
    std::int64_t added = 0;
    std::int64_t changed = 0;
};

struct RowCounts {
    bool importBegun = false;  // the imports began writing in the transaction
    std::array<RowChanges, kRowTableCount> tables{};

    RowChanges& operator[](RowTable table) { return tables.at(table); }
};
