// The "Table" page: the calibration table in SGTable, its entries added from ECode and CBGap, read from and
// written to the instrument.
#include "Core.h"
#include "GridTexts.h"
#include "PointStatistics.h"
#include "TableRules.h"

#include <QTableWidget>

#include <vector>

namespace {

constexpr int CodeColumn = 0;
constexpr int GapColumn = 1;

struct TTableEntry {
    std::uint16_t Code = 0;
    std::uint16_t Gap = 0;
};

std::vector<TTableEntry> TableEntries(const QTableWidget* grid, int count)
{
    std::vector<TTableEntry> entries;
    for (int row = 0; row < count; ++row)
        entries.push_back({TableValue(CellText(grid, CodeColumn, row)), TableValue(CellText(grid, GapColumn, row))});
    return entries;
}

int SelectedRow(const QTableWidget* grid)
{
    return grid->currentRow() < 0 ? 0 : grid->currentRow();
}

}  // namespace

void TFCore::SelectTableRow(int row)
{
    SelectingFromCode = true;
    SGTable->setCurrentCell(row, CodeColumn);
    SelectingFromCode = false;
}

void TFCore::BAddClick()
{
    // Both texts are checked before anything moves, so the table never holds a text that "Write" would refuse.
    const QString codeText = ECode->text();
    const QString gapText = CBGap->currentText();
    const std::uint16_t code = TableValue(codeText);
    const std::uint16_t gap = TableValue(gapText);
    const TTablePlace place =
        PlaceEntry(ColumnTexts(SGTable, CodeColumn, TableCount), ColumnTexts(SGTable, GapColumn, TableCount), code, gap);
    if (!place.Replaces) {
        CheckTableRoom(TableLocation(PartCode, CBTable->currentIndex()).Block, TableCount + 1);
        for (int row = TableCount - 1; row >= place.Row; --row) {
            SetCellText(SGTable, CodeColumn, row + 1, CellText(SGTable, CodeColumn, row));
            SetCellText(SGTable, GapColumn, row + 1, CellText(SGTable, GapColumn, row));
        }
        ++TableCount;
    }
    SetCellText(SGTable, CodeColumn, place.Row, codeText);
    SetCellText(SGTable, GapColumn, place.Row, gapText);
    SelectTableRow(place.Row);

    if (CBInput->isChecked()) {
        // Back to a fresh point list for the next reference point.
        SelectNextPage(false);
        for (int row = 0; row < FreshListRows; ++row)
            SetCellText(SGPoint, 0, row, QString());
        CompactPoints();
    }
}

void TFCore::BRemoveClick()
{
    const int removed = SelectedRow(SGTable);
    if (removed >= TableCount)
        return;
    // The last entry's row receives the empty row that follows the table.
    for (int row = removed; row < TableCount; ++row) {
        SetCellText(SGTable, CodeColumn, row, CellText(SGTable, CodeColumn, row + 1));
        SetCellText(SGTable, GapColumn, row, CellText(SGTable, GapColumn, row + 1));
    }
    --TableCount;
    SelectTableRow(RowAfterRemoval(removed, TableCount));
}

void TFCore::SGTableSelectCell(int, int row, bool&)
{
    // The grid lost its current cell: there is no row to show.
    if (row < 0)
        return;
    ECode->setText(CellText(SGTable, CodeColumn, row));
    CBGap->setEditText(CellText(SGTable, GapColumn, row));
}

void TFCore::BTabReadClick()
{
    ClearTable();
    const TTableLocation location = TableLocation(PartCode, CBTable->currentIndex());
    ReadTable(location.Block, location.Base);
    LogMessage(LinkOk ? QStringLiteral("+ GetTable successful") : QStringLiteral("- GetTable failed"));
}

void TFCore::BTabWriteClick()
{
    const TTableLocation location = TableLocation(PartCode, CBTable->currentIndex());
    ExchangeBuffer[0] = TableRangeByte(CBRange->currentIndex());
    ExchangeBuffer[1] = static_cast<std::uint8_t>(TableCount);
    WriteTable(location.Block, location.Base);
    LogMessage(LinkOk ? QStringLiteral("+ PutTable successful") : QStringLiteral("- PutTable failed"));
}

void TFCore::BTabClearClick()
{
    ClearTable();
}

void TFCore::ReadTable(int block, int base)
{
    TTableHeader header{-1, 0};  // Range stays -1 when the header read fails
    // A header's count is believed only as far as the table's room reaches.
    GetTable(block, base, TableCapacity(block), header, [this](int entry) {
        SetCellText(SGTable, CodeColumn, entry, IntToStr(Word(0)));
        SetCellText(SGTable, GapColumn, entry, IntToStr(Word(1)));
        // Only the entries that arrived are the table: a failed read leaves no row that looks like data.
        TableCount = entry + 1;
    });
    if (header.Range >= 0)
        CBRange->setCurrentIndex(header.Range);
}

void TFCore::WriteTable(int block, int base)
{
    // Both refusals come before the header goes out, so a refused table leaves the instrument as it was.
    CheckTableRoom(block, TableCount);
    const std::vector<TTableEntry> entries = TableEntries(SGTable, TableCount);
    PutTable(block, base, static_cast<int>(entries.size()), [&](int entry) {
        SetWord(0, entries[entry].Code);
        SetWord(1, entries[entry].Gap);
    });
}

void TFCore::ClearTable()
{
    for (int row = 0; row < TableCount; ++row) {
        SetCellText(SGTable, CodeColumn, row, QString());
        SetCellText(SGTable, GapColumn, row, QString());
    }
    TableCount = 0;
}
