#include "Arguments.h"

#include "Numbers.h"

#include <QStringList>

#include <climits>

namespace Velasystem {

Arguments::Arguments(const CommandLine &line, int first)
    : m_line(line)
    , m_first(first)
{}

int Arguments::count() const
{
    return m_line.count() - m_first;
}

QString Arguments::word(int i) const
{
    return m_line.word(m_first + i);
}

QString Arguments::text(int i) const
{
    return m_line.textFrom(m_first + i);
}

qint64 Arguments::integer(int i, const char *name, qint64 min, qint64 max)
{
    qint64 value = 0;
    if (!parseInteger(word(i), min, max, &value)) {
        fail(QStringLiteral("%1 must be an integer from %2 to %3, not '%4'")
                 .arg(QLatin1String(name))
                 .arg(min)
                 .arg(max)
                 .arg(word(i)));
    }
    return value;
}

bool Arguments::flag(int i, const char *name)
{
    return integer(i, name, 0, 1) != 0;
}

int Arguments::hubIndex(int i)
{
    return static_cast<int>(integer(i, "HUB", 0, INT_MAX));
}

quint32 Arguments::uid(int i)
{
    return static_cast<quint32>(integer(i, "UID", 0, UINT_MAX));
}

bool Arguments::fields(int i, const char *name, int count, const qint64 *min, const qint64 *max, qint64 *values)
{
    const QStringList parts = word(i).split(QLatin1Char(':'));
    bool good = parts.size() == count;
    for (int k = 0; good && k < count; ++k)
        good = parseInteger(parts.at(k), min[k], max[k], &values[k]);
    if (!good)
        fail(QStringLiteral("bad %1 '%2'").arg(QLatin1String(name), word(i)));
    return good;
}

void Arguments::fail(const QString &message)
{
    if (m_error.isEmpty())
        m_error = message;
}

} // namespace Velasystem
