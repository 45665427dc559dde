#pragma once

#include <QBitArray>
#include <QString>

namespace Velasystem {

// Text written into a journal or a reply line must stay on that line and be
// read back unambiguously: backslash, quote, line feed and the other
// characters below U+0020 are escaped (\\, \", \n, \xHH).
QString escapeText(const QString &text);
QString quoteText(const QString &text);
// A bit set as a quoted string of 0 and 1, bit 0 first.
QString quoteBits(const QBitArray &bits);

} // namespace Velasystem
