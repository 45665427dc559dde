#include "AutoAnswer.h"

#include <algorithm>
#include <numeric>

namespace Velasystem {

namespace {
const char *const sampleTexts[] = {"Paris", "photosynthesis", "42 km", "blue", "I think so"};
}

AutoAnswer::AutoAnswer()
    : m_random(std::random_device{}())
{}

void AutoAnswer::enable(int maxDelayMs)
{
    m_enabled = true;
    m_maxDelayMs = maxDelayMs;
    ++m_generation;
}

void AutoAnswer::disable()
{
    m_enabled = false;
    ++m_generation;
}

int AutoAnswer::pick(int low, int high)
{
    return std::uniform_int_distribution<int>(low, high)(m_random);
}

int AutoAnswer::nextDelayMs()
{
    return pick(0, m_maxDelayMs);
}

Response AutoAnswer::answer(const SimpleQuestion &question)
{
    Response response;
    // Option letters A, B, ...; a question without a sensible count gets four.
    const int options = question.options > 0 ? std::min(question.options, 26) : 4;
    switch (question.kind) {
    case QuestionKind::Multichoice: {
        const int most = question.responses > 0 ? std::min(question.responses, options) : 1;
        std::vector<int> letters(static_cast<size_t>(options));
        std::iota(letters.begin(), letters.end(), 0);
        std::shuffle(letters.begin(), letters.end(), m_random);
        letters.resize(static_cast<size_t>(pick(1, most)));
        std::sort(letters.begin(), letters.end());
        for (int letter : letters)
            response.text += QChar('A' + letter);
        break;
    }
    case QuestionKind::SortInOrder: {
        std::vector<int> letters(static_cast<size_t>(options));
        std::iota(letters.begin(), letters.end(), 0);
        std::shuffle(letters.begin(), letters.end(), m_random);
        for (int letter : letters)
            response.text += QChar('A' + letter);
        break;
    }
    case QuestionKind::Likert: response.value = pick(1, question.options > 0 ? question.options : 5); break;
    case QuestionKind::YesNo:
    case QuestionKind::TrueFalse: response.value = pick(0, question.dontKnow ? 2 : 1); break;
    case QuestionKind::Numeric: response.text = QString::number(pick(0, 100)); break;
    case QuestionKind::Text:
        response.text = QLatin1String(sampleTexts[pick(0, static_cast<int>(std::size(sampleTexts)) - 1)]);
        break;
    }
    return response;
}

} // namespace Velasystem
