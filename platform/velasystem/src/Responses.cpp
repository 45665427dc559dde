#include "Responses.h"

#include <velasystem/Hub.h>

namespace Velasystem {

namespace {
struct KindWord
{
    const char *word;
    QuestionKind kind;
};
const KindWord kindWords[] = {
    {"multichoice", QuestionKind::Multichoice},
    {"sortinorder", QuestionKind::SortInOrder},
    {"likert", QuestionKind::Likert},
    {"yesno", QuestionKind::YesNo},
    {"truefalse", QuestionKind::TrueFalse},
    {"numeric", QuestionKind::Numeric},
    {"text", QuestionKind::Text},
};
} // namespace

bool questionKindFromWord(const QString &word, QuestionKind *kind)
{
    for (const KindWord &row : kindWords) {
        if (word == QLatin1String(row.word)) {
            *kind = row.kind;
            return true;
        }
    }
    return false;
}

bool isValueKind(QuestionKind kind)
{
    return kind == QuestionKind::YesNo || kind == QuestionKind::TrueFalse || kind == QuestionKind::Likert;
}

void emitResponse(Hub *hub, QuestionKind kind, quint32 uid, int questionId, const Response &response)
{
    switch (kind) {
    case QuestionKind::Multichoice: emit hub->multichoiceSessionResponse(hub, uid, questionId, response.text); break;
    case QuestionKind::SortInOrder: emit hub->sortInOrderSessionResponse(hub, uid, questionId, response.text); break;
    case QuestionKind::Numeric: emit hub->numericSessionResponse(hub, uid, questionId, response.text); break;
    case QuestionKind::Text: emit hub->textSessionResponse(hub, uid, questionId, response.text, response.valid); break;
    case QuestionKind::YesNo:
        emit hub->yesNoSessionResponse(hub, uid, questionId, static_cast<Hub::YesNoResponse>(response.value));
        break;
    case QuestionKind::TrueFalse:
        emit hub->trueFalseSessionResponse(hub, uid, questionId, static_cast<Hub::TrueFalseResponse>(response.value));
        break;
    case QuestionKind::Likert: emit hub->likertSessionResponse(hub, uid, questionId, response.value); break;
    }
}

} // namespace Velasystem
