#pragma once

#include <QString>

namespace Velasystem {

class Hub;

// The seven kinds of simple question, in the words the control commands use.
enum class QuestionKind {
    Multichoice,
    SortInOrder,
    Likert,
    YesNo,
    TrueFalse,
    Numeric,
    Text
};

bool questionKindFromWord(const QString &word, QuestionKind *kind);
// Kinds whose answer is a number (yes/no, true/false, Likert) rather than text.
bool isValueKind(QuestionKind kind);

struct Response
{
    QString text;
    int value = 0;
    bool valid = true;
};

// Emits the hub signal of the kind. Library thread only, without the model lock.
void emitResponse(Hub *hub, QuestionKind kind, quint32 uid, int questionId, const Response &response);

} // namespace Velasystem
