#include "ArchivePage.h"

#include "Formats.h"

#include <cmath>

namespace {

constexpr int StatisticsPrecision = 5;

QString StatisticText(float value)
{
    return FloatToStrF(static_cast<double>(value), StatisticsPrecision);
}

}  // namespace

TPageStatistics PageStatistics(const std::vector<std::uint16_t>& values)
{
    TPageStatistics statistics;
    const float count = static_cast<float>(values.size());
    for (const std::uint16_t word : values) {
        const float value = word;
        if (value < statistics.Minimum)
            statistics.Minimum = value;
        if (value > statistics.Maximum)
            statistics.Maximum = value;
        statistics.Mean = static_cast<float>(static_cast<double>(statistics.Mean) +
                                             static_cast<double>(value) / static_cast<double>(count));
    }
    float sumOfSquares = 0;
    for (const std::uint16_t word : values) {
        const double deviation = static_cast<double>(word) - static_cast<double>(statistics.Mean);
        sumOfSquares = static_cast<float>(static_cast<double>(sumOfSquares) + deviation * deviation);
    }
    statistics.Sigma = static_cast<float>(std::sqrt(static_cast<double>(sumOfSquares) / static_cast<double>(count)));
    return statistics;
}

std::vector<TPageRow> PageRows(int page, int count, const std::vector<std::uint16_t>& values)
{
    std::vector<TPageRow> rows;
    rows.push_back({QStringLiteral("Page:"), IntToStr(page), QString(), QStringLiteral("Count:"), IntToStr(count)});
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (i % PageColumns == 0)
            rows.emplace_back();
        rows.back()[i % PageColumns] = IntToStr(values[i]);
    }
    if (static_cast<int>(values.size()) < count) {
        rows.push_back({QStringLiteral("Failed:"), IntToStr(static_cast<qint64>(values.size())), QString(), QString(),
                        QString()});
    } else {
        const TPageStatistics statistics = PageStatistics(values);
        rows.push_back({QStringLiteral("Avg:"), StatisticText(statistics.Mean), QString(), QStringLiteral("Max:"),
                        StatisticText(statistics.Maximum)});
        rows.push_back({QStringLiteral("Sigma:"), StatisticText(statistics.Sigma), QString(), QStringLiteral("Min:"),
                        StatisticText(statistics.Minimum)});
    }
    rows.emplace_back();
    return rows;
}
