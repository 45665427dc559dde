#include "Tls_test_client.h"

#include "Websocket_frame.h"

#include <QEventLoop>
#include <QTimer>

#include <atomic>
#include <thread>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <tls.h>
#include <unistd.h>

Tls_test_client::~Tls_test_client()
{
    if (m_tls != nullptr)
        tls_free(m_tls);
    if (m_fd >= 0)
        ::close(m_fd);
}

bool Tls_test_client::connectTcp(std::uint16_t port)
{
    m_fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (m_receiveBuffer > 0)
        ::setsockopt(m_fd, SOL_SOCKET, SO_RCVBUF, &m_receiveBuffer, sizeof m_receiveBuffer);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    return ::connect(m_fd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0
        && ::fcntl(m_fd, F_SETFL, O_NONBLOCK) == 0;
}

bool Tls_test_client::connect(std::uint16_t port, bool upgrade)
{
    tls_config *config = tls_config_new();
    tls_config_insecure_noverifycert(config);
    tls_config_insecure_noverifyname(config);
    m_tls = tls_client();
    const bool ok =
        connectTcp(port) && tls_configure(m_tls, config) == 0 && tls_connect_socket(m_tls, m_fd, "localhost") == 0;
    tls_config_free(config);
    // libtls shakes hands on the first read or write.
    m_inHead = upgrade;
    return ok
        && exchange(upgrade
                        ? "GET /relay HTTP/1.1\r\nHost: 127.0.0.1\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
                          "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\nSec-WebSocket-Protocol: relay-protocol\r\n"
                          "Sec-WebSocket-Version: 13\r\n\r\n"
                        : "")
        && (!upgrade || m_head.rfind("HTTP/1.1 101 ", 0) == 0);
}

bool Tls_test_client::exchange(const std::string &bytes, const Until &until, std::chrono::milliseconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    std::size_t sent = 0;
    bool found = !until;
    while (m_tls != nullptr) {
        short wanted = POLLIN;
        ssize_t written = 0;
        if (sent < bytes.size()) {
            // After a "want", libtls is given the same bytes again.
            written = tls_write(m_tls, bytes.data() + sent, std::min<std::size_t>(16384, bytes.size() - sent));
            if (written > 0)
                sent += static_cast<std::size_t>(written);
            else if (written == TLS_WANT_POLLOUT)
                wanted |= POLLOUT;
            else if (written != TLS_WANT_POLLIN)
                return false;
        }
        char buffer[16384];
        ssize_t received;
        while ((received = tls_read(m_tls, buffer, sizeof buffer)) > 0)
            take(buffer, static_cast<std::size_t>(received));
        for (; !found && !m_events.empty(); m_events.pop_front())
            found = until(m_events.front());
        if (sent == bytes.size() && found && !m_inHead && tls_conn_version(m_tls) != nullptr)
            return true;
        if ((received != TLS_WANT_POLLIN && received != TLS_WANT_POLLOUT)
            || std::chrono::steady_clock::now() > deadline)
            return false;
        if (received == TLS_WANT_POLLOUT)
            wanted |= POLLOUT;
        if (written <= 0) {
            pollfd fd{m_fd, wanted, 0};
            ::poll(&fd, 1, 100);
        }
    }
    return false;
}

void Tls_test_client::take(const char *data, std::size_t size)
{
    if (m_inHead) {
        m_head.append(data, size);
        const std::size_t end = m_head.find("\r\n\r\n");
        if (end == std::string::npos)
            return;
        m_inHead = false;
        // Frames may have come with the response.
        const std::string frames = m_head.substr(end + 4);
        m_head.resize(end + 4);
        return take(frames.data(), frames.size());
    }
    for (Websocket_event &event : m_decoder.decode(data, size))
        m_events.push_back(std::move(event));
}

std::vector<std::string> Tls_test_client::texts(std::size_t count)
{
    std::vector<std::string> received;
    exchange({}, [&](const Websocket_event &event) {
        if (event.type == Websocket_event::TextMessage)
            received.push_back(event.payload);
        return received.size() == count;
    });
    return received;
}

std::string clientFrame(std::uint8_t opcode, const std::string &payload, bool fin, bool masked)
{
    return Websocket_frame{fin, 0, opcode, masked, {0x37, 0xfa, 0x21, 0x3d}, payload}.encode();
}

bool runBeside(const std::function<void()> &work, std::chrono::milliseconds timeout)
{
    QEventLoop loop;
    std::atomic<bool> done{false};
    std::thread thread([&] {
        work();
        done = true;
        QMetaObject::invokeMethod(&loop, "quit", Qt::QueuedConnection);
    });
    QTimer::singleShot(timeout, &loop, &QEventLoop::quit);
    // A plain event loop: QTest::qWaitFor rests 10 ms between its passes,
    // which would bound the rate at which the servers carry out messages.
    loop.exec();
    const bool finished = done.load();
    while (!done.load())
        loop.processEvents(QEventLoop::WaitForMoreEvents, 100);
    thread.join();
    return finished;
}
