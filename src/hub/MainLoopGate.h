#pragma once

#include <mutex>

// Held by the main thread whenever it runs relay code: while it starts and
// stops, and around every event it handles. Asleep in its event loop it holds
// nothing, and another thread that takes the gate then may do the main
// thread's work itself, on the main thread's state, until it lets go: a lone
// pen sample leaves that way without waking the main thread. Who holds it and
// why is in docs/ARCHITECTURE.md (Threads).
class MainLoopGate
{
public:
    // Main thread only; holds nest.
    void enter()
    {
        if (m_depth++ == 0)
            m_mutex.lock();
    }
    void leave()
    {
        if (--m_depth == 0)
            m_mutex.unlock();
    }

    // Any other thread. Never waits: a busy main thread is left to do the
    // work itself.
    bool tryPass() { return m_mutex.try_lock(); }
    void endPass() { m_mutex.unlock(); }

private:
    std::mutex m_mutex;
    int m_depth = 0; // main thread only
};
