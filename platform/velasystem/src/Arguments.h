#pragma once

#include "CommandLine.h"

#include <QString>

namespace Velasystem {

// The arguments of one command, read by position from the word after the
// command words. Keeps the first problem found, so a handler reads all it
// needs and then checks ok() once.
class Arguments
{
public:
    Arguments(const CommandLine &line, int first);

    int count() const;
    QString word(int i) const;
    QString text(int i) const;
    qint64 integer(int i, const char *name, qint64 min, qint64 max);
    bool flag(int i, const char *name);
    int hubIndex(int i);
    quint32 uid(int i);
    // Numbers of a ID:X:Y...-style word, each checked against its range.
    bool fields(int i, const char *name, int count, const qint64 *min, const qint64 *max, qint64 *values);

    void fail(const QString &message);
    bool ok() const { return m_error.isEmpty(); }
    const QString &error() const { return m_error; }

private:
    const CommandLine &m_line;
    int m_first;
    QString m_error;
};

} // namespace Velasystem
