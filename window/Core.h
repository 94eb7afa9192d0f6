// TFCore: the one window. Its controls come from resources/Core.ui, one member per control named as
// the control; its link to the instrument is the TInstrumentLink it derives from. The handlers of each
// device page live in a file of their own (Settings, Point, Table, Archive, MemBrowser).
#pragma once

#include "Formats.h"
#include "InstrumentLink.h"
#include "ui_Core.h"

#include <QFileDialog>
#include <QMainWindow>
#include <QTimer>

#include <cstdint>
#include <functional>

class QTableWidget;

// A grid cell's text; a cell never written reads as the empty text.
QString CellText(const QTableWidget* grid, int column, int row);
// Writes a cell, growing the grid when the row lies below its last one, so that every row stays reachable.
void SetCellText(QTableWidget* grid, int column, int row, const QString& text);

class TFCore : public QMainWindow, public TInstrumentLink, public Ui::TFCore {
    Q_OBJECT

public:
    explicit TFCore(QWidget* parent = nullptr);
    ~TFCore() override;

    // The window's data, beside Port, LinkOk, ExchangeBuffer and Reply of the link.
    bool PointMode = false;
    std::uint8_t SettingsCopy[4] = {};  // trigger mask, trigger count, beep time, shutdown time
    std::int32_t PartCode = 0;
    std::int32_t ProdMonth = 0;
    std::int32_t ProdYear = 0;
    std::int32_t SerialNo = 0;
    std::int32_t PointCount = 0;
    std::int32_t TableCount = 0;
    std::int32_t PageRow = 0;

    QTimer* Timer = nullptr;
    QFileDialog* SaveDialog = nullptr;

public slots:
    // Start, end and the event log.
    void FormCreate();
    void FormDestroy();
    void LogMessage(QString text);

    // Connection, identity and part profiles.
    void BPortClick();
    void SetConnectedState(bool connected);
    void ShowIdentity();
    void ApplyPartProfile();
    void EnableTableAndArchive(bool enabled);
    void CBPartChange();

    // Device settings.
    void BSettReadClick();
    void BSettWriteClick();
    void CBBeepClick();
    void CBShutDownClick();
    void ShowSettings();

    // Live readings and the reference point.
    void CBInputClick();
    void CBTrackClick();
    void TimerTimer();
    void UpdatePointStatistics();
    void CompactPoints();
    void BFilterClick();
    void BClearClick();
    void BStoreClick();

    // Calibration table.
    void BAddClick();
    void BRemoveClick();
    void SGTableSelectCell(int column, int row, bool& canSelect);
    void BTabReadClick();
    void BTabWriteClick();
    void BTabClearClick();
    void ReadTable(int block, int base);
    void WriteTable(int block, int base);
    void ClearTable();

    // Archive pages and export.
    void BPageReadClick();
    void ReadPage(std::uint8_t page);
    void BTblClearClick();
    void BTblExportClick();

    // Memory browser.
    void CBAddrChange();

public:
    // Moves PCCore to the next (or previous) page, wrapping around at either end.
    void SelectNextPage(bool forward);
    // Shows how far a long read has come, at once, without handling any other event meanwhile.
    void ShowProgress(const QString& text);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Every handler runs through here: a text that does not convert ends the handler and is shown in an
    // error box, and the window carries on.
    void RunHandler(const std::function<void()>& handler);
    void ShowError(const QString& message);
    template <typename Sender, typename Signal>
    void Handle(Sender* sender, Signal signal, void (TFCore::*handler)());
    bool PressDefaultButton();
    void SetFonts();

    // The table grid's current cell is moved by code without the select-cell handler.
    bool SelectingFromCode = false;

    // Calibration table: makes `row` the selected row without the select-cell handler.
    void SelectTableRow(int row);
};
