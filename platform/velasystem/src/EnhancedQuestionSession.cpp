#include "SessionState.h"

#include <memory>

namespace Velasystem {

namespace {
// The question's own fields after the base ones, in declaration order.
void writeOwnFields(JournaledCall &call, const EnhancedQuestion &q)
{
    switch (q.typeCode()) {
    case MultichoiceQuestion::TypeCode: {
        const auto &m = static_cast<const MultichoiceQuestion &>(q);
        call << m.numberOfOptions << m.minResponses << m.maxResponses << m.correctAnswer;
        break;
    }
    case SortInOrderQuestion::TypeCode: {
        const auto &s = static_cast<const SortInOrderQuestion &>(q);
        call << s.numberOfOptions << s.minResponses << s.maxResponses << s.correctAnswer;
        break;
    }
    case YesNoQuestion::TypeCode: {
        const auto &y = static_cast<const YesNoQuestion &>(q);
        call << y.dontKnow << y.correctAnswer;
        break;
    }
    case TrueFalseQuestion::TypeCode: {
        const auto &t = static_cast<const TrueFalseQuestion &>(q);
        call << t.dontKnow << t.correctAnswer;
        break;
    }
    case LikertQuestion::TypeCode: {
        const auto &l = static_cast<const LikertQuestion &>(q);
        call << l.scale << l.correctAnswer;
        break;
    }
    case NumericQuestion::TypeCode: {
        const auto &n = static_cast<const NumericQuestion &>(q);
        call << n.maxDigits << n.correctAnswer;
        break;
    }
    case TextQuestion::TypeCode: {
        const auto &t = static_cast<const TextQuestion &>(q);
        call << t.maxLength << t.correctAnswer << t.correctAnswerLatex << t.correctAnswerSource;
        break;
    }
    default: break;
    }
}

bool isKnownType(int typeCode)
{
    return typeCode >= MultichoiceQuestion::TypeCode && typeCode <= SortInOrderQuestion::TypeCode;
}
} // namespace

EnhancedQuestionSession::EnhancedQuestionSession(SessionState *state)
    : d(state)
{}

EnhancedQuestionSession::~EnhancedQuestionSession() = default;

bool EnhancedQuestionSession::startSession(bool resume)
{
    JournaledCall call("enhanced", "startSession");
    d->target(call, true);
    call << resume;
    if (!call.proceed())
        return false;
    d->open = true;
    return true;
}

bool EnhancedQuestionSession::stopSession()
{
    JournaledCall call("enhanced", "stopSession");
    d->target(call);
    if (!call.proceed())
        return false;
    d->open = false;
    return true;
}

bool EnhancedQuestionSession::sendQuestion(quint32 uid, EnhancedQuestion *question)
{
    const std::unique_ptr<EnhancedQuestion> owned(question);
    JournaledCall call("enhanced", "sendQuestion");
    d->target(call);
    call << uid;
    if (!question)
        return false;
    call << question->typeCode() << question->noLatexFound << question->questionNumber << question->questionText
         << question->questionTextAlt << question->option1 << question->option2 << question->option3
         << question->translateAnswer;
    writeOwnFields(call, *question);
    return call.proceed() && isKnownType(question->typeCode());
}

bool EnhancedQuestionSession::sendSessionParameters(quint32 uid, int numberOfQuestions, int timeLimit, bool allowReview,
                                                    const QBitArray &questionMask, int attempts)
{
    JournaledCall call("enhanced", "sendSessionParameters");
    d->target(call);
    call << uid << numberOfQuestions << timeLimit << allowReview << questionMask << attempts;
    return call.proceed();
}

bool EnhancedQuestionSession::sendMessage(quint32 uid, MessageControlFlags flags, const QString &text)
{
    JournaledCall call("enhanced", "sendMessage");
    d->target(call);
    call << uid << int(flags) << text;
    return call.proceed();
}

bool EnhancedQuestionSession::sendPopUpMessage(quint32 uid, bool requireAcknowledge, const QString &text)
{
    JournaledCall call("enhanced", "sendPopUpMessage");
    d->target(call);
    call << uid << requireAcknowledge << text;
    return call.proceed();
}

bool EnhancedQuestionSession::sendNoMoreQuestionsNotification(quint32 uid, const QString &text)
{
    JournaledCall call("enhanced", "sendNoMoreQuestionsNotification");
    d->target(call);
    call << uid << text;
    return call.proceed();
}

} // namespace Velasystem
