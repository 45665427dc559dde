#include "Escape.h"

namespace Velasystem {

QString escapeText(const QString &text)
{
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        const ushort u = c.unicode();
        if (u == '\\') {
            out += QLatin1String("\\\\");
        } else if (u == '"') {
            out += QLatin1String("\\\"");
        } else if (u == '\n') {
            out += QLatin1String("\\n");
        } else if (u < 0x20) {
            out += QStringLiteral("\\x%1").arg(u, 2, 16, QLatin1Char('0'));
        } else {
            out += c;
        }
    }
    return out;
}

QString quoteText(const QString &text)
{
    return QLatin1Char('"') + escapeText(text) + QLatin1Char('"');
}

QString quoteBits(const QBitArray &bits)
{
    QString out(QLatin1Char('"'));
    for (int i = 0; i < bits.size(); ++i)
        out += bits.testBit(i) ? QLatin1Char('1') : QLatin1Char('0');
    return out + QLatin1Char('"');
}

} // namespace Velasystem
