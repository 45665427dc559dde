#pragma once

#include <QHash>
#include <QString>

namespace Velasystem {

// Failures a tester asked for: the next COUNT calls of a method fail.
// Guarded by the model lock.
class FaultTable
{
public:
    // object empty: the method of any object of that name.
    void arm(const QString &object, const QString &method, int count);
    // True, and one failure used up, when this call must fail.
    bool take(const char *object, const char *method);
    void clear();

private:
    static QString key(const QString &object, const QString &method);
    QHash<QString, int> m_remaining;
};

} // namespace Velasystem
