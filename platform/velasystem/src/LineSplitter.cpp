#include "LineSplitter.h"

namespace Velasystem {

LineSplitter::LineSplitter(int maxLineBytes)
    : m_maxLineBytes(maxLineBytes)
{}

void LineSplitter::feed(const char *data, int size)
{
    if (m_start > 0) {
        m_buffer.remove(0, m_start);
        m_start = 0;
    }
    m_buffer.append(data, size);
}

LineSplitter::Result LineSplitter::next(QByteArray *line)
{
    const int end = m_buffer.indexOf('\n', m_start);
    const int length = (end < 0 ? m_buffer.size() : end) - m_start;
    if (length > m_maxLineBytes)
        return Result::TooLong;
    if (end < 0)
        return Result::NeedMore;
    *line = m_buffer.mid(m_start, length);
    if (line->endsWith('\r'))
        line->chop(1);
    m_start = end + 1;
    return Result::Line;
}

QByteArray LineSplitter::takeRest()
{
    QByteArray rest = m_buffer.mid(m_start);
    m_buffer.clear();
    m_start = 0;
    if (rest.endsWith('\r'))
        rest.chop(1);
    return rest;
}

} // namespace Velasystem
