// The "Point" page and the poll timer: live readings collect into the point list (input mode) or show on the
// "Misc" page (tracking mode); "Store" hands the list's rounded mean to the calibration table.
#include "Core.h"
#include "GridTexts.h"
#include "PointStatistics.h"

#include <QLineEdit>
#include <QTableWidget>

void TFCore::CBInputClick()
{
    if (!CBInput->isChecked()) {
        Timer->stop();
        return;
    }
    // Unchecking "Track Values" stops the timer, so the timer starts only after it.
    CBTrack->setChecked(false);
    Timer->start();
    PointCount = 0;
    PointMode = true;
    for (int row = 0; row < FreshListRows; ++row)
        SetCellText(SGPoint, 0, row, QString());
}

void TFCore::CBTrackClick()
{
    if (!CBTrack->isChecked()) {
        Timer->stop();
        ETrCode->setEnabled(false);
        ETrGap->setEnabled(false);
        return;
    }
    CBInput->setChecked(false);
    Timer->start();
    PointMode = false;
    ETrCode->setEnabled(true);
    ETrGap->setEnabled(true);
}

void TFCore::TimerTimer()
{
    LinkOk = true;
    if (!GetStatus()) {
        LogMessage(QStringLiteral("- GetStatus Failed"));
        CBInput->setChecked(false);
        CBTrack->setChecked(false);
        return;
    }
    // Reply holds the last byte of the status exchange; 0 means the instrument has nothing new.
    if (Reply == 0)
        return;

    GetCode();
    if (PointMode) {
        if (LinkOk) {
            SetCellText(SGPoint, 0, PointCount, IntToStr(Word(0)));
            ++PointCount;
            UpdatePointStatistics();
        }
    } else {
        if (LinkOk)
            ETrCode->setText(IntToStr(Word(0)));
        GetGap();
        if (LinkOk)
            ETrGap->setText(IntToStr(Word(0)));
    }
    if (!LinkOk)
        LogMessage(QStringLiteral("- GetData Failed"));
}

void TFCore::UpdatePointStatistics()
{
    const TPointFigures figures = PointFigures(ColumnTexts(SGPoint, 0, PointCount));
    EAverage->setText(figures.Average);
    ESigma->setText(figures.Sigma);
}

void TFCore::CompactPoints()
{
    const int oldCount = PointCount;
    int kept = 0;
    for (int row = 0; row < oldCount; ++row) {
        const QString reading = CellText(SGPoint, 0, row);
        if (reading.isEmpty())
            --PointCount;
        else
            SetCellText(SGPoint, 0, kept++, reading);
    }
    for (int row = PointCount; row < oldCount; ++row)
        SetCellText(SGPoint, 0, row, QString());
    UpdatePointStatistics();
}

void TFCore::BFilterClick()
{
    const int rounds = FilterRounds(PointCount);
    for (int round = 0; round < rounds; ++round) {
        const TExtremeRows extremes = FindExtremes(ColumnTexts(SGPoint, 0, PointCount));
        SetCellText(SGPoint, 0, extremes.Largest, QString());
        SetCellText(SGPoint, 0, extremes.Smallest, QString());
        CompactPoints();
    }
}

void TFCore::BClearClick()
{
    for (int row = 0; row < PointCount; ++row)
        SetCellText(SGPoint, 0, row, QString());
    PointCount = 0;
    CompactPoints();
}

void TFCore::BStoreClick()
{
    SelectNextPage(true);
    ECode->setText(RoundedCode(EAverage->text()));
    CBGap->setFocus();
    // The gap typed next replaces the last one.
    CBGap->lineEdit()->selectAll();
}
