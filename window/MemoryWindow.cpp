#include "MemoryWindow.h"

#include "Formats.h"

TMemoryRow MemoryRow(int index, std::optional<std::uint16_t> word)
{
    TMemoryRow row;
    row[0] = IntToHex(static_cast<quint32>(2 * index), 3);
    if (word) {
        row[1] = IntToStr(*word >> 8);
        row[2] = IntToStr(*word & 0xFF);
        row[3] = IntToStr(*word);
        row[4] = IntToHex(*word, 4);
    }
    return row;
}
