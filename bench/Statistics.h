#pragma once

#include <cstdint>
#include <vector>

namespace bench {

// Nearest-rank percentile (p from 0 to 100) of the values; sorts them.
double percentile(std::vector<double> &values, double p);
// The median of the values, the mean of the middle two for an even count;
// 0 for none.
double median(std::vector<double> values);

} // namespace bench
