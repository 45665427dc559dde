#include "Statistics.h"

#include <algorithm>
#include <cmath>

namespace bench {

double percentile(std::vector<double> &values, double p)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const auto rank = static_cast<std::size_t>(std::ceil(p / 100.0 * static_cast<double>(values.size())));
    return values[std::clamp<std::size_t>(rank, 1, values.size()) - 1];
}

double median(std::vector<double> values)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const std::size_t mid = values.size() / 2;
    return values.size() % 2 == 1 ? values[mid] : (values[mid - 1] + values[mid]) / 2;
}

Spread spreadOf(const std::vector<double> &values)
{
    Spread spread;
    if (values.empty())
        return spread;
    const auto [least, most] = std::minmax_element(values.begin(), values.end());
    spread.median = median(values);
    spread.min = *least;
    spread.max = *most;
    spread.count = values.size();
    return spread;
}

} // namespace bench
