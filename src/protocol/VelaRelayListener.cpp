#include "VelaRelayListener.h"

#include "RelayCommands.h"

VelaRelayListener::VelaRelayListener(IVelaRelayClient *client, QObject *parent)
    : QObject(parent), m_client(client)
{
}

VelaRelayListener::~VelaRelayListener()
{
    delete m_client;
}

void VelaRelayListener::onRelayMessageReceived(const QString &packet)
{
    if (dispatchCommand(*m_client, packet))
        emit relayMessageReceived(packet);
}
