#pragma once

#include <QObject>
#include <QString>

class BroadcastServer;
class QLocalServer;
class QLocalSocket;

// The control socket of the peer: one command per line, one reply line each,
// as the hub simulator's: `pen HUB ID X Y TIP BARREL [EVENT]`,
// `stroke HUB ID X0 Y0 X1 Y1 STEPS` and `ping`.
class TriggerServer : public QObject
{
    Q_OBJECT

public:
    TriggerServer(BroadcastServer *target, QObject *parent = nullptr);
    bool listen(const QString &path);

private:
    void onNewConnection();
    void onReadyRead(QLocalSocket *socket);
    QByteArray execute(const QByteArray &line);

    BroadcastServer *m_target;
    QLocalServer *m_server;
};
