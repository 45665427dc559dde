#pragma once

#include <cstdint>
#include <vector>

namespace bench {

// Nearest-rank percentile (p from 0 to 100) of the values; sorts them.
double percentile(std::vector<double> &values, double p);
// The median of the values, the mean of the middle two for an even count;
// 0 for none.
double median(std::vector<double> values);

// How one figure came out over the runs.
struct Spread
{
    double median = 0;
    double min = 0;
    double max = 0;
    std::size_t count = 0;
};

Spread spreadOf(const std::vector<double> &values);

} // namespace bench
