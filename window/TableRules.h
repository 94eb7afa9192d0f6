// The calibration table's rules that need no window: where a table lies in the instrument, how many entries
// it holds, which values it takes, and where "Add" puts a new entry.
#pragma once

#include <QString>
#include <QStringList>

#include <cstdint>
#include <stdexcept>

// Where the table of a part type lies: the block and the header's address.
struct TTableLocation {
    int Block = 0;
    int Base = 0;
};

// Part codes 32 and 48 keep eight tables in SEEPROM, `tableIndex` choosing one; every other part code has
// the one EEPROM table, whatever `tableIndex` says.
TTableLocation TableLocation(int partCode, int tableIndex);

// Raised when a table would not fit its place; what() is the message the error box shows.
class TTableFull : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The entries a table in `block` has room for: 31 in a SEEPROM slot of 128 bytes, before the next slot's header;
// in EEPROM as many as the header's count byte holds.
int TableCapacity(int block);

// Throws TTableFull when `count` entries do not fit a table in `block`.
void CheckTableRoom(int block, int count);

// A code or gap text as a table entry holds it: an integer text of 0 to 65535, hexadecimal included.
// Throws TConversionError for any other text.
std::uint16_t TableValue(const QString& text);

// The header's first byte: the range in bit 7. A part type without ranges has nothing chosen (-1), and
// its tables carry range 0, the state an untouched header has.
std::uint8_t TableRangeByte(int rangeIndex);

// Where "Add" puts the entry (code, gap) in a table whose rows hold the texts `codes` and `gaps`.
// Row by row, a row with the same code, or else the same gap, is replaced; otherwise the first row with a
// greater code is where the entry is inserted, and past the last row it is appended.
struct TTablePlace {
    int Row = 0;
    bool Replaces = false;
};
TTablePlace PlaceEntry(const QStringList& codes, const QStringList& gaps, int code, int gap);

// The row selected after "Remove" took out row `removed`, leaving `count` rows.
int RowAfterRemoval(int removed, int count);
