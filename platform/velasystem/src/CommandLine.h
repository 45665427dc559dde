#pragma once

#include <QString>
#include <QVector>

namespace Velasystem {

// One control line cut into words at runs of spaces, remembering where each
// word stands so that a TEXT argument can be taken exactly as typed.
class CommandLine
{
public:
    explicit CommandLine(const QString &line);

    int count() const { return m_starts.size(); }
    QString word(int i) const;
    // The rest of the line after word i-1 and the one space that follows
    // it, spaces and all; empty when the line ends before.
    QString textFrom(int i) const;

private:
    QString m_line;
    QVector<int> m_starts;
    QVector<int> m_ends;
};

} // namespace Velasystem
