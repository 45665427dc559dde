#include "CommandLine.h"

namespace Velasystem {

CommandLine::CommandLine(const QString &line)
    : m_line(line)
{
    int i = 0;
    while (i < m_line.size()) {
        if (m_line.at(i) == QLatin1Char(' ')) {
            ++i;
            continue;
        }
        m_starts.append(i);
        while (i < m_line.size() && m_line.at(i) != QLatin1Char(' '))
            ++i;
        m_ends.append(i);
    }
}

QString CommandLine::word(int i) const
{
    if (i < 0 || i >= count())
        return QString();
    return m_line.mid(m_starts.at(i), m_ends.at(i) - m_starts.at(i));
}

QString CommandLine::textFrom(int i) const
{
    if (i <= 0)
        return m_line;
    if (i > count())
        return QString();
    return m_line.mid(m_ends.at(i - 1) + 1);
}

} // namespace Velasystem
