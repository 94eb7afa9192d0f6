// Readings with the figures the "Point" page must show for them (decimal separator '.') and the code
// that "Store" makes of them.
#pragma once

#include <cstdint>
#include <ostream>
#include <vector>

struct TPointCase {
    std::vector<std::uint16_t> Readings;
    const char* Average;
    const char* Sigma;
    const char* Code;
};

inline const std::vector<TPointCase> PointCases = {
    {{1000, 1002}, "1001", "0.0999 %", "1001"},
    {{100, 101, 101}, "100.666664123535", "0.4683 %", "101"},
    {{500, 510, 490, 505, 495}, "500", "1.414 %", "500"},
    {{1200, 1210, 1190, 1205, 1195, 1203, 1198, 1201, 1199, 1200}, "1200.09997558594", "0.4289 %", "1200"},
    {{500, 500, 500}, "500", "0 %", "500"},
    {{0, 0, 0, 0}, "0", "0 %", "0"},  // no scatter at all, however small the mean
    {{65535, 65535, 65534}, "65534.66796875", "0.0007193 %", "65535"},
    {{1, 2}, "1.5", "33.33 %", "2"},  // halves round up
};

inline void PrintTo(const TPointCase& c, std::ostream* out)
{
    *out << c.Readings.size() << " readings, mean " << c.Average;
}
