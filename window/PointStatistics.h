// The reference point's figures and the trimming of its readings, worked out from the point list's texts.
#pragma once

#include <QString>
#include <QStringList>

// Turning input mode on and "Add" start a fresh list by emptying this many rows, whatever the list held;
// readings past them stay and move up.
constexpr int FreshListRows = 20;

// What EAverage and ESigma show for a list of readings.
struct TPointFigures {
    QString Average;  // the mean in the default float format; empty for an empty list
    QString Sigma;    // the population standard deviation in percent of the mean, 4 digits and " %"; empty likewise
};

// The working values are 32-bit floats, rounded after every step, so that the figures come out as the
// instrument's calibration sheets have always shown them (302 / 3 shows as 100.666664123535).
// A mean of 0 (every reading 0) has no scatter to speak of: its sigma shows as "0 %".
TPointFigures PointFigures(const QStringList& readings);

// How many rounds "Filter" runs on a list of `count` readings: none below 6, otherwise count / 5.
int FilterRounds(int count);

// The rows one round of "Filter" empties: the first row holding the largest reading and the first row holding
// the smallest. Empty cells are skipped. On a list of equal readings (all 0 and all 65535 included) both are
// the first row, so the round removes one reading. Both are -1 when there is no reading.
struct TExtremeRows {
    int Largest = -1;
    int Smallest = -1;
};
TExtremeRows FindExtremes(const QStringList& cells);

// The code "Store" hands on: the mean as shown, rounded half up to a whole number.
QString RoundedCode(const QString& averageText);
