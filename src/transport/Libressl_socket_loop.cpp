#include "Libressl_socket.h"

#include "RelayLog.h"

#include <poll.h>
#include <tls.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

// The connection thread's own side of Libressl_socket: the handshake, the
// loop that reads, flushes what is queued and says goodbye, and the waits on
// the socket. What other threads call is in Libressl_socket.cpp.

namespace {

// Clients send short commands. A record of up to 16 KiB is taken in several
// reads; a buffer of the whole record would cost every idle connection's
// stack the pages it once touched (measured: about 8 KiB a connection).
constexpr std::size_t kReadChunk = 4 * 1024;

// Clients that vanish without TLS's close_notify (every Python ssl client
// does, and any that is killed) are not faults of the relay or the client.
bool peerLeft(struct tls *tls)
{
    // libtls keeps no error code, only its text.
    const char *reason = tls_error(tls);
    if (reason == nullptr)
        return false;
    for (const char *gone :
         {static_cast<const char *>("unexpected eof"), static_cast<const char *>(std::strerror(ECONNRESET)),
          static_cast<const char *>(std::strerror(EPIPE))}) {
        if (std::strstr(reason, gone) != nullptr)
            return true;
    }
    return false;
}

int pollTimeout(std::chrono::steady_clock::time_point deadline)
{
    if (deadline == std::chrono::steady_clock::time_point::max())
        return -1;
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    return static_cast<int>(std::clamp<std::chrono::milliseconds::rep>(left.count(), 0, 24 * 3600 * 1000));
}

} // namespace

bool Libressl_socket::handshake()
{
    const Clock::time_point deadline = Clock::now() + m_handshakeTimeout;
    for (;;) {
        int result = 0;
        {
            std::lock_guard<std::mutex> tls(m_tlsMutex);
            result = tls_handshake(m_tls);
            if (result == 0) {
                m_tlsOpen = true;
                return true;
            }
        }
        if (m_requests.load() != 0)
            return false;
        if ((result == TLS_WANT_POLLIN || result == TLS_WANT_POLLOUT)
            && waitForSocket(result == TLS_WANT_POLLIN ? POLLIN : POLLOUT, deadline) == Wait::Ready) {
            continue;
        }
        if (m_requests.load() == 0) {
            std::lock_guard<std::mutex> tls(m_tlsMutex);
            RelayLog::repeated("TLS handshake failures", describe("TLS handshake failed (tls_handshake error)"));
        }
        return false;
    }
}

void Libressl_socket::serve()
{
    for (;;) {
        const int requests = m_requests.load();
        if ((requests & AbortRequested) != 0)
            return;
        if ((requests & CloseRequested) != 0 || m_finishing) {
            farewell();
            return;
        }
        m_wants = 0;
        if (flushOutput() == Io::Failed)
            return;
        // One read at a time, each followed by a flush: a client that sends
        // without pause still gets its replies while it sends.
        const Clock::time_point readAt = nextRead();
        Io input = Io::Blocked;
        if (readAt <= Clock::now()) {
            input = readInput();
            if (input == Io::Failed)
                return;
        }
        if (m_finishing || input == Io::Done)
            continue;
        // Reading now: the socket says when. Reading later: so does the time.
        const bool reading = readAt <= Clock::now();
        const Clock::time_point wakeAt = reading ? m_deadline : std::min(m_deadline, readAt);
        const Wait wait = waitForSocket(static_cast<short>((reading ? POLLIN : 0) | m_wants), wakeAt);
        if (wait == Wait::Failed || (wait == Wait::TimedOut && Clock::now() >= m_deadline))
            return;
    }
}

Libressl_socket::Clock::time_point Libressl_socket::nextRead()
{
    const std::chrono::nanoseconds delay = readDelay();
    if (delay == kNoRead)
        return Clock::time_point::max();
    const Clock::time_point now = Clock::now();
    return delay.count() <= 0 ? now : now + std::chrono::duration_cast<Clock::duration>(delay);
}

void Libressl_socket::farewell()
{
    if ((m_requests.load() & CloseRequested) != 0 && !m_finishing)
        onClosing();
    const Clock::time_point deadline = Clock::now() + kFarewellTimeout;
    for (;;) {
        m_wants = 0;
        const Io io = flushOutput();
        if (io == Io::Failed || (m_requests.load() & AbortRequested) != 0)
            return;
        if (io == Io::Done)
            break;
        if (waitForSocket(m_wants != 0 ? m_wants : POLLIN, deadline) != Wait::Ready)
            return;
    }
    for (;;) {
        std::unique_lock<std::mutex> tls(m_tlsMutex);
        m_tlsOpen = false;
        const int result = tls_close(m_tls);
        tls.unlock();
        if ((result != TLS_WANT_POLLIN && result != TLS_WANT_POLLOUT)
            || waitForSocket(result == TLS_WANT_POLLIN ? POLLIN : POLLOUT, deadline) != Wait::Ready) {
            return;
        }
    }
}

Libressl_socket::Io Libressl_socket::flushOutput()
{
    for (;;) {
        std::lock_guard<std::mutex> tls(m_tlsMutex);
        switch (sendLeftover()) {
        case Io::Done: break;
        case Io::Blocked: m_wants |= POLLOUT; return Io::Blocked;
        case Io::Failed: return Io::Failed;
        }
        if (m_sendOffset == m_sending.size()) {
            m_sending.clear();
            m_sendOffset = 0;
            std::lock_guard<std::mutex> lock(m_mutex);
            // Everything queued leaves together: several frames in one write.
            m_sending.swap(m_queue);
            if (m_sending.empty())
                return Io::Done;
        }
        // libtls wants a write that could not finish repeated with the same
        // bytes; the buffer does not change until it is all written.
        const ssize_t written = tls_write(m_tls, m_sending.data() + m_sendOffset, m_sending.size() - m_sendOffset);
        if (written > 0) {
            m_sendOffset += static_cast<std::size_t>(written);
            std::lock_guard<std::mutex> lock(m_mutex);
            m_unsent -= std::min(m_unsent, static_cast<std::size_t>(written));
            continue;
        }
        if (written == TLS_WANT_POLLOUT || written == TLS_WANT_POLLIN) {
            m_wants |= written == TLS_WANT_POLLOUT ? POLLOUT : POLLIN;
            return Io::Blocked;
        }
        return Io::Failed;
    }
}

Libressl_socket::Io Libressl_socket::readInput()
{
    char buffer[kReadChunk];
    std::unique_lock<std::mutex> tls(m_tlsMutex);
    const ssize_t received = tls_read(m_tls, buffer, sizeof buffer);
    if (received > 0) {
        tls.unlock();
        onReadyRead(buffer, static_cast<std::size_t>(received));
        // More may be waiting inside libtls, where poll cannot see it.
        return Io::Done;
    }
    if (received == TLS_WANT_POLLIN)
        return Io::Blocked;
    if (received == TLS_WANT_POLLOUT) {
        m_wants |= POLLOUT;
        return Io::Blocked;
    }
    if (received < 0 && peerLeft(m_tls))
        RelayLog::repeatedDebug("clients gone", describe("the client left without closing TLS"));
    else if (received < 0)
        RelayLog::repeated("TLS read errors", describe("TLS read failed (TLS_READ ERROR)"));
    return Io::Failed; // 0: the peer closed the connection
}

Libressl_socket::Wait Libressl_socket::waitForSocket(short events, Clock::time_point deadline)
{
    // A socket that is neither read nor written is left out: a peer that hung
    // up would otherwise make every poll return at once.
    pollfd fds[2] = {{events != 0 ? m_fd : -1, events, 0}, {m_wakeFd, POLLIN, 0}};
    for (;;) {
        const int ready = ::poll(fds, m_wakeFd >= 0 ? 2 : 1, pollTimeout(deadline));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready < 0)
            return Wait::Failed;
        if (ready == 0)
            return Wait::TimedOut;
        if ((fds[1].revents & POLLIN) != 0) {
            std::uint64_t count = 0;
            if (::read(m_wakeFd, &count, sizeof count) < 0) {
                // Already drained.
            }
        }
        // The socket is ready, or a wake-up: new output to send, or a request to look at.
        return Wait::Ready;
    }
}
