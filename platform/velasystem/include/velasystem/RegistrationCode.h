#pragma once

#include <velasystem/Export.h>

#include <QString>

namespace Velasystem {

// The code a learner types on a device to join the class. Any text is
// accepted; the hub compares it as given.
class VELASYSTEM_EXPORT RegistrationCode
{
public:
    explicit RegistrationCode(const QString &code);
    QString text() const;

private:
    QString m_code;
};

} // namespace Velasystem
