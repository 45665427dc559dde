#include "TriggerServer.h"

#include "BroadcastServer.h"

#include <QLocalServer>
#include <QLocalSocket>
#include <QVector>

namespace {

// The words after the command, all integers; false if any is not.
bool integers(const QList<QByteArray> &words, QVector<qint64> &values)
{
    for (int i = 1; i < words.size(); ++i) {
        bool ok = false;
        values.append(words.at(i).toLongLong(&ok));
        if (!ok)
            return false;
    }
    return true;
}

} // namespace

TriggerServer::TriggerServer(BroadcastServer *target, QObject *parent)
    : QObject(parent)
    , m_target(target)
    , m_server(new QLocalServer(this))
{
    connect(m_server, &QLocalServer::newConnection, this, &TriggerServer::onNewConnection);
}

bool TriggerServer::listen(const QString &path)
{
    QLocalServer::removeServer(path);
    return m_server->listen(path);
}

void TriggerServer::onNewConnection()
{
    while (QLocalSocket *socket = m_server->nextPendingConnection()) {
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { onReadyRead(socket); });
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
    }
}

void TriggerServer::onReadyRead(QLocalSocket *socket)
{
    while (socket->canReadLine()) {
        QByteArray line = socket->readLine();
        while (line.endsWith('\n') || line.endsWith('\r'))
            line.chop(1);
        socket->write(execute(line) + '\n');
    }
}

QByteArray TriggerServer::execute(const QByteArray &line)
{
    const QList<QByteArray> words = line.split(' ');
    QVector<qint64> n;
    const bool numeric = integers(words, n);
    const QByteArray command = words.value(0);
    if (command == "ping")
        return "ok pong";
    if (command == "pen" && (n.size() == 6 || n.size() == 7) && numeric) {
        m_target->pen(int(n[1]), int(n[2]), int(n[3]), n[4] != 0, n[5] != 0);
        return "ok";
    }
    if (command == "stroke" && n.size() == 7 && numeric && n[6] >= 1 && n[6] <= 10000) {
        const qint64 id = n[1], x0 = n[2], y0 = n[3], x1 = n[4], y1 = n[5], steps = n[6];
        // Samples spread evenly from the first point to the last, both
        // included, then the tip lifts at the last point: as the hub
        // simulator does.
        const qint64 span = steps > 1 ? steps - 1 : 1;
        for (qint64 i = 0; i < steps; ++i)
            m_target->pen(int(id), int(x0 + (x1 - x0) * i / span), int(y0 + (y1 - y0) * i / span), true, false);
        m_target->pen(int(id), int(x1), int(y1), false, false);
        return "ok";
    }
    return "error unknown or malformed command: " + line;
}
