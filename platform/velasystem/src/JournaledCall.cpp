#include "JournaledCall.h"

#include "Escape.h"
#include "Model.h"

namespace Velasystem {

JournaledCall::JournaledCall(const char *object, const char *method)
    : m_model(Model::get())
    , m_lock(m_model.mutex)
    , m_object(object)
    , m_method(method)
{}

JournaledCall::~JournaledCall()
{
    QString line = QLatin1String(m_object) + QLatin1Char(' ') + QLatin1String(m_method);
    if (m_marker == Marker::Gone)
        line += QLatin1String(" gone");
    else if (m_marker == Marker::Closed)
        line += QLatin1String(" closed");
    line += QLatin1Char(' ') + QString::number(m_hubIndex) + m_arguments;
    m_model.journal.append(line);
}

void JournaledCall::target(int hubIndex, Marker marker)
{
    m_hubIndex = hubIndex;
    m_marker = marker;
}

JournaledCall &JournaledCall::operator<<(bool value)
{
    m_arguments += value ? QLatin1String(" 1") : QLatin1String(" 0");
    return *this;
}

JournaledCall &JournaledCall::operator<<(int value)
{
    m_arguments += QLatin1Char(' ') + QString::number(value);
    return *this;
}

JournaledCall &JournaledCall::operator<<(uint value)
{
    m_arguments += QLatin1Char(' ') + QString::number(value);
    return *this;
}

JournaledCall &JournaledCall::operator<<(const QString &text)
{
    m_arguments += QLatin1Char(' ') + quoteText(text);
    return *this;
}

JournaledCall &JournaledCall::operator<<(const QBitArray &bits)
{
    m_arguments += QLatin1Char(' ') + quoteBits(bits);
    return *this;
}

bool JournaledCall::proceed()
{
    if (m_marker != Marker::None)
        return false;
    return !m_model.faults.take(m_object, m_method);
}

} // namespace Velasystem
