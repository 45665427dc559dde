#pragma once

#include <QString>

// The text grammar shared by every outgoing message and every incoming command:
// fields joined by one separator, no quoting, free text carrying its commas as
// U+001F.
namespace WireFormat {

inline const QString FieldSeparator = QStringLiteral(",");
inline const QChar SubValueSeparator = QLatin1Char(':');
inline const QChar EscapedComma = QChar(0x1F);

// QString::toInt semantics: the whole field, base 10, 0 when it is empty, not
// a number or outside the 32-bit range.
int readInt(const QString &field);

// An unsigned 32-bit field. Outgoing messages write uids above 2^31 - 1 in
// unsigned form, so a client that echoes one back must get the same uid, not 0;
// a negative text still reads as its two's complement, as it always has.
quint32 readUInt(const QString &field);

// true when the integer reading is non-zero.
bool readBool(const QString &field);

// true only when the field is exactly "1".
bool readOneFlag(const QString &field);

QString escapeText(QString text);
QString unescapeText(QString text);

// Milliseconds since 1970-01-01 UTC from the system clock.
qint64 timestamp();

} // namespace WireFormat
