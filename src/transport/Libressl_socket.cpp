#include "Libressl_socket.h"

#include "Libressl_server.h"
#include "RelayLog.h"
#include "Send_batch.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <tls.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstring>

namespace {

std::atomic<unsigned long long> g_connections{0};

// The connection whose thread this is, so that its own writes are queued for
// it rather than written through the lock it may already hold.
thread_local const Libressl_socket *t_running = nullptr;

// send() without SIGPIPE, past interruptions.
ssize_t sendBytes(int fd, const void *data, std::size_t size, int flags)
{
    for (;;) {
        const ssize_t sent = ::send(fd, data, size, flags | MSG_NOSIGNAL);
        if (sent >= 0 || errno != EINTR)
            return sent;
    }
}

} // namespace

Libressl_socket::Libressl_socket(Libressl_server *owner, int fd, QObject *parent)
    : QObject(parent)
    , m_owner(owner)
    , m_tls(nullptr)
    , m_fd(fd)
    , m_wakeFd(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK))
    , m_id(++g_connections)
{
    if (m_wakeFd < 0)
        RelayLog::repeated("eventfd failures",
                           "connection " + std::to_string(m_id) + ": eventfd error: " + std::strerror(errno));
}

Libressl_socket::~Libressl_socket()
{
    stop();
    if (m_tls != nullptr)
        tls_free(m_tls);
    if (m_fd >= 0)
        ::close(m_fd);
    if (m_wakeFd >= 0)
        ::close(m_wakeFd);
}

bool Libressl_socket::acceptTls(struct tls *server, std::string *reason)
{
    if (tls_accept_cbs(server, &m_tls, &Libressl_socket::readSocket, &Libressl_socket::writeSocket, this) == 0)
        return true;
    const char *error = tls_error(server);
    *reason = error != nullptr ? error : "unknown error";
    return false;
}

ssize_t Libressl_socket::readSocket(struct tls *, void *buffer, std::size_t size, void *self)
{
    for (;;) {
        const ssize_t got = ::recv(static_cast<Libressl_socket *>(self)->m_fd, buffer, size, 0);
        if (got >= 0 || errno != EINTR)
            return got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK) ? TLS_WANT_POLLIN : got;
    }
}

ssize_t Libressl_socket::writeSocket(struct tls *, const void *data, std::size_t size, void *self)
{
    auto *socket = static_cast<Libressl_socket *>(self);
    switch (socket->sendLeftover()) {
    case Io::Done: break;
    case Io::Blocked: return TLS_WANT_POLLOUT;
    case Io::Failed: return -1;
    }
    if (socket->m_batch != nullptr) {
        socket->m_batch->add(socket, data, size);
        return static_cast<ssize_t>(size);
    }
    const ssize_t sent = sendBytes(socket->m_fd, data, size, 0);
    return sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK) ? TLS_WANT_POLLOUT : sent;
}

Libressl_socket::Io Libressl_socket::sendLeftover()
{
    while (m_leftoverOffset < m_leftover.size()) {
        const ssize_t sent =
            sendBytes(m_fd, m_leftover.data() + m_leftoverOffset, m_leftover.size() - m_leftoverOffset, MSG_DONTWAIT);
        if (sent < 0)
            return errno == EAGAIN || errno == EWOULDBLOCK ? Io::Blocked : Io::Failed;
        m_leftoverOffset += static_cast<std::size_t>(sent);
        std::lock_guard<std::mutex> lock(m_mutex);
        m_unsent -= std::min(m_unsent, static_cast<std::size_t>(sent));
    }
    if (!m_leftover.empty()) {
        m_leftover.clear();
        m_leftover.shrink_to_fit();
        m_leftoverOffset = 0;
    }
    return Io::Done;
}

bool Libressl_socket::batchSent(const std::string &bytes, int result)
{
    if (result < 0 && result != -EAGAIN && result != -EWOULDBLOCK && result != -EINTR) {
        // The connection is broken; its thread finds out and ends it.
        m_requests.fetch_or(AbortRequested);
        return true;
    }
    const std::size_t sent = result > 0 ? static_cast<std::size_t>(result) : 0;
    if (sent == bytes.size())
        return false;
    // A full socket: the client reads slowly. Its thread sends the rest
    // when the socket takes it, before anything written after it.
    m_leftover.assign(bytes, sent, std::string::npos);
    m_leftoverOffset = 0;
    std::lock_guard<std::mutex> lock(m_mutex);
    m_unsent += bytes.size() - sent;
    return true;
}

void Libressl_socket::start()
{
    int failed = 0;
    {
        // The thread handle is written here, on the accept thread, and taken
        // by stop() on another one: both under the lock.
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_threadRunning || m_ended.load())
            return;
        // A connection's thread needs little stack (the TLS handshake, one
        // read buffer, the decoder), far from the default 8 MiB, which every
        // connection would reserve.
        pthread_attr_t attributes;
        pthread_attr_init(&attributes);
        pthread_attr_setstacksize(&attributes, kThreadStackBytes);
        failed = pthread_create(
            &m_thread, &attributes,
            [](void *socket) -> void * {
                static_cast<Libressl_socket *>(socket)->run();
                return nullptr;
            },
            this);
        pthread_attr_destroy(&attributes);
        m_threadRunning = failed == 0;
    }
    if (failed != 0) {
        RelayLog::repeated("thread failures",
                           "connection " + std::to_string(m_id)
                               + ": no thread for it (pthread_create error): " + std::strerror(failed));
        // Ends as if its loop had ended, so its owner releases it.
        end();
    }
}

void Libressl_socket::close()
{
    request(CloseRequested);
    releaseShare(true);
}

void Libressl_socket::stop()
{
    request(CloseRequested);
    pthread_t thread{};
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (!m_threadRunning || pthread_equal(m_thread, pthread_self()) != 0)
            return;
        thread = m_thread;
        m_threadRunning = false;
    }
    pthread_join(thread, nullptr);
}

bool Libressl_socket::append(const char *data, std::size_t size, bool last)
{
    // Another thread's bytes go straight into the TLS context when its own
    // thread is not inside libtls (the lock is free) and nothing waits to be
    // sent before them: one hand-over fewer on the way to the client. Never
    // a blocking lock here: a busy connection gets the bytes queued instead.
    // Nor a second lock of a context whose record a batch of this thread holds.
    std::unique_lock<std::mutex> tls(m_tlsMutex, std::defer_lock);
    Send_batch *batch = Send_batch::current();
    if (t_running != this && (batch == nullptr || !batch->locks(this)))
        static_cast<void>(tls.try_lock());
    bool direct = false;
    bool wakeUp = true;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_writeClosed)
            return false;
        if (m_unsent + size > kMaxQueuedBytes) {
            // The peer does not read: drop it rather than let it hold memory
            // or ever send part of a frame.
            m_writeClosed = true;
            m_queue.clear();
            m_queue.shrink_to_fit();
            m_requests.fetch_or(AbortRequested);
            RelayLog::repeated("dropped clients",
                               "connection " + std::to_string(m_id) + ": dropped, it does not read (write queue full: "
                                   + std::to_string(kMaxQueuedBytes) + " bytes unsent)");
        } else if (tls.owns_lock() && m_tlsOpen && m_unsent == 0) {
            direct = true;
            m_writeClosed = last;
        } else {
            // The connection thread takes the whole queue at once, and drains
            // it before it waits again after every wake-up: only the write
            // that finds the queue empty needs to wake it. Waking it for every
            // frame cost a context switch per frame and client.
            wakeUp = m_queue.empty();
            m_queue.append(data, size);
            m_unsent += size;
            m_writeClosed = last;
        }
    }
    if (direct) {
        // In a batch, the record is made now and sent with the others; the
        // batch keeps the lock until then.
        m_batch = batch;
        wakeUp = !writeNow(data, size);
        m_batch = nullptr;
        if (batch != nullptr && batch->holds(this)) {
            batch->keep(std::move(tls), wakeUp);
            wakeUp = false;
        }
    }
    if (tls.owns_lock())
        tls.unlock();
    if (wakeUp)
        wake();
    return (m_requests.load() & AbortRequested) == 0;
}

bool Libressl_socket::writeNow(const char *data, std::size_t size)
{
    // The socket does not block: a peer that reads slowly costs this thread
    // one call, and what is left goes to the connection's own thread.
    const ssize_t written = tls_write(m_tls, data, size);
    if (written == static_cast<ssize_t>(size))
        return true;
    if (written > 0 || written == TLS_WANT_POLLOUT || written == TLS_WANT_POLLIN) {
        // After a "want", libtls must be given exactly the same bytes again;
        // after a partial write, the rest. Either goes first, before anything
        // queued meanwhile (the lock keeps the connection thread from
        // sending that).
        const std::size_t done = written > 0 ? static_cast<std::size_t>(written) : 0;
        m_sending.assign(data + done, size - done);
        m_sendOffset = 0;
        std::lock_guard<std::mutex> lock(m_mutex);
        m_unsent += size - done;
        return false;
    }
    // The connection is broken; its thread finds out and ends it.
    m_requests.fetch_or(AbortRequested);
    return false;
}

void Libressl_socket::setDeadline(std::chrono::milliseconds fromNow)
{
    m_deadline = fromNow.count() > 0 ? Clock::now() + fromNow : Clock::time_point::max();
}

void Libressl_socket::request(Request what)
{
    // Under the lock the connection thread last held before it signalled the
    // owner, so the owner's first touch of a connection it only heard of
    // through Qt's event queue is ordered after everything that thread (and
    // the accept thread before it) did; ThreadSanitizer sees this lock, not
    // Qt's.
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_requests.fetch_or(what);
    }
    wake();
}

void Libressl_socket::wake()
{
    const std::uint64_t one = 1;
    if (m_wakeFd >= 0 && ::write(m_wakeFd, &one, sizeof one) < 0) {
        // The counter is already non-zero: the thread will wake anyway.
    }
}

void Libressl_socket::run()
{
    t_running = this;
    if (handshake()) {
        onConnected();
        serve();
    }
    {
        std::lock_guard<std::mutex> tls(m_tlsMutex);
        m_tlsOpen = false;
    }
    end();
    // Nothing may touch this object past this point: it may be destroyed.
}

void Libressl_socket::end()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_writeClosed = true;
    }
    m_ended.store(true);
    onDisconnected();
    releaseShare(false);
}

void Libressl_socket::releaseShare(bool ownerRelease)
{
    bool handOver = false;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        bool &mine = ownerRelease ? m_released : m_loopEnded;
        if (mine)
            return;
        mine = true;
        handOver = m_released && m_loopEnded;
    }
    if (!handOver || m_owner == nullptr)
        return;
    // Queued on the owner's thread, so it arrives after every signal this
    // connection emitted, websocket_disconnected included.
    QMetaObject::invokeMethod(m_owner, "handOver", Qt::QueuedConnection, Q_ARG(Libressl_socket *, this));
}

std::string Libressl_socket::describe(const char *what) const
{
    const char *reason = tls_error(m_tls);
    return "connection " + std::to_string(m_id) + ": " + what + ": " + (reason != nullptr ? reason : "no reason given");
}
