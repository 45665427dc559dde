#include "ControlServer.h"

#include "EventLoop.h"

#include <QFile>
#include <QTextCodec>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace Velasystem {

namespace {
constexpr int ReadChunk = 16384;

QString systemError(const char *what)
{
    return QStringLiteral("%1: %2").arg(QLatin1String(what), QString::fromLocal8Bit(std::strerror(errno)));
}

bool fillAddress(const QByteArray &path, sockaddr_un *address)
{
    std::memset(address, 0, sizeof *address);
    address->sun_family = AF_UNIX;
    if (path.isEmpty() || path.size() >= static_cast<int>(sizeof address->sun_path))
        return false;
    std::memcpy(address->sun_path, path.constData(), static_cast<size_t>(path.size()));
    return true;
}

// A socket file left by a process that is gone refuses connections; one
// that accepts belongs to a live server and must not be taken over.
bool isLiveSocket(const sockaddr_un &address)
{
    const int probe = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (probe < 0)
        return false;
    const bool live = ::connect(probe, reinterpret_cast<const sockaddr *>(&address), sizeof address) == 0;
    ::close(probe);
    return live;
}
} // namespace

ControlServer::ControlServer(EventLoop &loop, Executor execute)
    : m_loop(loop)
    , m_execute(std::move(execute))
{}

ControlServer::~ControlServer()
{
    while (!m_clients.empty())
        drop(m_clients.begin()->first);
    if (m_listenFd < 0)
        return;
    m_loop.unwatch(m_listenFd);
    ::close(m_listenFd);
    // Remove the socket file only if it is still ours.
    struct stat st;
    if (::lstat(m_path.constData(), &st) == 0 && st.st_dev == m_device && st.st_ino == m_inode)
        ::unlink(m_path.constData());
}

bool ControlServer::listen(const QString &path, mode_t mode, QString *error)
{
    m_path = QFile::encodeName(path);
    sockaddr_un address;
    if (!fillAddress(m_path, &address)) {
        *error = QStringLiteral("the path is empty or too long for a UNIX socket");
        return false;
    }
    struct stat st;
    if (::lstat(m_path.constData(), &st) == 0) {
        if (!S_ISSOCK(st.st_mode)) {
            *error = QStringLiteral("the path exists and is not a socket");
            return false;
        }
        if (isLiveSocket(address)) {
            *error = QStringLiteral("another process serves this socket");
            return false;
        }
        ::unlink(m_path.constData());
    }
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) {
        *error = systemError("socket");
        return false;
    }
    // The file is made at bind, but nobody can connect before listen, so
    // setting the mode in between leaves no moment where it is open wider.
    if (::bind(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) != 0) {
        *error = systemError("bind");
        ::close(fd);
        return false;
    }
    if (::chmod(m_path.constData(), mode) != 0 || ::listen(fd, 64) != 0 || ::lstat(m_path.constData(), &st) != 0) {
        *error = systemError("listen");
        ::unlink(m_path.constData());
        ::close(fd);
        return false;
    }
    m_device = st.st_dev;
    m_inode = st.st_ino;
    m_listenFd = fd;
    m_loop.watch(fd, POLLIN, [this](short) { acceptClients(); });
    return true;
}

void ControlServer::acceptClients()
{
    for (;;) {
        const int fd = ::accept4(m_listenFd, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (fd < 0)
            return;
        m_clients[fd];
        m_loop.watch(fd, POLLIN, [this, fd](short revents) { onClient(fd, revents); });
    }
}

void ControlServer::onClient(int fd, short revents)
{
    Client &client = m_clients.at(fd);
    if (revents & POLLERR) {
        drop(fd);
        return;
    }
    if ((revents & (POLLIN | POLLHUP)) && !client.peerDone && !client.closing)
        readFrom(fd, client);
    // Run what was read, and what waited for the replies to drain.
    for (;;) {
        const bool stalled = executeLines(client);
        if (!flush(fd, client)) {
            drop(fd);
            return;
        }
        if (!stalled || !client.out.isEmpty())
            break;
    }
    if (client.closing && client.out.isEmpty()) {
        drop(fd);
        return;
    }
    short events = 0;
    if (!client.closing && !client.peerDone && client.out.size() < MaxPendingOutput)
        events |= POLLIN;
    if (!client.out.isEmpty())
        events |= POLLOUT;
    m_loop.changeEvents(fd, events);
}

void ControlServer::readFrom(int fd, Client &client)
{
    char buffer[ReadChunk];
    const ssize_t got = ::recv(fd, buffer, sizeof buffer, 0);
    if (got > 0)
        client.lines.feed(buffer, static_cast<int>(got));
    else if (got == 0 || (errno != EAGAIN && errno != EINTR))
        client.peerDone = true;
}

bool ControlServer::executeLines(Client &client)
{
    QByteArray line;
    while (!client.closing) {
        if (client.out.size() >= MaxPendingOutput)
            return true;
        switch (client.lines.next(&line)) {
        case LineSplitter::Result::NeedMore:
            if (client.peerDone) {
                // The peer has finished sending: answer an unterminated
                // last line too, then close once the replies are out.
                const QByteArray rest = client.lines.takeRest();
                if (!rest.isEmpty())
                    answer(client, rest);
                client.closing = true;
            }
            return false;
        case LineSplitter::Result::TooLong:
            client.out += QByteArrayLiteral("error line longer than ") + QByteArray::number(MaxLineBytes)
                + QByteArrayLiteral(" bytes\n");
            client.closing = true;
            return false;
        case LineSplitter::Result::Line: answer(client, line); break;
        }
    }
    return false;
}

void ControlServer::answer(Client &client, const QByteArray &line)
{
    QTextCodec::ConverterState state;
    const QString text = QTextCodec::codecForMib(106)->toUnicode(line.constData(), line.size(), &state);
    const QString reply =
        state.invalidChars > 0 ? QStringLiteral("error the line is not valid UTF-8") : m_execute(text);
    client.out += reply.toUtf8() + '\n';
}

bool ControlServer::flush(int fd, Client &client)
{
    while (!client.out.isEmpty()) {
        const ssize_t sent =
            ::send(fd, client.out.constData(), static_cast<size_t>(client.out.size()), MSG_NOSIGNAL | MSG_DONTWAIT);
        if (sent < 0)
            return errno == EAGAIN || errno == EINTR;
        client.out.remove(0, static_cast<int>(sent));
    }
    return true;
}

void ControlServer::drop(int fd)
{
    m_loop.unwatch(fd);
    ::close(fd);
    m_clients.erase(fd);
}

} // namespace Velasystem
