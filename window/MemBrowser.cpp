#include "Core.h"
#include "MemoryWindow.h"

namespace {

// How often a window read shows how far it has come.
constexpr int WordsPerProgressStep = 16;

}  // namespace

void TFCore::CBAddrChange()
{
    const int block = CBBlock->currentIndex() + 1;
    const int window = CBAddr->currentIndex();
    // The browser logs nothing, so the status bar goes back to what it showed before the read.
    const QString status = StatusBar->currentMessage();
    const QString where = CBBlock->currentText() + QLatin1Char(' ') + CBAddr->currentText();
    const auto progress = [&](int wordsRead) {
        return QStringLiteral("Reading %1, word %2 of %3").arg(where).arg(wordsRead).arg(MemoryMap::WindowWords);
    };

    const auto showRow = [this](int index, std::optional<std::uint16_t> word) {
        const TMemoryRow row = MemoryRow(index, word);
        for (int column = 0; column < static_cast<int>(row.size()); ++column)
            SetCellText(SGMem, column, index, row[column]);
    };
    ShowProgress(progress(0));
    int wordsRead = 0;
    ReadWindow(block, window, [&](int index) {
        showRow(index, Word(0));
        wordsRead = index + 1;
        if (wordsRead % WordsPerProgressStep == 0)
            ShowProgress(progress(wordsRead));
    });
    // From the failed read on no word came from the instrument.
    for (int index = wordsRead; index < MemoryMap::WindowWords; ++index)
        showRow(index, std::nullopt);
    StatusBar->showMessage(status);
}
