#include "Journal.h"

namespace Velasystem {

void Journal::append(const QString &line)
{
    if (m_lines.size() >= static_cast<size_t>(MaxLines)) {
        m_lines.pop_front();
        ++m_dropped;
    }
    m_lines.push_back(line);
}

QStringList Journal::take(qint64 *dropped)
{
    QStringList lines;
    lines.reserve(static_cast<int>(m_lines.size()));
    for (QString &line : m_lines)
        lines.append(std::move(line));
    *dropped = m_dropped;
    clear();
    return lines;
}

void Journal::clear()
{
    m_lines.clear();
    m_dropped = 0;
}

} // namespace Velasystem
