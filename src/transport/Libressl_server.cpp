#include "Libressl_server.h"

#include "Libressl_socket.h"
#include "RelayLog.h"

#include <QCoreApplication>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <tls.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <vector>

namespace {

const char kCiphers[] = "ECDHE-RSA-AES256-GCM-SHA384:ECDHE-ECDSA-AES256-GCM-SHA384:"
                        "ECDHE-RSA-AES256-SHA384:ECDHE-ECDSA-AES256-SHA384";
constexpr int kListenBacklog = 128;
// After a failing accept (no descriptors left, for instance) the loop rests
// this long instead of spinning on a listening socket that stays readable.
constexpr int kAcceptRetryMs = 100;

// Set-up failures end the process; static destructors must not run on the
// accept thread while the main thread goes on.
[[noreturn]] void failSetup(const std::string &line)
{
    RelayLog::info(line);
    std::_Exit(1);
}

} // namespace

Libressl_server::Libressl_server(QObject *parent)
    : QObject(parent)
    , m_handshakeTimeout(Libressl_socket::kDefaultHandshakeTimeout.count())
{
    qRegisterMetaType<Libressl_socket *>("Libressl_socket*");
}

Libressl_server::~Libressl_server()
{
    shutdown();
}

void Libressl_server::setCertificateFile(const std::string &path)
{
    m_certificateFile = path;
}

void Libressl_server::setKeyFile(const std::string &path)
{
    m_keyFile = path;
}

void Libressl_server::start(const std::string &address, std::uint16_t port)
{
    if (m_acceptThread.joinable())
        return;
    // A peer that vanishes must not kill the process when libtls writes to it.
    std::signal(SIGPIPE, SIG_IGN);
    m_address = address;
    m_port = port;
    m_stopping = false;
    m_wakeFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    m_acceptThread = std::thread(&Libressl_server::acceptLoop, this);
    m_cleanupThread = std::thread(&Libressl_server::cleanupLoop, this);
}

void Libressl_server::shutdown()
{
    if (!m_acceptThread.joinable())
        return;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stopping = true;
    }
    const std::uint64_t one = 1;
    if (::write(m_wakeFd, &one, sizeof one) < 0)
        RelayLog::info("eventfd error");
    m_condition.notify_all();
    m_acceptThread.join();
    m_cleanupThread.join();

    std::set<Libressl_socket *> remaining;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        remaining.swap(m_connections);
        m_deletionQueue.clear();
    }
    // All are asked first, so their goodbyes run side by side.
    for (Libressl_socket *socket : remaining)
        socket->close();
    for (Libressl_socket *socket : remaining) {
        socket->stop();
        delete socket;
    }
    // Hand-overs the ended connections queued to this object name pointers that
    // are gone now; a later connection could be given the same address.
    QCoreApplication::removePostedEvents(this, QEvent::MetaCall);
    if (m_tls != nullptr)
        tls_free(m_tls);
    if (m_config != nullptr)
        tls_config_free(m_config);
    m_tls = nullptr;
    m_config = nullptr;
    ::close(m_wakeFd);
    m_wakeFd = -1;
    m_boundPort.store(0);
}

bool Libressl_server::waitUntilListening(std::chrono::milliseconds timeout)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_condition.wait_for(lock, timeout, [this] { return m_boundPort.load() != 0; });
}

int Libressl_server::connectionCount() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return static_cast<int>(m_connections.size());
}

void Libressl_server::scheduleDelete(Libressl_socket *socket)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_connections.count(socket) != 0 && m_deletionQueue.insert(socket).second)
        m_condition.notify_all();
}

void Libressl_server::cleanupLoop()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
        m_condition.wait(lock, [this] { return m_stopping || !m_deletionQueue.empty(); });
        if (m_stopping)
            return; // shutdown destroys what is left
        std::set<Libressl_socket *> batch;
        batch.swap(m_deletionQueue);
        for (Libressl_socket *socket : batch)
            m_connections.erase(socket);
        lock.unlock();
        for (Libressl_socket *socket : batch) {
            socket->stop();
            delete socket;
        }
        lock.lock();
    }
}

void Libressl_server::acceptLoop()
{
    if (!configureTls())
        return;
    const int listenFd = openListeningSocket();
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        sockaddr_in bound{};
        socklen_t size = sizeof bound;
        getsockname(listenFd, reinterpret_cast<sockaddr *>(&bound), &size);
        m_boundPort.store(ntohs(bound.sin_port));
    }
    m_condition.notify_all();
    emit listening(m_boundPort.load());

    while (waitForWake(listenFd, -1))
        acceptOne(listenFd);
    ::close(listenFd);
}

bool Libressl_server::configureTls()
{
    static std::once_flag initialised;
    static int initResult = 0;
    std::call_once(initialised, [] { initResult = tls_init(); });
    if (initResult < 0)
        failSetup("tls_init error");
    m_config = tls_config_new();
    if (m_config == nullptr)
        failSetup("tls_config_new error");
    m_tls = tls_server();
    if (m_tls == nullptr)
        failSetup("tls_server error");
    std::uint32_t protocols = 0;
    if (tls_config_parse_protocols(&protocols, "secure") < 0)
        failSetup("tls_config_parse_protocols error");
    tls_config_set_protocols(m_config, protocols);
    if (tls_config_set_ciphers(m_config, kCiphers) != 0)
        failSetup("tls_config_set_ciphers error");
    // The key first: a missing key is reported before the certificate is read.
    if (tls_config_set_key_file(m_config, m_keyFile.c_str()) != 0)
        failSetup("tls_config_set_key_file error");
    if (tls_config_set_cert_file(m_config, m_certificateFile.c_str()) != 0)
        failSetup("tls_config_set_cert_file error");
    if (tls_configure(m_tls, m_config) != 0) {
        const char *reason = tls_error(m_tls);
        failSetup(std::string("tls_configure error: ") + (reason != nullptr ? reason : ""));
    }
    return true;
}

int Libressl_server::openListeningSocket()
{
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0)
        failSetup("socket error");
    const int on = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = inet_addr(m_address.c_str());
    address.sin_port = htons(m_port);
    if (bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0)
        failSetup("bind error");
    if (listen(fd, kListenBacklog) != 0)
        failSetup("listen error");
    return fd;
}

void Libressl_server::acceptOne(int listenFd)
{
    const int fd = accept4(listenFd, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
    if (fd < 0) {
        if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR || errno == ECONNABORTED)
            return;
        RelayLog::repeated("accept failures", std::string("accept error: ") + std::strerror(errno));
        waitForWake(-1, kAcceptRetryMs);
        return;
    }
    if (connectionCount() >= m_maxConnections.load()) {
        // Each connection costs a thread: a local process must not exhaust them.
        RelayLog::repeated("refused connections", "connection refused: too many connections");
        ::close(fd);
        return;
    }
    // Small frames go out at once rather than waiting for Nagle's algorithm.
    const int on = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    struct tls *connection = nullptr;
    if (tls_accept_socket(m_tls, &connection, fd) != 0) {
        RelayLog::repeated("TLS accept failures", "tls_accept_socket error");
        ::close(fd);
        return;
    }
    Libressl_socket *socket = createSocket(connection, fd);
    if (socket == nullptr) {
        tls_free(connection);
        ::close(fd);
        return;
    }
    if (!socket->canBeWoken()) {
        // Without its wake-up descriptor no stop request or output would reach
        // the connection's thread in time; it owns ctx and fd and frees them.
        delete socket;
        return;
    }
    // The owner's thread is the one that calls close() and write() on it.
    socket->moveToThread(thread());
    socket->setHandshakeTimeout(std::chrono::milliseconds(m_handshakeTimeout.load()));
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_connections.insert(socket);
    }
    socket->start();
}

bool Libressl_server::waitForWake(int listenFd, int timeoutMs)
{
    pollfd fds[2] = {{m_wakeFd, POLLIN, 0}, {listenFd, POLLIN, 0}};
    for (;;) {
        const int ready = ::poll(fds, listenFd >= 0 ? 2 : 1, timeoutMs);
        if (ready < 0 && errno == EINTR)
            continue;
        std::lock_guard<std::mutex> lock(m_mutex);
        return !m_stopping;
    }
}
