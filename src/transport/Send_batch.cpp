#include "Send_batch.h"

#include "Libressl_socket.h"
#include "RelayLog.h"

#include <liburing.h>
#include <sched.h>
#include <sys/socket.h>

#include <array>
#include <cerrno>
#include <cstring>

namespace {

// A batch sends what it has gathered once it holds this many clients' TLS
// locks: their threads wait no longer than that many records take to make,
// and a thread never holds more locks than ThreadSanitizer can follow.
constexpr unsigned kMaxHeld = 32;

} // namespace

struct Send_ring::Ring
{
    io_uring ring{};
};

Send_ring::Send_ring()
{
    auto ring = std::make_unique<Ring>();
    io_uring_params params{};
    // A send that fails at submission does not stop the ones after it.
    // Kernels before 5.18 lack the flag; there send() gives the ring up
    // rather than leave unsent ones in it for a later batch.
    params.flags = IORING_SETUP_SUBMIT_ALL;
    int result = io_uring_queue_init_params(kMaxHeld, &ring->ring, &params);
    if (result == -EINVAL) {
        params = io_uring_params{};
        result = io_uring_queue_init_params(kMaxHeld, &ring->ring, &params);
    }
    if (result == 0)
        m_ring = std::move(ring);
    else
        RelayLog::repeatedDebug("io_uring unavailable",
                                std::string("io_uring unavailable (") + std::strerror(-result)
                                    + "): frames to several clients go out one write at a time");
}

Send_ring::~Send_ring()
{
    if (m_ring != nullptr)
        io_uring_queue_exit(&m_ring->ring);
}

namespace {

thread_local Send_batch *t_current = nullptr;

} // namespace

Send_batch::Send_batch(Send_ring &ring)
    : m_ring(ring)
{
    // Inside another batch of this thread, whose records these writes join.
    if (t_current != nullptr)
        return;
    m_using = std::unique_lock<std::mutex>(ring.m_mutex);
    if (ring.m_ring == nullptr) {
        m_using.unlock();
        return;
    }
    // Once: a pen sample's batch then allocates only its records.
    m_entries.reserve(kMaxHeld);
    t_current = this;
}

Send_batch::~Send_batch()
{
    // Only the batch that gathers holds the ring.
    if (!m_using.owns_lock())
        return;
    t_current = nullptr;
    send();
    m_using.unlock();
    // The sends woke the clients' readers, and a kernel that packs light
    // threads onto one vCPU puts a reader behind this thread, which still has
    // its caller's work to finish (the rest of the hub library's call, or of
    // the main thread's event-loop pass): the reader then waits for all of
    // it. Yielding lets it read first; where nothing waits here, the call
    // returns at once. Records that keep() sent early woke readers as well.
    sched_yield();
}

Send_batch *Send_batch::current()
{
    return t_current;
}

void Send_batch::add(Libressl_socket *socket, const void *data, std::size_t size)
{
    if (m_entries.empty() || m_entries.back().socket != socket || m_entries.back().tls.owns_lock())
        m_entries.push_back(Entry{socket, {}, {}, false});
    m_entries.back().bytes.append(static_cast<const char *>(data), size);
}

bool Send_batch::holds(const Libressl_socket *socket) const
{
    return !m_entries.empty() && m_entries.back().socket == socket && !m_entries.back().tls.owns_lock();
}

bool Send_batch::locks(const Libressl_socket *socket) const
{
    for (const Entry &entry : m_entries) {
        if (entry.socket == socket && entry.tls.owns_lock())
            return true;
    }
    return false;
}

void Send_batch::keep(std::unique_lock<std::mutex> &&tls, bool wake)
{
    m_entries.back().tls = std::move(tls);
    m_entries.back().wake = wake;
    if (m_entries.size() >= kMaxHeld)
        send();
}

void Send_batch::send()
{
    if (m_entries.empty())
        return;
    // Bytes sent, or -errno; -EAGAIN for whatever never reached the kernel.
    // keep() sends at kMaxHeld entries, so there are never more.
    std::array<int, kMaxHeld> results;
    results.fill(-EAGAIN);
    if (m_ring.m_ring != nullptr) {
        io_uring *ring = &m_ring.m_ring->ring;
        unsigned prepared = 0;
        for (; prepared < m_entries.size(); ++prepared) {
            io_uring_sqe *sqe = io_uring_get_sqe(ring);
            if (sqe == nullptr)
                break; // cannot happen: the ring is empty between sends
            const Entry &entry = m_entries[prepared];
            // MSG_DONTWAIT: a full socket answers -EAGAIN at once instead of
            // the ring waiting for it.
            io_uring_prep_send(sqe, entry.socket->m_fd, entry.bytes.data(), entry.bytes.size(),
                               MSG_NOSIGNAL | MSG_DONTWAIT);
            io_uring_sqe_set_data64(sqe, prepared);
        }
        const int submitted = io_uring_submit_and_wait(ring, prepared);
        // Submitted and never reported: the client may have had some of it,
        // so nothing may follow.
        for (int i = 0; i < submitted; ++i)
            results[static_cast<std::size_t>(i)] = -EIO;
        int seen = 0;
        while (seen < submitted) {
            io_uring_cqe *cqe = nullptr;
            const int waited = io_uring_wait_cqe(ring, &cqe);
            if (waited == -EINTR)
                continue;
            if (waited < 0)
                break;
            results[io_uring_cqe_get_data64(cqe)] = cqe->res;
            io_uring_cqe_seen(ring, cqe);
            ++seen;
        }
        if (submitted != static_cast<int>(prepared) || seen != submitted) {
            // Not knowing what the kernel still holds, use the ring no more;
            // what never reached it is the connections' to send.
            RelayLog::repeated("io_uring failures",
                               std::string("io_uring send failed: ") + std::strerror(submitted < 0 ? -submitted : EIO));
            io_uring_queue_exit(ring);
            m_ring.m_ring.reset();
        }
    }
    for (std::size_t i = 0; i < m_entries.size(); ++i) {
        Entry &entry = m_entries[i];
        const bool wake = entry.socket->batchSent(entry.bytes, results[i]) || entry.wake;
        entry.tls.unlock();
        if (wake)
            entry.socket->wake();
    }
    m_entries.clear();
}
