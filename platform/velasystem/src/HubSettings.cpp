#include "HubSettings.h"

#include "Numbers.h"

#include <climits>

namespace Velasystem {

namespace {
struct Key
{
    const char *name;
    int HubSettings::*field;
    int min;
    int max;
};
// Pens, touches and erasers are counted in bytes by the hub's reports.
const Key keys[] = {
    {"type", &HubSettings::type, 0, 255},       {"pens", &HubSettings::pens, 0, 255},
    {"touches", &HubSettings::touches, 0, 255}, {"erasers", &HubSettings::erasers, 0, 255},
    {"touch", &HubSettings::touch, 0, 1},       {"erase", &HubSettings::erase, 0, 1},
    {"virtual", &HubSettings::isVirtual, 0, 1}, {"state", &HubSettings::state, INT_MIN, INT_MAX},
    {"enhanced", &HubSettings::enhanced, 0, 1},
};
} // namespace

bool HubSettings::apply(const QString &assignment, QString *key, QString *error)
{
    const int equals = assignment.indexOf(QLatin1Char('='));
    *key = assignment.left(equals);
    for (const Key &row : keys) {
        if (equals < 0 || *key != QLatin1String(row.name))
            continue;
        qint64 value = 0;
        if (!parseInteger(assignment.mid(equals + 1), row.min, row.max, &value)) {
            *error = QStringLiteral("%1 must be an integer from %2 to %3").arg(*key).arg(row.min).arg(row.max);
            return false;
        }
        this->*row.field = static_cast<int>(value);
        return true;
    }
    *error = QStringLiteral("unknown hub setting '%1' (want key=value)").arg(assignment);
    return false;
}

QString HubSettings::describe() const
{
    QString out;
    for (const Key &row : keys) {
        if (!out.isEmpty())
            out += QLatin1Char(',');
        out += QLatin1String(row.name) + QLatin1Char('=') + QString::number(this->*row.field);
    }
    return out;
}

} // namespace Velasystem
