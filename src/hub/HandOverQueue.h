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
    void push(T item)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_items.push_back(std::move(item));
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
