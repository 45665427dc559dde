#pragma once

#include <QObject>

#include <pthread.h>

#include <atomic>
#include <chrono>
#include <cstddef>
#include <mutex>
#include <string>

struct tls;
class Libressl_server;
class Send_batch;

// One accepted TLS connection, served by a thread of its own (handshake,
// reading, the rest of writes), into which another thread's write() goes
// straight when the connection is idle. Who touches what, and how the object
// ends its life, is on the Threads page: docs/ARCHITECTURE.md.
class Libressl_socket : public QObject
{
    Q_OBJECT

public:
    static constexpr std::size_t kMaxQueuedBytes = 4 * 1024 * 1024;
    static constexpr std::size_t kThreadStackBytes = 256 * 1024;
    static constexpr std::chrono::milliseconds kDefaultHandshakeTimeout{5000};
    // How long the queued output and the TLS close may take when a connection ends in order.
    static constexpr std::chrono::milliseconds kFarewellTimeout{1000};

    // Takes ownership of fd (a non-blocking socket).
    Libressl_socket(Libressl_server *owner, int fd, QObject *parent = nullptr);
    ~Libressl_socket() override;

    Libressl_socket(const Libressl_socket &) = delete;
    Libressl_socket &operator=(const Libressl_socket &) = delete;

    // The server's accept thread, before start(): makes the connection's TLS
    // context from the server's, which the caller keeps to itself meanwhile.
    // False, with libtls's reason, when it cannot.
    bool acceptTls(struct tls *server, std::string *reason);
    // Starts the connection thread; called once, by the server's accept thread.
    void start();
    // The owner's release, on the owner's thread only; later calls do nothing.
    // The connection says goodbye (onClosing), sends what is queued and ends.
    void close();
    // Asks the loop to end in order and waits for the thread. For the server's
    // clean-up; never from the connection thread.
    void stop();
    // Sends or queues whole bytes, from any thread; never blocks. False when
    // the connection is ending, or when the bytes would pass kMaxQueuedBytes of
    // unsent data: the connection is then dropped.
    bool write(const char *data, std::size_t size) { return append(data, size, false); }
    bool write(const std::string &bytes) { return write(bytes.data(), bytes.size()); }
    // Queues the connection's last bytes (a close frame): whatever any thread
    // writes after them is refused, so nothing follows them on the wire.
    bool writeLast(const std::string &bytes) { return append(bytes.data(), bytes.size(), true); }

    // Any thread: the connection looks again at whether it may read
    // (readDelay), for instance because its messages were carried out.
    void resumeReading() { wake(); }

    // Names the connection in the log.
    unsigned long long id() const { return m_id; }

    // False when the wake-up descriptor could not be made (descriptors ran out).
    bool canBeWoken() const { return m_wakeFd >= 0; }

    // Before start(): the bound on the TLS handshake.
    void setHandshakeTimeout(std::chrono::milliseconds timeout) { m_handshakeTimeout = timeout; }

private:
    bool append(const char *data, std::size_t size, bool last);

protected:
    // All hooks run on the connection thread.
    // The TLS handshake succeeded.
    virtual void onConnected() = 0;
    // Decrypted bytes arrived.
    virtual void onReadyRead(const char *data, std::size_t size) = 0;
    // The loop ends, for whatever reason; always called, once.
    virtual void onDisconnected() = 0;
    // The owner closed the connection or the server stops: a last chance to queue a goodbye.
    virtual void onClosing() {}
    // Asked before each read: zero to read now, a positive time to read again
    // after it, kNoRead to wait for resumeReading(). The socket is not read
    // meanwhile, so a peer that sends faster than it is served is slowed down
    // by TCP rather than held in memory.
    static constexpr std::chrono::nanoseconds kNoRead = std::chrono::nanoseconds::max();
    virtual std::chrono::nanoseconds readDelay() { return std::chrono::nanoseconds::zero(); }

    // Connection thread only: end after the queued output went out (bounded by kFarewellTimeout).
    void finish() { m_finishing = true; }
    // Connection thread only: the loop ends when this much time has passed; zero clears it.
    void setDeadline(std::chrono::milliseconds fromNow);

private:
    friend class Send_batch;

    enum Request : int {
        CloseRequested = 1,
        AbortRequested = 2
    };
    enum class Io {
        Done,
        Blocked,
        Failed
    };
    using Clock = std::chrono::steady_clock;

    void run();
    // The end of the loop, or of a connection that got no thread.
    void end();
    bool handshake();
    void serve();
    void farewell();
    // Under the TLS lock: writes what the queue would hold, leaving the rest
    // for the connection's thread. False when that thread must be woken.
    bool writeNow(const char *data, std::size_t size);
    // libtls's way to the socket: everything it reads and writes passes here.
    static ssize_t readSocket(struct tls *, void *buffer, std::size_t size, void *self);
    static ssize_t writeSocket(struct tls *, const void *data, std::size_t size, void *self);
    // Under the TLS lock: a batch sent bytes of this connection with this
    // result (bytes sent, or -errno). True when the thread must be woken to
    // send the rest, or to end a broken connection.
    bool batchSent(const std::string &bytes, int result);
    // Under the TLS lock: what a batch left unsent, before anything else.
    Io sendLeftover();
    Io flushOutput();
    Io readInput();
    enum class Wait {
        Ready,
        TimedOut,
        Failed
    };
    Wait waitForSocket(short events, Clock::time_point deadline);
    // When the loop may read next: now, a time, or time_point::max() for never.
    Clock::time_point nextRead();
    void request(Request what);
    void wake();
    void releaseShare(bool ownerRelease);
    // One log line about this connection, with libtls's reason; under the TLS lock.
    std::string describe(const char *what) const;

    Libressl_server *const m_owner;
    struct tls *m_tls;
    const int m_fd;
    const int m_wakeFd;
    // Names the connection in the log.
    const unsigned long long m_id;
    // Guarded by m_mutex: the thread, and whether it is there to be joined.
    pthread_t m_thread{};
    bool m_threadRunning = false;
    std::chrono::milliseconds m_handshakeTimeout = kDefaultHandshakeTimeout;

    std::atomic<int> m_requests{0};
    std::atomic<bool> m_ended{false};

    // Held around every libtls call on this connection's context, which may
    // come from any thread, one at a time. Taken before m_mutex when both are.
    std::mutex m_tlsMutex;
    // Guarded by m_tlsMutex: the context is past its handshake and not closing.
    bool m_tlsOpen = false;
    // Guarded by m_tlsMutex: bytes being sent, which libtls may want again.
    std::string m_sending;
    std::size_t m_sendOffset = 0;
    // Guarded by m_tlsMutex: the batch that takes what libtls writes, while
    // another thread's write goes into one.
    Send_batch *m_batch = nullptr;
    // Guarded by m_tlsMutex: encrypted bytes a batch could not send. They
    // go out before any other, and count in m_unsent until they have.
    std::string m_leftover;
    std::size_t m_leftoverOffset = 0;

    // Guarded by m_mutex: the outgoing queue and the two releases.
    mutable std::mutex m_mutex;
    std::string m_queue;
    std::size_t m_unsent = 0;
    bool m_writeClosed = false;
    bool m_released = false;
    bool m_loopEnded = false;

    // Connection thread only.
    // What libtls last asked to wait for (POLLIN, POLLOUT) before it can write.
    short m_wants = 0;
    bool m_finishing = false;
    Clock::time_point m_deadline = Clock::time_point::max();
};
