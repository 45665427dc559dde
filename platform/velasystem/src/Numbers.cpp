#include "Numbers.h"

namespace Velasystem {

bool parseInteger(const QString &word, qint64 min, qint64 max, qint64 *value)
{
    const bool negative = word.startsWith(QLatin1Char('-'));
    const int first = negative ? 1 : 0;
    // 18 digits always fit in 64 bits, and nothing we take needs more.
    if (word.size() == first || word.size() - first > 18)
        return false;
    qint64 result = 0;
    for (int i = first; i < word.size(); ++i) {
        const ushort c = word.at(i).unicode();
        if (c < '0' || c > '9')
            return false;
        result = result * 10 + (c - '0');
    }
    if (negative)
        result = -result;
    if (result < min || result > max)
        return false;
    *value = result;
    return true;
}

} // namespace Velasystem
