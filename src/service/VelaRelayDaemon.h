#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QString>

class VelaRelayListener;
class VelaRelayServer;
class VelaSystemClient;

// Builds the relay's objects and connects them; lives as long as the process.
class VelaRelayDaemon : public QObject
{
    Q_OBJECT

public:
    // allowedOrigins: the setting relay_allowed_origins (Origin_policy).
    VelaRelayDaemon(const QString &port, bool debug, const QString &allowedOrigins, QObject *parent = nullptr);

    // False when the relay could not be set up (the reason was logged).
    bool isRunning() const { return m_listener != nullptr; }

    void stop();
    void pause();
    void resume();
    // Reads the key and certificate again for new connections; clients
    // already connected keep theirs. Logs its one line either way.
    bool reload();

private:
    // Extra lines on standard error when the debug flag is on; nothing else
    // depends on the flag.
    void diagnostic(const QString &line) const;
    // The console and the status it reads, served beside the upgrade.
    void serveConsole();

    QString m_port;
    bool m_debug;
    VelaRelayServer *m_server;
    VelaRelayListener *m_listener = nullptr;
    VelaSystemClient *m_adapter = nullptr; // owned by the listener
    QElapsedTimer m_uptime;
};
