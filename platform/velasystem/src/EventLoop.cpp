#include "EventLoop.h"

#include <QtGlobal>

#include <cerrno>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <vector>

namespace Velasystem {

namespace {
thread_local bool onLoopThread = false;
}

EventLoop::EventLoop()
    : m_wakeFd(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK))
{
    if (m_wakeFd < 0)
        qFatal("velasystem: cannot create the library thread's wake-up descriptor");
}

EventLoop::~EventLoop()
{
    stop();
    ::close(m_wakeFd);
}

void EventLoop::start()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_thread.joinable())
        return;
    m_accepting = true;
    m_thread = std::thread([this] { run(); });
}

void EventLoop::stop()
{
    if (!m_thread.joinable())
        return;
    m_stopping = true;
    // Ending the process from the library thread itself: it cannot wait for
    // itself, and it stops at its next turn anyway.
    if (isCurrent())
        return;
    const quint64 one = 1;
    (void)!::write(m_wakeFd, &one, sizeof one);
    m_thread.join();
}

bool EventLoop::isCurrent() const
{
    return onLoopThread;
}

bool EventLoop::enqueue(Task &task)
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (!m_accepting)
            return false;
        m_tasks.push_back(std::move(task));
    }
    const quint64 one = 1;
    (void)!::write(m_wakeFd, &one, sizeof one);
    return true;
}

void EventLoop::post(Task task)
{
    enqueue(task);
}

void EventLoop::runAndWait(const Task &task)
{
    if (isCurrent()) {
        task();
        return;
    }
    std::mutex doneMutex;
    std::condition_variable doneChanged;
    bool done = false;
    Task queued = [&] {
        task();
        std::lock_guard<std::mutex> lock(doneMutex);
        done = true;
        doneChanged.notify_one();
    };
    if (!enqueue(queued)) {
        // No thread to run it on: the caller is the only one touching the
        // library now.
        task();
        return;
    }
    std::unique_lock<std::mutex> lock(doneMutex);
    doneChanged.wait(lock, [&] { return done; });
}

void EventLoop::startTimer(int delayMs, Task task)
{
    m_timers.emplace(Clock::now() + std::chrono::milliseconds(delayMs), std::move(task));
}

void EventLoop::watch(int fd, short events, FdHandler handler)
{
    m_watches[fd] = Watch{events, ++m_nextSerial, std::move(handler)};
}

void EventLoop::changeEvents(int fd, short events)
{
    auto it = m_watches.find(fd);
    if (it != m_watches.end())
        it->second.events = events;
}

void EventLoop::unwatch(int fd)
{
    m_watches.erase(fd);
}

int EventLoop::pollTimeoutMs() const
{
    if (m_timers.empty())
        return -1;
    const auto wait = m_timers.begin()->first - Clock::now();
    if (wait <= Clock::duration::zero())
        return 0;
    // Round up, so a timer is never woken for too early and spun on.
    return static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(wait).count());
}

void EventLoop::runTasks()
{
    quint64 count = 0;
    (void)!::read(m_wakeFd, &count, sizeof count);
    std::deque<Task> tasks;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        tasks.swap(m_tasks);
    }
    for (Task &task : tasks)
        task();
}

void EventLoop::runTimers()
{
    const auto now = Clock::now();
    while (!m_timers.empty() && m_timers.begin()->first <= now) {
        Task task = std::move(m_timers.begin()->second);
        m_timers.erase(m_timers.begin());
        task();
    }
}

void EventLoop::run()
{
    onLoopThread = true;
    std::vector<pollfd> fds;
    std::vector<quint64> serials;
    while (!m_stopping) {
        fds.assign(1, pollfd{m_wakeFd, POLLIN, 0});
        serials.assign(1, 0);
        for (const auto &[fd, w] : m_watches) {
            fds.push_back(pollfd{fd, w.events, 0});
            serials.push_back(w.serial);
        }
        const int ready = ::poll(fds.data(), fds.size(), pollTimeoutMs());
        if (ready < 0 && errno != EINTR)
            qFatal("velasystem: poll failed on the library thread");
        if (fds[0].revents)
            runTasks();
        for (size_t i = 1; i < fds.size(); ++i) {
            if (!fds[i].revents)
                continue;
            // A handler may have closed this descriptor, or another one
            // reused its number, since the poll.
            auto it = m_watches.find(fds[i].fd);
            if (it != m_watches.end() && it->second.serial == serials[i]) {
                const FdHandler handler = it->second.handler;
                handler(fds[i].revents);
            }
        }
        runTimers();
    }
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_accepting = false;
    }
    // Whoever waits in runAndWait gets its task run.
    runTasks();
    m_timers.clear();
    onLoopThread = false;
}

} // namespace Velasystem
