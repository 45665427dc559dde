#pragma once

#include <deque>
#include <mutex>
#include <utility>

// Items one thread hands to another. The receiving side is woken by one
// argument-less queued call per item, so each item keeps its place among the
// other queued signals of the sender, and the item itself travels here under
// a mutex: copying arguments through Qt's queued delivery costs more than the
// work on a pen sample, and happens behind locks ThreadSanitizer cannot see.
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

private:
    std::mutex m_mutex;
    std::deque<T> m_items;
};
