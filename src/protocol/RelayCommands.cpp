#include "RelayCommands.h"

#include "WireFormat.h"

#include <algorithm>
#include <array>

namespace {

// A refused packet is quoted in the log only this far: a client can send a
// megabyte, and the log line is for reading.
constexpr int kQuotedCharacters = 80;
// Words longer than this are not looked at for a command they may have meant.
constexpr int kLongestWord = 64;

// Levenshtein distance, for the command a refused packet may have meant; b is
// a command's words, which are short.
int distance(const QString &a, const QString &b)
{
    std::array<int, 2 * kLongestWord + 2> row{};
    const int columns = std::min(b.size(), static_cast<int>(row.size()) - 1);
    for (int j = 0; j <= columns; ++j)
        row[static_cast<std::size_t>(j)] = j;
    for (int i = 1; i <= a.size(); ++i) {
        int diagonal = row[0];
        row[0] = i;
        for (int j = 1; j <= columns; ++j) {
            const auto at = static_cast<std::size_t>(j);
            const int above = row[at];
            row[at] = std::min({above + 1, row[at - 1] + 1, diagonal + (a.at(i - 1) == b.at(j - 1) ? 0 : 1)});
            diagonal = above;
        }
    }
    return row[static_cast<std::size_t>(columns)];
}

QString words(const CommandRow &row)
{
    return QLatin1String(row.group) + WireFormat::FieldSeparator + QLatin1String(row.command);
}

// The row whose words are nearest to what the client sent, case ignored; null
// when none is near enough to be a likely slip.
const CommandRow *nearest(const QString &group, const QString &command)
{
    if (group.size() > kLongestWord || command.size() > kLongestWord)
        return nullptr;
    const QString sent = (group + WireFormat::FieldSeparator + command).toLower();
    const CommandRow *best = nullptr;
    int bestDistance = 3;
    for (const CommandRow &row : commandTable()) {
        const int d = distance(sent, words(row).toLower());
        if (d < bestDistance) {
            best = &row;
            bestDistance = d;
        }
    }
    return best;
}

QString argumentNames(const CommandRow &row)
{
    QStringList names;
    for (int i = 0; i < row.minArguments; ++i)
        names << QLatin1String(row.doc.arguments[static_cast<std::size_t>(i)].name);
    return names.join(QStringLiteral(", "));
}

} // namespace

CommandCode lookupCommand(const QString &group, const QString &command)
{
    for (const CommandRow &row : commandTable()) {
        if (group == QLatin1String(row.group) && command == QLatin1String(row.command))
            return row.code;
    }
    return CommandCode::Unknown;
}

bool hasEnoughArguments(CommandCode code, int fieldCount)
{
    const int index = static_cast<int>(code);
    if (index < 0 || index >= CommandCount)
        return false;
    return fieldCount - 2 >= commandTable()[static_cast<size_t>(index)].minArguments;
}

Dispatch dispatchCommand(IVelaRelayClient &client, const QString &packet)
{
    const QStringList fields = packet.split(WireFormat::FieldSeparator, Qt::KeepEmptyParts);
    if (fields.size() < 2)
        return {Refusal::TooFewFields, CommandCode::Unknown, 0};
    const CommandCode code = lookupCommand(fields.at(0), fields.at(1));
    if (code == CommandCode::Unknown)
        return {Refusal::UnknownCommand, code, fields.size() - 2};
    if (!hasEnoughArguments(code, fields.size()))
        return {Refusal::TooFewArguments, code, fields.size() - 2};
    commandTable()[static_cast<size_t>(code)].invoke(client, fields);
    return {Refusal::None, code, fields.size() - 2};
}

QString describeRefusal(const Dispatch &dispatch, const QString &packet)
{
    const QString quoted = packetForLog(packet);
    switch (dispatch.refusal) {
    case Refusal::None: break;
    case Refusal::TooFewFields:
        return QStringLiteral("command dropped: %1 has no command word (a command is group,command[,arguments])")
            .arg(quoted);
    case Refusal::UnknownCommand: {
        const QString group = packet.section(WireFormat::FieldSeparator, 0, 0);
        const QString command = packet.section(WireFormat::FieldSeparator, 1, 1);
        QString line = QStringLiteral("command dropped: %1 is no command (the words are matched exactly, case "
                                      "included)")
                           .arg(quoted);
        if (const CommandRow *meant = nearest(group, command))
            line += QStringLiteral("; did you mean %1?").arg(words(*meant));
        return line;
    }
    case Refusal::TooFewArguments: {
        const CommandRow &row = commandTable()[static_cast<size_t>(dispatch.code)];
        return QStringLiteral("command dropped: %1 needs %2 argument(s) (%3) and has %4: %5")
            .arg(words(row))
            .arg(row.minArguments)
            .arg(argumentNames(row))
            .arg(dispatch.arguments)
            .arg(quoted);
    }
    }
    return QStringLiteral("command carried out: %1").arg(quoted);
}

QString packetForLog(const QString &packet)
{
    QString shown = QStringLiteral("\"");
    for (int i = 0; i < packet.size() && i < kQuotedCharacters; ++i) {
        const QChar c = packet.at(i);
        if (c.unicode() < 0x20 || c.unicode() == 0x7f || c == QLatin1Char('"') || c == QLatin1Char('\\'))
            shown += QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QLatin1Char('0'));
        else
            shown += c;
    }
    shown += QLatin1Char('"');
    if (packet.size() > kQuotedCharacters)
        shown += QStringLiteral(" (%1 characters in all)").arg(packet.size());
    return shown;
}
