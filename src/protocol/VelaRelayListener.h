#pragma once

#include "IVelaRelayClient.h"

#include <QObject>
#include <QString>

// The protocol object: carries out the clients' commands on the hub side and
// turns every hub-side event into one outgoing message.
class VelaRelayListener : public QObject
{
    Q_OBJECT

public:
    // Takes ownership of client.
    explicit VelaRelayListener(IVelaRelayClient *client, QObject *parent = nullptr);
    ~VelaRelayListener() override;

    IVelaRelayClient *client() const { return m_client; }

signals:
    // Emitted with the unchanged packet after every packet carried out as a
    // command.
    void relayMessageReceived(QString packet);

public slots:
    void onRelayMessageReceived(const QString &packet);

private:
    IVelaRelayClient *m_client;
};
