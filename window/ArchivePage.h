// How one archive page is laid out in the archive grid: its count, its values five to a row, and their
// mean, sigma, maximum and minimum.
#pragma once

#include <QString>

#include <array>
#include <cstdint>
#include <vector>

constexpr int PageColumns = 5;
using TPageRow = std::array<QString, PageColumns>;

// Computed in single precision, as the instrument's own tools do: the mean is a running sum of
// value / count rounded to single precision at every step, sigma the population deviation around that mean.
struct TPageStatistics {
    float Mean = 0;
    float Sigma = 0;
    float Maximum = 0;
    float Minimum = 65535;
};

// `values` holds 1 to 122 values.
TPageStatistics PageStatistics(const std::vector<std::uint16_t>& values);

// The rows of page `page` whose header announced `count` values (1 to 122), the empty row that closes
// the page included. A read that failed part-way (fewer values than `count`) shows the values read and,
// in place of the statistics, one row "Failed:" with the index of the value that could not be read:
// no cell shows a value, or a statistic over values, that did not come from the instrument.
std::vector<TPageRow> PageRows(int page, int count, const std::vector<std::uint16_t>& values);
