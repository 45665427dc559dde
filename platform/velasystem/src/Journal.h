#pragma once

#include <QString>
#include <QStringList>

#include <deque>

namespace Velasystem {

// The calls the relay made, oldest first. Bounded so that a relay that runs
// for weeks with the simulator does not grow without limit: past the limit
// the oldest lines go and are counted. Guarded by the model lock.
class Journal
{
public:
    static constexpr int MaxLines = 100000;

    void append(const QString &line);
    // Hands over every line and the number dropped since the last take.
    QStringList take(qint64 *dropped);
    void clear();

private:
    std::deque<QString> m_lines;
    qint64 m_dropped = 0;
};

} // namespace Velasystem
