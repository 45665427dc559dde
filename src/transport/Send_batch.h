#pragma once

#include <cstddef>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

class Libressl_socket;

// The io_uring instance a server's batches send through: one descriptor,
// made with the server, used by one batch at a time.
class Send_ring
{
public:
    Send_ring();
    ~Send_ring();

    Send_ring(const Send_ring &) = delete;
    Send_ring &operator=(const Send_ring &) = delete;

private:
    friend class Send_batch;
    struct Ring;

    std::mutex m_mutex;
    // Guarded by m_mutex; nullptr when io_uring is not to be had.
    std::unique_ptr<Ring> m_ring;
};

// While one lives on a thread, the TLS records that thread writes straight
// into idle connections are held back and leave together when it ends, in
// one system call (one per 32 clients). Written one by one, the first write
// woke the client's reader, which the kernel puts on the writer's CPU and
// which then ran before the next write: a frame to N clients cost the writer
// up to N preemptions, each with its caches cold again (docs/ARCHITECTURE.md,
// "A pen sample's walk"). Once they have left, the thread yields, so that a
// reader they woke on its vCPU reads before the thread's own remaining work.
// Each connection's TLS lock is held from its record's making to its sending,
// so nothing overtakes it. Without io_uring (an old kernel, a seccomp filter
// that refuses it) a batch does nothing and writes go out as they are made.
class Send_batch
{
public:
    // Waits for another thread's batch on the same ring to end.
    explicit Send_batch(Send_ring &ring);
    // Sends everything gathered; what a socket does not take at once is left
    // to its connection's thread.
    ~Send_batch();

    Send_batch(const Send_batch &) = delete;
    Send_batch &operator=(const Send_batch &) = delete;

    // The batch gathering on this thread, or nullptr.
    static Send_batch *current();

private:
    friend class Libressl_socket;

    struct Entry
    {
        Libressl_socket *socket;
        std::string bytes;
        std::unique_lock<std::mutex> tls;
        bool wake = false;
    };

    // From the connection's write callback, under its TLS lock.
    void add(Libressl_socket *socket, const void *data, std::size_t size);
    // Whether add() took bytes of this socket that still wait in the batch.
    bool holds(const Libressl_socket *socket) const;
    // Whether the batch holds this socket's TLS lock.
    bool locks(const Libressl_socket *socket) const;
    // After the record is made: the batch keeps the TLS lock until it is sent.
    void keep(std::unique_lock<std::mutex> &&tls, bool wake);
    void send();

    Send_ring &m_ring;
    // Taken before any TLS lock, so a batch never waits while it holds one;
    // held only by the batch that gathers (none inside another, none without
    // a ring).
    std::unique_lock<std::mutex> m_using;
    std::vector<Entry> m_entries;
};
