#include "WireFormat.h"

#include <QDateTime>

namespace WireFormat {

int readInt(const QString &field)
{
    return field.toInt(nullptr, 10);
}

quint32 readUInt(const QString &field)
{
    bool ok = false;
    const uint value = field.toUInt(&ok, 10);
    return ok ? value : static_cast<quint32>(readInt(field));
}

bool readBool(const QString &field)
{
    return readInt(field) != 0;
}

bool readOneFlag(const QString &field)
{
    return field == QLatin1String("1");
}

QString escapeText(QString text)
{
    return text.replace(QLatin1Char(','), EscapedComma);
}

QString unescapeText(QString text)
{
    return text.replace(EscapedComma, QLatin1Char(','));
}

qint64 timestamp()
{
    return QDateTime::currentMSecsSinceEpoch();
}

} // namespace WireFormat
