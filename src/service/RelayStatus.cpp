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

std::string commands()
{
    QJsonArray rows;
    for (const CommandRow &row : commandTable())
        rows.append(QJsonObject{{"group", row.group}, {"command", row.command}, {"arguments", row.minArguments}});
    return QJsonDocument(QJsonObject{{"commands", rows}}).toJson(QJsonDocument::Compact).toStdString();
}

} // namespace RelayStatus
