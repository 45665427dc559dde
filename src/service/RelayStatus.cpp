#include "RelayStatus.h"

#include "RelayCommands.h"
#include "VelaRelayServer.h"
#include "VelaSystemClient.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace RelayStatus {

std::string status(const VelaRelayServer &server, const VelaSystemClient &adapter, long long uptimeMs)
{
    QJsonObject status = adapter.status();
    status.insert("version", QLatin1String(VELARELAY_VERSION));
    status.insert("uptimeSeconds", double(uptimeMs / 1000));
    status.insert("port", server.port());
    status.insert("address", server.address());
    status.insert("clients", server.clientCount());
    return QJsonDocument(status).toJson(QJsonDocument::Compact).toStdString();
}

namespace {

QLatin1String typeName(ArgumentType type)
{
    switch (type) {
    case ArgumentType::Int: return QLatin1String("int");
    case ArgumentType::UInt: return QLatin1String("uint");
    case ArgumentType::Bool: return QLatin1String("bool");
    case ArgumentType::OneFlag: return QLatin1String("\"1\"-flag");
    case ArgumentType::Text: return QLatin1String("text");
    case ArgumentType::RawText: return QLatin1String("raw text");
    case ArgumentType::Bits: return QLatin1String("bits");
    }
    return QLatin1String("");
}

// The arguments in order, as the protocol reference lists them: every one
// has a name, and those past the least count are optional.
QJsonArray argumentsOf(const CommandRow &row)
{
    QJsonArray arguments;
    for (int i = 0; i < MaxArguments && row.doc.arguments[static_cast<std::size_t>(i)].name != nullptr; ++i) {
        const ArgumentDoc &a = row.doc.arguments[static_cast<std::size_t>(i)];
        arguments.append(QJsonObject{{"name", a.name},
                                     {"type", typeName(a.type)},
                                     {"range", a.range},
                                     {"meaning", a.meaning},
                                     {"optional", i >= row.minArguments}});
    }
    return arguments;
}

} // namespace

std::string commands()
{
    QJsonArray rows;
    for (const CommandRow &row : commandTable()) {
        rows.append(QJsonObject{{"group", row.group},
                                {"command", row.command},
                                {"least", row.minArguments},
                                {"does", row.doc.does},
                                {"needsVotingHub", row.doc.needsVotingHub},
                                {"arguments", argumentsOf(row)}});
    }
    return QJsonDocument(QJsonObject{{"commands", rows}}).toJson(QJsonDocument::Compact).toStdString();
}

} // namespace RelayStatus
