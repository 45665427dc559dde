#include <velasystem/RegistrationCode.h>

namespace Velasystem {

RegistrationCode::RegistrationCode(const QString &code)
    : m_code(code)
{}

QString RegistrationCode::text() const
{
    return m_code;
}

} // namespace Velasystem
