#include "FaultTable.h"

namespace Velasystem {

QString FaultTable::key(const QString &object, const QString &method)
{
    return object + QLatin1Char(' ') + method;
}

void FaultTable::arm(const QString &object, const QString &method, int count)
{
    if (count > 0)
        m_remaining.insert(key(object, method), count);
    else
        m_remaining.remove(key(object, method));
}

bool FaultTable::take(const char *object, const char *method)
{
    const QString name = QLatin1String(method);
    for (const QString &k : {key(QLatin1String(object), name), key(QString(), name)}) {
        auto it = m_remaining.find(k);
        if (it == m_remaining.end())
            continue;
        if (--it.value() == 0)
            m_remaining.erase(it);
        return true;
    }
    return false;
}

void FaultTable::clear()
{
    m_remaining.clear();
}

} // namespace Velasystem
