#include "PointStatistics.h"

#include "Formats.h"

#include <cmath>

TPointFigures PointFigures(const QStringList& readings)
{
    if (readings.isEmpty())
        return {};
    const long double count = readings.size();

    float sum = 0;
    for (const QString& reading : readings)
        sum = static_cast<float>(static_cast<long double>(sum) + StrToFloat(reading));
    const float mean = static_cast<float>(sum / count);

    float squares = 0;
    for (const QString& reading : readings) {
        const double deviation = static_cast<double>(StrToFloat(reading) - static_cast<long double>(mean));
        squares = static_cast<float>(static_cast<long double>(squares) + deviation * deviation);
    }
    const float sigma = static_cast<float>(std::sqrt(static_cast<double>(squares / count)));

    const long double relative = mean == 0 ? 0.0L : static_cast<long double>(sigma) * 100 / mean;
    return {FloatToStr(mean), FloatToStrF(static_cast<double>(relative), 4) + QStringLiteral(" %")};
}

int FilterRounds(int count)
{
    return count < 6 ? 0 : count / 5;
}

TExtremeRows FindExtremes(const QStringList& cells)
{
    // Readings lie within 0 to 65535, so these bounds let the first reading set both extremes.
    int largest = -1;
    int smallest = 65536;
    TExtremeRows rows;
    for (int row = 0; row < cells.size(); ++row) {
        if (cells[row].isEmpty())
            continue;
        const int value = StrToInt(cells[row]);
        if (value > largest) {
            largest = value;
            rows.Largest = row;
        }
        if (value < smallest) {
            smallest = value;
            rows.Smallest = row;
        }
    }
    return rows;
}

QString RoundedCode(const QString& averageText)
{
    return FloatToStr(std::floor(StrToFloat(averageText) + 0.5));
}
