#pragma once

#include "LineSplitter.h"

#include <QByteArray>
#include <QString>

#include <functional>
#include <map>
#include <sys/types.h>

namespace Velasystem {

class EventLoop;

// The control socket: a UNIX stream socket that any number of clients use at
// once, each line answered in order. Lives on the library thread. Memory per
// client is bounded: an over-long line is answered with an error and the
// client dropped, and a client that does not read its replies is not read
// from until it does.
class ControlServer
{
public:
    using Executor = std::function<QString(const QString &line)>;
    static constexpr int MaxLineBytes = 65536;
    static constexpr int MaxPendingOutput = 1 << 20;

    ControlServer(EventLoop &loop, Executor execute);
    ~ControlServer();
    ControlServer(const ControlServer &) = delete;
    ControlServer &operator=(const ControlServer &) = delete;

    bool listen(const QString &path, mode_t mode, QString *error);

private:
    struct Client
    {
        LineSplitter lines{MaxLineBytes};
        QByteArray out;
        bool peerDone = false;
        bool closing = false;
    };

    void acceptClients();
    void onClient(int fd, short revents);
    void readFrom(int fd, Client &client);
    // True when it stopped because the client's replies pile up.
    bool executeLines(Client &client);
    void answer(Client &client, const QByteArray &line);
    bool flush(int fd, Client &client);
    void drop(int fd);

    EventLoop &m_loop;
    Executor m_execute;
    int m_listenFd = -1;
    QByteArray m_path;
    dev_t m_device = 0;
    ino_t m_inode = 0;
    std::map<int, Client> m_clients;
};

} // namespace Velasystem
