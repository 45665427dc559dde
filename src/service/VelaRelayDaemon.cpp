#include "VelaRelayDaemon.h"

#include "VelaRelayListener.h"
#include "VelaRelayServer.h"
#include "VelaSystemClient.h"

#include <cstdio>
#include <memory>

VelaRelayDaemon::VelaRelayDaemon(const QString &port, bool debug, QObject *parent)
    : QObject(parent)
    , m_port(port)
    , m_debug(debug)
    , m_server(new VelaRelayServer(this))
{
    diagnostic(QStringLiteral("port text \"%1\", address %2").arg(m_port, m_server->address()));
    // A port that is not a plain number in range would otherwise have the
    // relay listen somewhere else than configured while its log says it runs.
    if (!m_server->setPort(m_port)) {
        std::fprintf(stderr, "VelaRelay: invalid port \"%s\": the port must be a whole number from 1 to 65535\n",
                     m_port.toUtf8().constData());
        std::fflush(stderr);
        return;
    }
    m_server->start();

    m_listener = new VelaRelayListener(std::make_unique<VelaSystemClient>(), this);
    connect(m_server, &VelaRelayServer::apiMessageReceived, m_listener, &VelaRelayListener::onRelayMessageReceived);
    connect(m_server, &VelaRelayServer::setNumConnections, m_listener, &VelaRelayListener::onSetNumConnections);
    connect(m_listener, &VelaRelayListener::messageReady, m_server, &VelaRelayServer::sendMessage);
    if (m_debug) {
        connect(m_server, &VelaRelayServer::setNumConnections, this,
                [this](int clients) { diagnostic(QStringLiteral("%1 client(s) connected").arg(clients)); });
        connect(m_listener, &VelaRelayListener::relayMessageReceived, this,
                [this](const QString &packet) { diagnostic(QStringLiteral("command: ") + packet); });
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

void VelaRelayDaemon::diagnostic(const QString &line) const
{
    if (!m_debug)
        return;
    std::fprintf(stderr, "VelaRelay debug: %s\n", line.toUtf8().constData());
    std::fflush(stderr);
}
