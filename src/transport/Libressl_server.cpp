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

std::string configError(struct tls_config *config, const char *call)
{
    const char *reason = tls_config_error(config);
    return std::string(call) + " error: " + (reason != nullptr ? reason : "no reason given");
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

bool Libressl_server::start(const std::string &address, std::uint16_t port)
{
    if (m_acceptThread.joinable())
        return true;
    // A peer that vanishes must not kill the process when libtls writes to it.
    std::signal(SIGPIPE, SIG_IGN);
    m_address = address;
    m_port = port;
    m_startError.clear();
    struct tls *server = configureTls();
    if (server == nullptr)
        return false;
    const int listenFd = openListeningSocket();
    if (listenFd < 0) {
        tls_free(server);
        return false;
    }
    m_wakeFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (m_wakeFd < 0) {
        m_startError = std::string("eventfd error: ") + std::strerror(errno);
        tls_free(server);
        ::close(listenFd);
        return false;
    }
    sockaddr_in bound{};
    socklen_t size = sizeof bound;
    getsockname(listenFd, reinterpret_cast<sockaddr *>(&bound), &size);
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stopping = false;
        m_tls = server;
    }
    m_boundPort.store(ntohs(bound.sin_port));
    m_acceptThread = std::thread(&Libressl_server::acceptLoop, this, listenFd);
    m_cleanupThread = std::thread(&Libressl_server::cleanupLoop, this);
    return true;
}

bool Libressl_server::reloadCertificate()
{
    struct tls *server = configureTls();
    if (server == nullptr)
        return false;
    {
        // The accept thread holds the lock while it makes a connection from
        // the context, so the one it may be using is never freed under it.
        std::lock_guard<std::mutex> lock(m_mutex);
        std::swap(server, m_tls);
    }
    if (server != nullptr)
        tls_free(server);
    return true;
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
    m_tls = nullptr;
    ::close(m_wakeFd);
    m_wakeFd = -1;
    m_boundPort.store(0);
    onShutdown();
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

void Libressl_server::acceptLoop(int listenFd)
{
    while (waitForWake(listenFd, -1))
        acceptOne(listenFd);
    ::close(listenFd);
}

struct tls *Libressl_server::configureTls()
{
    static std::once_flag initialised;
    static int initResult = 0;
    std::call_once(initialised, [] { initResult = tls_init(); });
    if (initResult < 0) {
        m_startError = "tls_init error: the TLS library could not be initialised";
        return nullptr;
    }
    struct tls_config *config = tls_config_new();
    struct tls *server = tls_server();
    if (config == nullptr || server == nullptr) {
        m_startError = "tls_config_new error: out of memory";
        tls_config_free(config);
        tls_free(server);
        return nullptr;
    }
    std::uint32_t protocols = 0;
    if (tls_config_parse_protocols(&protocols, "secure") < 0)
        m_startError = "tls_config_parse_protocols error: \"secure\" is not known to this libtls";
    else if (tls_config_set_protocols(config, protocols) != 0)
        m_startError = configError(config, "tls_config_set_protocols");
    else if (tls_config_set_ciphers(config, kCiphers) != 0)
        m_startError = configError(config, "tls_config_set_ciphers");
    // The key first: a missing key is reported before the certificate is read.
    else if (tls_config_set_key_file(config, m_keyFile.c_str()) != 0)
        m_startError = configError(config, "tls_config_set_key_file");
    else if (tls_config_set_cert_file(config, m_certificateFile.c_str()) != 0)
        m_startError = configError(config, "tls_config_set_cert_file");
    else if (tls_configure(server, config) != 0) {
        const char *reason = tls_error(server);
        m_startError = std::string("tls_configure error: ") + (reason != nullptr ? reason : "no reason given")
            + " (key " + m_keyFile + ", certificate " + m_certificateFile + ")";
    }
    // The server context holds the configuration it was given; ours goes.
    tls_config_free(config);
    if (!m_startError.empty()) {
        tls_free(server);
        return nullptr;
    }
    return server;
}

int Libressl_server::openListeningSocket()
{
    const std::string where = m_address + ":" + std::to_string(m_port);
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) {
        m_startError = "socket error: " + std::string(std::strerror(errno));
        return -1;
    }
    const int on = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = inet_addr(m_address.c_str());
    address.sin_port = htons(m_port);
    const char *failed = nullptr;
    if (bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0)
        failed = "bind error";
    else if (listen(fd, kListenBacklog) != 0)
        failed = "listen error";
    if (failed != nullptr) {
        m_startError = std::string(failed) + ": cannot listen on " + where + ": " + std::strerror(errno);
        ::close(fd);
        return -1;
    }
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
        RelayLog::repeated("refused connections",
                           "connection refused: too many connections (" + std::to_string(m_maxConnections.load())
                               + " open)");
        ::close(fd);
        return;
    }
    // Small frames go out at once rather than waiting for Nagle's algorithm.
    const int on = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    Libressl_socket *socket = createSocket(fd);
    if (socket == nullptr) {
        ::close(fd);
        return;
    }
    bool accepted = false;
    std::string reason;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        accepted = socket->acceptTls(m_tls, &reason);
    }
    if (!accepted) {
        RelayLog::repeated("TLS accept failures", "tls_accept_cbs error: " + reason);
        delete socket;
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
