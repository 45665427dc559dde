#pragma once

#include "IVelaRelayClient.h"
#include "RelayRecords.h"

#include <QObject>
#include <QString>

#include <memory>

class QTimer;

// The protocol object: carries out the clients' commands on the hub side, turns
// every hub-side event into one outgoing message, and sends a keep-alive to the
// clients every interval whether or not any is connected.
class VelaRelayListener : public QObject
{
    Q_OBJECT

public:
    using Clock = qint64 (*)();
    static constexpr int DefaultKeepAliveIntervalMs = 5000;

    explicit VelaRelayListener(std::unique_ptr<IVelaRelayClient> client, QObject *parent = nullptr,
                               int keepAliveIntervalMs = DefaultKeepAliveIntervalMs, Clock clock = nullptr);

signals:
    // Emitted with the unchanged packet after every packet carried out as a
    // command.
    void relayMessageReceived(QString packet);
    // For every packet dropped, a line for the log that says why. Clients
    // are told nothing, by design.
    void commandRefused(const QString &reason);
    // Every outgoing message, for the relay server to send to all clients.
    void messageReady(const QString &message);

public slots:
    void onRelayMessageReceived(const QString &packet);
    void onSetNumConnections(int numConnections);

private slots:
    void onKeepAlive();

private:
    void relayHubEvents();
    // Sends Build(timestamp, the signal's arguments...) for every emission.
    template <auto Build, typename Signal>
    void relay(Signal signal, Qt::ConnectionType type = Qt::AutoConnection);

    qint64 now() const { return m_clock(); }
    void send(const QString &message) { emit messageReady(message); }

    Clock m_clock;
    QTimer *m_keepAliveTimer;
    // Declared last so it is destroyed first: whatever it reports while it
    // goes still finds the listener whole.
    std::unique_ptr<IVelaRelayClient> m_client;
};

// A capability record as clients have always been sent it, and read it: every
// limit below 0 as 0, and neither don't-know answer offered, whatever the hub
// reported.
QuestionCapabilities capabilitiesAsReported(QuestionCapabilities caps);
