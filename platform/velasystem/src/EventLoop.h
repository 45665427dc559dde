#pragma once

#include <QtGlobal>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <thread>

namespace Velasystem {

// The library's own thread, like the one a hardware library runs: a poll()
// loop over the control sockets, a task queue and timers. It needs no Qt
// event loop, so the library works, and shuts down, with or without a
// QCoreApplication. Tasks are handed over through a queue under a
// std::mutex, which ThreadSanitizer can see.
class EventLoop
{
public:
    using Task = std::function<void()>;
    using FdHandler = std::function<void(short revents)>;

    static EventLoop &get();

    EventLoop();
    ~EventLoop();
    EventLoop(const EventLoop &) = delete;
    EventLoop &operator=(const EventLoop &) = delete;

    void start();
    // Runs what is queued, ends the thread and waits for it.
    void stop();
    bool isCurrent() const;

    // Any thread. Dropped once the loop has stopped.
    void post(Task task);
    // Any thread: runs the task on the loop and returns when it is done.
    // Runs it at once on the loop thread itself, or when no loop runs.
    void runAndWait(const Task &task);

    // Loop thread only.
    void startTimer(int delayMs, Task task);
    void watch(int fd, short events, FdHandler handler);
    void changeEvents(int fd, short events);
    void unwatch(int fd);

private:
    using Clock = std::chrono::steady_clock;
    struct Watch
    {
        short events;
        quint64 serial;
        FdHandler handler;
    };

    bool enqueue(Task &task);
    void run();
    void runTasks();
    void runTimers();
    int pollTimeoutMs() const;

    int m_wakeFd = -1;
    std::thread m_thread;
    std::atomic<bool> m_stopping{false};

    std::mutex m_mutex;
    bool m_accepting = false;
    std::deque<Task> m_tasks;

    // Loop thread only.
    std::multimap<Clock::time_point, Task> m_timers;
    std::map<int, Watch> m_watches;
    quint64 m_nextSerial = 0;
};

} // namespace Velasystem
