#pragma once

#include "Responses.h"

#include <random>

namespace Velasystem {

// The question a hub is running, as far as answering it matters.
struct SimpleQuestion
{
    QuestionKind kind = QuestionKind::Multichoice;
    int questionId = 0;
    int options = 0;   // multiple choice and sort in order; Likert: the scale
    int responses = 0; // multiple choice and sort in order
    bool dontKnow = false;
};

// While on, every expression device answers each question that starts, once,
// after a random delay. Guarded by the model lock. The generation changes
// whenever the setting does, so answers planned before it are not given.
class AutoAnswer
{
public:
    static constexpr int DefaultMaxDelayMs = 3000;

    AutoAnswer();

    bool enabled() const { return m_enabled; }
    quint64 generation() const { return m_generation; }
    void enable(int maxDelayMs);
    void disable();

    int nextDelayMs();
    // A plausible answer of the question's kind.
    Response answer(const SimpleQuestion &question);

private:
    int pick(int low, int high);

    bool m_enabled = false;
    int m_maxDelayMs = DefaultMaxDelayMs;
    quint64 m_generation = 0;
    std::mt19937 m_random;
};

} // namespace Velasystem
