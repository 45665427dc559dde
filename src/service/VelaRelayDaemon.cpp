#include "VelaRelayDaemon.h"

#include "ConsoleFiles.h"
#include "Origin_policy.h"
#include "RelayApplication.h"
#include "RelayCommands.h"
#include "RelayStatus.h"
#include "VelaRelayListener.h"
#include "VelaRelayServer.h"
#include "VelaSystemClient.h"

#include "RelayLog.h"

#include <velasystem/VelaSystem.h>

#include <QStringList>

#include <memory>
#include <string>
#include <vector>

namespace {

// What the hub library says while it starts, kept for the one line that
// reports a failed start; on success it is logged as it would have been.
QStringList *g_libraryMessages = nullptr;
QtMessageHandler g_previousHandler = nullptr;

void keepLibraryMessage(QtMsgType type, const QMessageLogContext &context, const QString &text)
{
    if (type == QtDebugMsg || type == QtInfoMsg)
        g_previousHandler(type, context, text);
    else
        g_libraryMessages->append(text);
}

bool startHubLibrary()
{
    QStringList messages;
    g_libraryMessages = &messages;
    g_previousHandler = qInstallMessageHandler(keepLibraryMessage);
    const bool started = Velasystem::VelaSystem::instance()->initialise();
    qInstallMessageHandler(g_previousHandler);
    g_libraryMessages = nullptr;
    if (!started) {
        const QString reason =
            messages.isEmpty() ? QStringLiteral("no reason given") : messages.join(QStringLiteral("; "));
        RelayLog::info("the hub library could not start: " + reason.toStdString());
        return false;
    }
    for (const QString &message : qAsConst(messages))
        qWarning("%s", qPrintable(message));
    return true;
}

} // namespace

VelaRelayDaemon::VelaRelayDaemon(const QString &port, bool debug, const QString &allowedOrigins, QObject *parent)
    : QObject(parent)
    , m_port(port)
    , m_debug(debug)
    , m_server(new VelaRelayServer(this))
{
    m_uptime.start();
    RelayLog::setDebugEnabled(m_debug);
    diagnostic(QStringLiteral("port text \"%1\", address %2").arg(m_port, m_server->address()));
    // A port that is not a plain number in range would otherwise have the
    // relay listen somewhere else than configured while its log says it runs.
    if (!m_server->setPort(m_port)) {
        RelayLog::info(QStringLiteral("invalid port \"%1\": the port must be a whole number from 1 to 65535")
                           .arg(m_port)
                           .toStdString());
        return;
    }
    std::vector<std::string> rejected;
    const Origin_policy origins = Origin_policy::fromSetting(allowedOrigins.toStdString(), &rejected);
    for (const std::string &entry : rejected)
        RelayLog::info("relay_allowed_origins: \"" + entry
                       + "\" is not an origin (scheme://host[:port]) and is left out");
    if (origins.allowsAll())
        RelayLog::info("relay_allowed_origins is \"*\": every web page the users of this machine open may connect");
    m_server->setOriginPolicy(origins);
    if (!m_server->start()) {
        RelayLog::info(m_server->startError());
        return;
    }
    // The adapter would start the library too, but could not say that it failed.
    if (!startHubLibrary())
        return;

    auto adapter = std::make_unique<VelaSystemClient>(nullptr, RelayIntelligenceManager::DefaultKeepAliveTimeoutMs,
                                                      RelayApplication::mainLoopGate());
    m_adapter = adapter.get();
    m_listener = new VelaRelayListener(std::move(adapter), this);
    serveConsole();
    connect(m_server, &VelaRelayServer::apiMessageReceived, m_listener, &VelaRelayListener::onRelayMessageReceived);
    connect(m_server, &VelaRelayServer::setNumConnections, m_listener, &VelaRelayListener::onSetNumConnections);
    // Direct: a pen sample that passes the main thread's gate is sent by the
    // thread that holds it.
    connect(m_listener, &VelaRelayListener::messageReady, m_server, &VelaRelayServer::sendMessage,
            Qt::DirectConnection);
    if (m_debug) {
        connect(m_server, &VelaRelayServer::setNumConnections, this,
                [this](int clients) { diagnostic(QStringLiteral("%1 client(s) connected").arg(clients)); });
        // A client can send commands as fast as it likes; the log keeps up.
        connect(m_listener, &VelaRelayListener::relayMessageReceived, this, [](const QString &packet) {
            RelayLog::repeatedDebug("command lines", "command: " + packetForLog(packet).toStdString());
        });
        connect(m_listener, &VelaRelayListener::commandRefused, this,
                [](const QString &reason) { RelayLog::repeatedDebug("dropped commands", reason.toStdString()); });
    }
}

void VelaRelayDaemon::stop()
{
    m_server->stop();
}

void VelaRelayDaemon::pause()
{
    m_server->stop();
}

void VelaRelayDaemon::resume()
{
    m_server->start();
}

bool VelaRelayDaemon::reload()
{
    if (!m_server->reloadCertificate()) {
        RelayLog::info("reload failed, the key and certificate in use stay: " + m_server->startError());
        return false;
    }
    RelayLog::info("Reloaded the key and certificate for new connections on port " + m_port.toStdString());
    return true;
}

void VelaRelayDaemon::serveConsole()
{
    Http_site &site = m_server->site();
    for (const ConsoleFile &file : consoleFiles()) {
        site.add(file.path.toStdString(), file.contentType.toStdString(),
                 [bytes = file.bytes.toStdString()] { return bytes; });
    }
    site.add("/commands", "application/json", [commands = RelayStatus::commands()] { return commands; });
    site.add("/status", "application/json",
             [this] { return RelayStatus::status(*m_server, *m_adapter, m_uptime.elapsed()); });
}

void VelaRelayDaemon::diagnostic(const QString &line) const
{
    RelayLog::debug(line.toStdString());
}
