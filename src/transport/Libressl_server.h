#pragma once

#include <QObject>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <set>
#include <string>
#include <thread>

struct tls;
struct tls_config;
class Libressl_socket;

// A TLS server on one IPv4 address: TLS set-up and bind on the caller's
// thread, then an accept thread and a clean-up thread; each connection becomes
// a Libressl_socket through createSocket (docs/ARCHITECTURE.md, Threads).
//
// TLS versions: the protocol keyword "secure", which this libtls reads as
// TLS 1.2 and TLS 1.3. The cipher list restricts the TLS 1.2 suites to four
// ECDHE AES-256 ones.
class Libressl_server : public QObject
{
    Q_OBJECT

public:
    static constexpr int kDefaultMaxConnections = 128;

    explicit Libressl_server(QObject *parent = nullptr);
    // Stops both threads and destroys every connection that is left.
    ~Libressl_server() override;

    Libressl_server(const Libressl_server &) = delete;
    Libressl_server &operator=(const Libressl_server &) = delete;

    // Read by start() and reloadCertificate().
    void setCertificateFile(const std::string &path);
    void setKeyFile(const std::string &path);
    // Connections past this many open ones are refused at once.
    void setMaxConnections(int count) { m_maxConnections.store(count); }
    // Given to each new connection.
    void setHandshakeTimeout(std::chrono::milliseconds timeout) { m_handshakeTimeout.store(timeout.count()); }

    // Sets up TLS and binds on the calling thread, so that a caller that
    // reports the server as started tells the truth, then accepts on the
    // accept thread. False, with the reason in startError(), when the set-up
    // failed; nothing runs then. A second call while running does nothing
    // and returns true. Port 0 picks a free port.
    bool start(const std::string &address, std::uint16_t port);
    // One line naming what failed and why: the file, the port, the system's
    // or the TLS library's error text.
    const std::string &startError() const { return m_startError; }
    // Reads the key and certificate again for connections accepted from now
    // on; connections already made keep theirs. On failure the pair in use
    // stays and the reason is in startError().
    bool reloadCertificate();
    // Ends accepting and destroys every connection, as the destructor does. A
    // derived class whose createSocket uses its own members calls this first
    // in its destructor, so no connection is created while it is half gone.
    void shutdown();

    // The port listened on, 0 when not listening.
    std::uint16_t serverPort() const { return m_boundPort.load(); }
    // Connection objects not yet destroyed.
    int connectionCount() const;

    // Hands a released connection to the clean-up thread; a pointer already
    // queued, or not one of ours, is ignored. Connections call this themselves.
    void scheduleDelete(Libressl_socket *socket);

private slots:
    // A connection released by both sides arrives here, queued on this
    // object's thread behind every signal it emitted.
    void handOver(Libressl_socket *socket) { scheduleDelete(socket); }

protected:
    // Called on the accept thread for every accepted connection: returns a new
    // connection that owns fd, or nullptr to refuse it.
    virtual Libressl_socket *createSocket(int fd) = 0;
    // At the end of shutdown(), when every connection has been destroyed.
    virtual void onShutdown() {}

private:
    void acceptLoop(int listenFd);
    void cleanupLoop();
    struct tls *configureTls();
    int openListeningSocket();
    void acceptOne(int listenFd);
    bool waitForWake(int listenFd, int timeoutMs);

    std::string m_address;
    std::uint16_t m_port = 0;
    std::string m_certificateFile;
    std::string m_keyFile;
    std::thread m_acceptThread;
    std::thread m_cleanupThread;
    int m_wakeFd = -1;
    std::string m_startError;
    std::atomic<int> m_maxConnections{kDefaultMaxConnections};
    std::atomic<std::chrono::milliseconds::rep> m_handshakeTimeout;
    std::atomic<std::uint16_t> m_boundPort{0};

    // Guarded by m_mutex.
    mutable std::mutex m_mutex;
    std::condition_variable m_condition;
    std::set<Libressl_socket *> m_connections;
    std::set<Libressl_socket *> m_deletionQueue;
    bool m_stopping = false;
    // The server context new connections are made from; a reload swaps it.
    // Connections made from an earlier one hold their own references.
    struct tls *m_tls = nullptr;
};
