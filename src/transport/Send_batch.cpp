#include "Send_batch.h"

#include "Libressl_socket.h"
#include "RelayLog.h"

#include <liburing.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace {

constexpr unsigned kRingEntries = 64;

// One ring per thread that writes into other threads' connections (the main
// thread, the hub library's thread), made on its first batch.
struct Ring
{
    io_uring ring{};
    enum class State {
        Untried,
        Ready,
        Unusable
    } state = State::Untried;

    ~Ring()
    {
        if (state == State::Ready)
            io_uring_queue_exit(&ring);
    }

    bool ready()
    {
        if (state == State::Untried) {
            io_uring_params params{};
            // A send that fails at submission must not leave the ones after
            // it in the ring, to go out with a later batch.
            params.flags = IORING_SETUP_SUBMIT_ALL;
            const int result = io_uring_queue_init_params(kRingEntries, &ring, &params);
            state = result == 0 ? State::Ready : State::Unusable;
            if (result != 0)
                RelayLog::repeatedDebug("io_uring unavailable",
                                        std::string("io_uring unavailable (") + std::strerror(-result)
                                            + "): frames to several clients go out one write at a time");
        }
        return state == State::Ready;
    }

    void giveUp()
    {
        io_uring_queue_exit(&ring);
        state = State::Unusable;
    }
};

thread_local Ring t_ring;
thread_local Send_batch *t_current = nullptr;

} // namespace

Send_batch::Send_batch()
    : m_outer(t_current)
    , m_active(m_outer == nullptr && t_ring.ready())
{
    if (m_active)
        t_current = this;
}

Send_batch::~Send_batch()
{
    if (!m_active)
        return;
    t_current = m_outer;
    send();
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

void Send_batch::keep(std::unique_lock<std::mutex> &&tls, bool wake)
{
    m_entries.back().tls = std::move(tls);
    m_entries.back().wake = wake;
}

void Send_batch::send()
{
    // Bytes sent, or -errno; -EAGAIN for whatever never reached the kernel.
    std::vector<int> results(m_entries.size(), -EAGAIN);
    for (std::size_t first = 0; first < m_entries.size() && t_ring.ready(); first += kRingEntries) {
        const std::size_t count = std::min<std::size_t>(kRingEntries, m_entries.size() - first);
        for (std::size_t i = first; i < first + count; ++i) {
            io_uring_sqe *sqe = io_uring_get_sqe(&t_ring.ring);
            if (sqe == nullptr)
                break; // cannot happen: the ring is empty between batches
            const Entry &entry = m_entries[i];
            // MSG_DONTWAIT: a full socket answers -EAGAIN at once instead of
            // the ring waiting for it.
            io_uring_prep_send(sqe, entry.socket->m_fd, entry.bytes.data(), entry.bytes.size(),
                               MSG_NOSIGNAL | MSG_DONTWAIT);
            io_uring_sqe_set_data64(sqe, i);
        }
        const int submitted = io_uring_submit_and_wait(&t_ring.ring, static_cast<unsigned>(count));
        // Submitted and never reported: the client may have had some of it,
        // so nothing may follow.
        for (std::size_t i = first; i < first + static_cast<std::size_t>(std::max(submitted, 0)); ++i)
            results[i] = -EIO;
        int seen = 0;
        while (seen < submitted) {
            io_uring_cqe *cqe = nullptr;
            const int waited = io_uring_wait_cqe(&t_ring.ring, &cqe);
            if (waited == -EINTR)
                continue;
            if (waited < 0)
                break;
            results[io_uring_cqe_get_data64(cqe)] = cqe->res;
            io_uring_cqe_seen(&t_ring.ring, cqe);
            ++seen;
        }
        if (submitted != static_cast<int>(count) || seen != submitted) {
            // Not knowing what the kernel still holds, use the ring no more;
            // what never reached it is the connections' to send.
            RelayLog::repeated("io_uring failures",
                               std::string("io_uring send failed: ") + std::strerror(submitted < 0 ? -submitted : EIO));
            t_ring.giveUp();
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
