#include "TableRules.h"

#include "Formats.h"
#include "InstrumentLink.h"

TTableLocation TableLocation(int partCode, int tableIndex)
{
    if (partCode == 32 || partCode == 48)
        return {BlockSeeprom, tableIndex * MemoryMap::SeepromTableSize};
    return {BlockEeprom, MemoryMap::EepromTable};
}

int TableCapacity(int block)
{
    return block == BlockSeeprom ? MemoryMap::SeepromTableEntries : MemoryMap::EepromTableEntries;
}

void CheckTableRoom(int block, int count)
{
    const int capacity = TableCapacity(block);
    if (count <= capacity)
        return;
    const QString message = block == BlockSeeprom ? QStringLiteral("A SEEPROM table holds at most %1 entries")
                                                  : QStringLiteral("The EEPROM table holds at most %1 entries");
    throw TTableFull(message.arg(capacity).toStdString());
}

std::uint16_t TableValue(const QString& text)
{
    const qint32 value = StrToInt(text);
    if (value < 0 || value > 0xFFFF)
        throw TConversionError(QStringLiteral("'%1' is outside the range 0 to 65535").arg(text));
    return static_cast<std::uint16_t>(value);
}

std::uint8_t TableRangeByte(int rangeIndex)
{
    return rangeIndex == 1 ? 0x80 : 0x00;
}

TTablePlace PlaceEntry(const QStringList& codes, const QStringList& gaps, int code, int gap)
{
    TTablePlace place;
    for (; place.Row < codes.size(); ++place.Row) {
        // The match comes first, so the row that ends the walk is itself checked for one.
        if (TableValue(codes[place.Row]) == code || TableValue(gaps[place.Row]) == gap) {
            place.Replaces = true;
            break;
        }
        if (TableValue(codes[place.Row]) > code)
            break;
    }
    return place;
}

int RowAfterRemoval(int removed, int count)
{
    if (removed < count)
        return removed;
    return count > 0 ? count - 1 : 0;
}
