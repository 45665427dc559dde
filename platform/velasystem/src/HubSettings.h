#pragma once

#include <QString>

namespace Velasystem {

// What a tester sets on a hub with "hub add" and "hub set". Flags are 0 or 1.
struct HubSettings
{
    int type = 1;
    int pens = 0;
    int touches = 0;
    int erasers = 0;
    int touch = 0;
    int erase = 0;
    int isVirtual = 0;
    int state = 0;
    int enhanced = 1;

    // Sets one key=value word; false with a message for an unknown key or a
    // value out of range.
    bool apply(const QString &assignment, QString *key, QString *error);
    // "type=1,pens=4,..." in the order of the keys.
    QString describe() const;
};

} // namespace Velasystem
