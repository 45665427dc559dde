#pragma once

#include <deque>
#include <mutex>
#include <utility>

// Items one thread hands to another, each with one argument-less queued call
// to wake the receiver; why this and not Qt's queued arguments is in
// docs/ARCHITECTURE.md (Threads).
template <typename T>
class HandOverQueue
{
public:
    // Whether the queue was empty: a receiver that takes everything at once
    // needs waking only then.
    bool push(T item)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_items.push_back(std::move(item));
        return m_items.size() == 1;
    }

    std::deque<T> takeAll()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return std::exchange(m_items, {});
    }

    bool pop(T &item)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_items.empty())
            return false;
        item = std::move(m_items.front());
        m_items.pop_front();
        return true;
    }

    bool empty()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_items.empty();
    }

private:
    std::mutex m_mutex;
    std::deque<T> m_items;
};
