#include "ArchiveExport.h"
#include "ArchivePage.h"
#include "Core.h"

#include <vector>

namespace {

// How often a page read shows how far it has come: a value takes a few milliseconds on the line.
constexpr int ValuesPerProgressStep = 10;

QString PageProgress(int page, int valuesRead)
{
    QString text = QStringLiteral("Reading page %1").arg(page);
    if (valuesRead > 0)
        text += QStringLiteral(", value %1").arg(valuesRead);
    return text;
}

}  // namespace

void TFCore::BPageReadClick()
{
    const int item = CBPage->currentIndex();
    if (item >= 1) {
        ReadPage(static_cast<std::uint8_t>(item - 1));
    } else {
        for (int page = 0; page < MemoryMap::Pages; ++page)
            ReadPage(static_cast<std::uint8_t>(page));
    }
    // Each page is a chain of its own, so this reports the last page read.
    LogMessage(LinkOk ? QStringLiteral("+ GetPage successful") : QStringLiteral("- GetPage failed"));
}

void TFCore::ReadPage(std::uint8_t page)
{
    ShowProgress(PageProgress(page, 0));
    std::vector<std::uint16_t> values;
    const int count = GetPage(page, [&](int) {
        values.push_back(Word(0));
        if (values.size() % ValuesPerProgressStep == 0)
            ShowProgress(PageProgress(page, static_cast<int>(values.size())));
    });
    if (!LinkOk && count == 0) {
        LogMessage(QStringLiteral("- Page %1 failed").arg(page));
        return;
    }
    if (MemoryMap::PageEmpty(count)) {
        LogMessage(QStringLiteral("- Page %1 Empty").arg(page));
        return;
    }
    for (const TPageRow& row : PageRows(page, count, values)) {
        for (int column = 0; column < PageColumns; ++column) {
            if (!row[column].isEmpty())
                SetCellText(SGPage, column, PageRow, row[column]);
        }
        ++PageRow;
    }
    if (!LinkOk)
        LogMessage(QStringLiteral("- Page %1 failed at value %2").arg(page).arg(values.size()));
}

void TFCore::BTblClearClick()
{
    for (int row = 0; row <= PageRow; ++row) {
        for (int column = 0; column < PageColumns; ++column)
            SetCellText(SGPage, column, row, QString());
    }
    PageRow = 0;
}

void TFCore::BTblExportClick()
{
    if (PageRow == 0) {
        LogMessage(QStringLiteral("- Page Table Empty"));
        return;
    }
    if (SaveDialog->exec() != QDialog::Accepted || SaveDialog->selectedFiles().isEmpty())
        return;
    const QString path = SaveDialog->selectedFiles().first();

    std::vector<TPageRow> rows;
    for (int row = 0; row <= PageRow; ++row) {
        TPageRow& cells = rows.emplace_back();
        for (int column = 0; column < PageColumns; ++column)
            cells[column] = CellText(SGPage, column, row);
    }
    if (const auto failure = ReplaceFile(path, ExportBytes(rows)))
        LogMessage(QStringLiteral("- Export failed: %1: %2").arg(path, *failure));
}
