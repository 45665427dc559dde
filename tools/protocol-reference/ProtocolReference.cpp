#include "ProtocolReference.h"

#include "Http_parser.h"
#include "Libressl_server.h"
#include "Libressl_socket.h"
#include "RelayIntelligenceManager.h"
#include "RelayLog.h"
#include "VelaRelayListener.h"
#include "Websocket_client.h"
#include "Websocket_decoder.h"

#include <functional>
#include <map>
#include <sstream>

namespace ProtocolReference {

namespace {

using RelayMessages::FieldType;
using RelayMessages::MessageCode;
using RelayMessages::MessageRow;

// The index of the first argument or field in the text split at ",": a
// command's arguments follow its two words, a message's fields follow the
// relay's address and the keyword.
constexpr int kFirstIndex = 2;

std::string cell(const char *text)
{
    std::string out;
    for (const char *c = text ? text : ""; *c; ++c) {
        if (*c == '|')
            out += '\\';
        out += *c;
    }
    return out;
}

std::string words(const CommandRow &row)
{
    return std::string(row.group) + "," + row.command;
}

std::string commandAnchor(const CommandRow &row)
{
    return std::string("command-") + row.group + "-" + row.command;
}

std::string messageAnchor(const MessageRow &row)
{
    return "message-" + std::string(row.keyword);
}

std::string commandLink(const CommandRow &row)
{
    return "[`" + words(row) + "`](#" + commandAnchor(row) + ")";
}

std::string messageLink(const MessageRow &row)
{
    return "[`" + std::string(row.keyword) + "`](#" + messageAnchor(row) + ")";
}

int argumentCount(const CommandRow &row)
{
    int n = 0;
    while (n < MaxArguments && row.doc.arguments[static_cast<std::size_t>(n)].name)
        ++n;
    return n;
}

int fieldCount(const MessageRow &row)
{
    int n = 0;
    while (n < RelayMessages::MaxMessageFields && row.fields[static_cast<std::size_t>(n)].name)
        ++n;
    return n;
}

const char *typeName(ArgumentType type)
{
    switch (type) {
    case ArgumentType::Int: return "int";
    case ArgumentType::UInt: return "uint";
    case ArgumentType::Bool: return "bool";
    case ArgumentType::OneFlag: return "\"1\"-flag";
    case ArgumentType::Text: return "text";
    case ArgumentType::RawText: return "raw text";
    case ArgumentType::Bits: return "bits";
    }
    return "?";
}

const char *typeRule(ArgumentType type)
{
    switch (type) {
    case ArgumentType::Int:
        return "a whole number in base 10, -2147483648 to 2147483647; a field that is empty, not a number (`12abc`) "
               "or out of range reads as 0, and the command is carried out with 0";
    case ArgumentType::UInt:
        return "as int, but up to 4294967295, so a uid the relay sent comes back as the same uid; a negative number "
               "reads as its two's complement (-1 is 4294967295)";
    case ArgumentType::Bool: return "read as int: 0 is false, any other number true; `true` reads as 0, so false";
    case ArgumentType::OneFlag: return "true only for exactly `1`; `01`, `2` and `true` are false";
    case ArgumentType::Text:
        return "free text; a comma inside it is sent as U+001F, which the relay turns back into a comma";
    case ArgumentType::RawText: return "text passed on as it came: U+001F stays U+001F";
    case ArgumentType::Bits: return "a string of `0` and `1`, one character a position";
    }
    return "";
}

const char *typeName(FieldType type)
{
    switch (type) {
    case FieldType::Timestamp: return "timestamp";
    case FieldType::Int: return "int";
    case FieldType::UInt: return "uint";
    case FieldType::Flag: return "0/1";
    case FieldType::Text: return "text";
    case FieldType::RawText: return "raw text";
    case FieldType::Word: return "word";
    case FieldType::List: return "list";
    case FieldType::Group: return "group";
    }
    return "?";
}

const char *typeRule(FieldType type)
{
    switch (type) {
    case FieldType::Timestamp:
        return "milliseconds since 1970-01-01T00:00:00 UTC from the relay's clock when it built the message, "
               "13 digits today";
    case FieldType::Int: return "a whole number in base 10, `-` before a negative one";
    case FieldType::UInt: return "a whole number in base 10, 0 to 4294967295, never negative";
    case FieldType::Flag: return "`1` for true, `0` for false";
    case FieldType::Text:
        return "free text; each comma in it is sent as U+001F, so the field stays one field: turn U+001F back "
               "into a comma";
    case FieldType::RawText:
        return "text as the hub gave it, commas included: a comma in it splits it, and the fields after it move "
               "along";
    case FieldType::Word: return "one of the words the meaning names";
    case FieldType::List:
        return "repeated: one field for each element, from this index to the end of the message, its values joined "
               "by `:`; none when the list is empty";
    case FieldType::Group: return "a label and its values joined by `:`, flags as `1` or `0`";
    }
    return "";
}

std::string commandIndex(const Tables &t)
{
    std::ostringstream out;
    out << "| command | arguments | answered by |\n|---|---|---|\n";
    for (const CommandRow &row : t.commands) {
        out << "| " << commandLink(row) << " | " << row.minArguments;
        if (argumentCount(row) > row.minArguments)
            out << " to " << argumentCount(row);
        out << " | ";
        const char *separator = "";
        for (const MessageRow &m : t.messages) {
            if (row.doc.answers >> static_cast<int>(m.code) & 1) {
                out << separator << messageLink(m);
                separator = ", ";
            }
        }
        out << (*separator ? "" : "nothing") << " |\n";
    }
    return out.str();
}

std::string commands(const Tables &t)
{
    std::ostringstream out;
    for (const CommandRow &row : t.commands) {
        const int count = argumentCount(row);
        out << "<a id=\"" << commandAnchor(row) << "\"></a>\n\n### `" << words(row) << "`\n\n";
        if (count > 0) {
            out << "`" << words(row);
            for (int i = 0; i < count; ++i) {
                const bool optional = i >= row.minArguments;
                out << (optional ? "[," : ",") << row.doc.arguments[static_cast<std::size_t>(i)].name
                    << (optional ? "]" : "");
            }
            out << "`\n\n";
        }
        out << row.doc.does << "\n\n";
        if (row.doc.needsVotingHub)
            out << "Needs a voting hub: without one it does nothing and nothing is sent.\n\n";
        if (count > 0) {
            out << "| index | argument | type | range | meaning |\n|---|---|---|---|---|\n";
            for (int i = 0; i < count; ++i) {
                const ArgumentDoc &a = row.doc.arguments[static_cast<std::size_t>(i)];
                out << "| " << kFirstIndex + i << " | " << a.name << (i >= row.minArguments ? " (optional)" : "")
                    << " | " << typeName(a.type) << " | " << cell(a.range) << " | " << cell(a.meaning) << " |\n";
            }
            out << "\n";
        }
        std::string answers;
        for (const MessageRow &m : t.messages) {
            if (row.doc.answers >> static_cast<int>(m.code) & 1)
                answers += (answers.empty() ? "" : ", ") + messageLink(m);
        }
        out << "Answered by: " << (answers.empty() ? "nothing." : answers + ".") << "\n\n";
    }
    return out.str();
}

std::string answerTo(const Tables &t, const MessageRow &m)
{
    std::string links;
    for (const CommandRow &row : t.commands) {
        if (row.doc.answers >> static_cast<int>(m.code) & 1)
            links += (links.empty() ? "" : ", ") + commandLink(row);
    }
    return links;
}

std::string messageIndex(const Tables &t)
{
    std::ostringstream out;
    out << "| message | answer to |\n|---|---|\n";
    for (const MessageRow &m : t.messages) {
        const std::string links = answerTo(t, m);
        out << "| " << messageLink(m) << " | " << (links.empty() ? "nothing: sent unasked" : links) << " |\n";
    }
    return out.str();
}

std::string messages(const Tables &t)
{
    std::ostringstream out;
    for (const MessageRow &m : t.messages) {
        const int count = fieldCount(m);
        out << "<a id=\"" << messageAnchor(m) << "\"></a>\n\n### `" << m.keyword << "`\n\n`address," << m.keyword;
        for (int i = 0; i < count; ++i) {
            out << "," << m.fields[static_cast<std::size_t>(i)].name;
            if (m.fields[static_cast<std::size_t>(i)].type == FieldType::List)
                out << ",…";
        }
        out << "`\n\nSent " << m.sent << ".";
        const std::string links = answerTo(t, m);
        if (!links.empty())
            out << " Answer to " << links << ".";
        out << "\n\n";
        if (count > 0) {
            out << "| index | field | type | meaning |\n|---|---|---|---|\n";
            for (int i = 0; i < count; ++i) {
                const RelayMessages::MessageField &f = m.fields[static_cast<std::size_t>(i)];
                out << "| " << kFirstIndex + i << (f.type == FieldType::List ? " on" : "") << " | " << f.name << " | "
                    << typeName(f.type) << " | " << cell(f.meaning) << " |\n";
            }
            out << "\n";
        }
    }
    return out.str();
}

template <typename Type, std::size_t N>
std::string typeTable(const char *heading, const Type (&types)[N])
{
    std::ostringstream out;
    out << "| type | " << heading << " |\n|---|---|\n";
    for (Type type : types)
        out << "| " << typeName(type) << " | " << typeRule(type) << " |\n";
    return out.str();
}

std::string errors()
{
    std::ostringstream out;
    out << "| message | text | meaning |\n|---|---|---|\n";
    for (const RelayMessages::CodeText &e : RelayMessages::errorTexts())
        out << "| `error` | `" << e.text << "` | " << cell(e.meaning) << " |\n";
    for (const RelayMessages::CodeText &i : RelayMessages::informationTexts())
        out << "| `information` | `" << i.text << "` | " << cell(i.meaning) << " |\n";
    out << "| either | `" << RelayMessages::errorText(static_cast<VelaRelayErrorType>(-1)).toStdString()
        << "` | a code without a text; never sent |\n";
    return out.str();
}

std::string bytes(std::size_t n)
{
    if (n % (1024 * 1024) == 0)
        return std::to_string(n / (1024 * 1024)) + " MiB";
    if (n % 1024 == 0)
        return std::to_string(n / 1024) + " KiB";
    return std::to_string(n) + " bytes";
}

std::string seconds(std::chrono::milliseconds ms)
{
    return ms.count() % 1000 == 0 ? std::to_string(ms.count() / 1000) + " s" : std::to_string(ms.count()) + " ms";
}

std::string limits()
{
    std::ostringstream out;
    out << "| limit | value | beyond it |\n|---|---|---|\n"
        << "| open connections | " << Libressl_server::kDefaultMaxConnections << " | refused at once |\n"
        << "| TLS handshake | " << seconds(Libressl_socket::kDefaultHandshakeTimeout)
        << " | the connection is closed |\n"
        << "| upgrade request | " << bytes(Http_parser::kMaxHeadBytes) << ", within "
        << seconds(Websocket_client::kDefaultUpgradeTimeout) << " of the TLS handshake | 400, or closed when late |\n"
        << "| one message, all fragments together | " << bytes(Websocket_decoder::kMaxMessageBytes)
        << " | closed with 1009 |\n"
        << "| messages received and not yet carried out | " << Websocket_client::kMaxPendingMessages << " or "
        << bytes(Websocket_client::kMaxPendingBytes) << " | the relay stops reading from the client until half is "
        << "carried out; nothing is lost |\n"
        << "| commands a second, one client | " << Websocket_client::kDefaultMessageRate << ", bursts of "
        << Websocket_client::kDefaultMessageBurst << " | the relay reads more slowly; nothing is lost |\n"
        << "| data queued for a client that does not read | " << bytes(Libressl_socket::kMaxQueuedBytes)
        << " | the client is dropped |\n";
    return out.str();
}

} // namespace

Tables relayTables()
{
    const auto &commands = commandTable();
    const auto &messages = RelayMessages::messageTable();
    return {{commands.begin(), commands.end()}, {messages.begin(), messages.end()}};
}

bool render(const std::string &templateText, const Tables &tables, std::string &out, std::string &error)
{
    static const ArgumentType argumentTypes[] = {ArgumentType::Int,     ArgumentType::UInt, ArgumentType::Bool,
                                                 ArgumentType::OneFlag, ArgumentType::Text, ArgumentType::RawText,
                                                 ArgumentType::Bits};
    static const FieldType fieldTypes[] = {FieldType::Timestamp, FieldType::Int,  FieldType::UInt,
                                           FieldType::Flag,      FieldType::Text, FieldType::RawText,
                                           FieldType::Word,      FieldType::List, FieldType::Group};
    const std::map<std::string, std::function<std::string()>> sections = {
        {"GENERATED",
         [] {
             return "<!-- Generated by tools/protocol-reference from docs/protocol.md.in and the relay's tables. "
                    "Edit those, then run `make reference`; a test fails while this file differs. -->";
         }},
        {"COMMAND_COUNT", [&] { return std::to_string(tables.commands.size()); }},
        {"MESSAGE_COUNT", [&] { return std::to_string(tables.messages.size()); }},
        {"KEEPALIVE_SECONDS", [] { return std::to_string(VelaRelayListener::DefaultKeepAliveIntervalMs / 1000); }},
        {"SUPERVISION_SECONDS",
         [] { return std::to_string(RelayIntelligenceManager::DefaultKeepAliveTimeoutMs / 1000); }},
        {"LOG_BURST", [] { return std::to_string(RelayLog::kBurst); }},
        {"LIMITS", limits},
        {"ERRORS", errors},
        {"ARGUMENT_TYPES", [] { return typeTable("read as", argumentTypes); }},
        {"FIELD_TYPES", [] { return typeTable("written as", fieldTypes); }},
        {"COMMAND_INDEX", [&] { return commandIndex(tables); }},
        {"COMMANDS", [&] { return commands(tables); }},
        {"MESSAGE_INDEX", [&] { return messageIndex(tables); }},
        {"MESSAGES", [&] { return messages(tables); }},
    };
    out.clear();
    std::size_t at = 0;
    while (true) {
        const std::size_t open = templateText.find('@', at);
        if (open == std::string::npos)
            break;
        const std::size_t close = templateText.find('@', open + 1);
        const std::string name =
            close == std::string::npos ? std::string() : templateText.substr(open + 1, close - open - 1);
        // Only a run of capitals and underscores is a name; any other "@" is text.
        if (name.empty() || name.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZ_") != std::string::npos) {
            out.append(templateText, at, open + 1 - at);
            at = open + 1;
            continue;
        }
        const auto section = sections.find(name);
        if (section == sections.end()) {
            error = "the template names @" + name + "@, which the generator does not know";
            return false;
        }
        out.append(templateText, at, open - at);
        out += section->second();
        at = close + 1;
    }
    out.append(templateText, at, std::string::npos);
    // One blank line at most between blocks, and one line end at the end.
    std::string tidy;
    for (char c : out) {
        if (c == '\n' && tidy.size() >= 2 && tidy[tidy.size() - 1] == '\n' && tidy[tidy.size() - 2] == '\n')
            continue;
        tidy += c;
    }
    while (tidy.size() >= 2 && tidy[tidy.size() - 1] == '\n' && tidy[tidy.size() - 2] == '\n')
        tidy.pop_back();
    out = tidy;
    return true;
}

std::string firstDifference(const std::string &committed, const std::string &generated)
{
    if (committed == generated)
        return {};
    std::istringstream a(committed);
    std::istringstream b(generated);
    std::string lineA;
    std::string lineB;
    for (int line = 1;; ++line) {
        const bool moreA = static_cast<bool>(std::getline(a, lineA));
        const bool moreB = static_cast<bool>(std::getline(b, lineB));
        if (!moreA && !moreB)
            return "the files differ only in their line ends";
        if (moreA != moreB || lineA != lineB) {
            return "line " + std::to_string(line) + ": the file has\n  " + (moreA ? lineA : "(its end)")
                + "\nwhere the tables give\n  " + (moreB ? lineB : "(its end)");
        }
    }
}

} // namespace ProtocolReference
