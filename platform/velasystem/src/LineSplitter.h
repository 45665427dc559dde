#pragma once

#include <QByteArray>

namespace Velasystem {

// Cuts a byte stream into LF-terminated lines, dropping one CR before the
// LF. Never touches a socket. A line, or an unfinished one, longer than the
// limit (counted without its LF) is refused instead of buffered, so a
// client cannot make the library hold more than that.
class LineSplitter
{
public:
    enum class Result {
        Line,
        NeedMore,
        TooLong
    };

    explicit LineSplitter(int maxLineBytes);

    void feed(const char *data, int size);
    Result next(QByteArray *line);
    // What is left after the last LF, for a peer that closed mid-line.
    QByteArray takeRest();
    int buffered() const { return m_buffer.size() - m_start; }

private:
    int m_maxLineBytes;
    QByteArray m_buffer;
    int m_start = 0;
};

} // namespace Velasystem
