#include "VelaRelayDaemon.h"

#include <cstdio>

VelaRelayDaemon::VelaRelayDaemon(const QString &port, bool debug, QObject *parent)
    : QObject(parent), m_port(port), m_debug(debug)
{
    if (m_debug)
        diagnostic(QStringLiteral("port text \"%1\"").arg(m_port));
}

void VelaRelayDaemon::stop() {}
void VelaRelayDaemon::pause() {}
void VelaRelayDaemon::resume() {}

void VelaRelayDaemon::diagnostic(const QString &line) const
{
    if (!m_debug)
        return;
    std::fprintf(stderr, "VelaRelay debug: %s\n", line.toUtf8().constData());
    std::fflush(stderr);
}
