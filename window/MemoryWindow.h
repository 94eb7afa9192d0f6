// One row of the memory browser: a word of the window shown as its offset, its two bytes, and the word
// in decimal and hexadecimal.
#pragma once

#include <QString>

#include <array>
#include <cstdint>
#include <optional>

using TMemoryRow = std::array<QString, 5>;

// Row `index` (0 to 127) of a window. A word that could not be read shows only its offset, so that no
// cell holds a value that did not come from the instrument.
TMemoryRow MemoryRow(int index, std::optional<std::uint16_t> word);
