#pragma once

#include <QString>

namespace Velasystem {

// Strict decimal: an optional "-" and digits, nothing else, within [min, max].
bool parseInteger(const QString &word, qint64 min, qint64 max, qint64 *value);

} // namespace Velasystem
