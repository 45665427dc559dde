#pragma once

#include <algorithm>
#include <chrono>

// Bounds the rate of some event: up to `burst` at once, `perSecond` on
// average. Taking may run into debt, so whoever took more than there was
// waits for the debt to be paid back before taking again.
class Token_bucket
{
public:
    using Clock = std::chrono::steady_clock;

    Token_bucket(double perSecond, double burst)
        : m_rate(perSecond)
        , m_burst(burst)
        , m_tokens(burst)
    {}

    void take(double count, Clock::time_point now)
    {
        refill(now);
        m_tokens -= count;
    }

    // How long until there is something to take again; zero when there is now.
    std::chrono::nanoseconds wait(Clock::time_point now)
    {
        refill(now);
        if (m_tokens > 0)
            return std::chrono::nanoseconds::zero();
        return std::chrono::nanoseconds(static_cast<long long>((1 - m_tokens) / m_rate * 1e9));
    }

private:
    void refill(Clock::time_point now)
    {
        if (m_last != Clock::time_point()) {
            const double seconds = std::chrono::duration<double>(now - m_last).count();
            m_tokens = std::min(m_burst, m_tokens + seconds * m_rate);
        }
        m_last = now;
    }

    double m_rate;
    double m_burst;
    double m_tokens;
    Clock::time_point m_last;
};
