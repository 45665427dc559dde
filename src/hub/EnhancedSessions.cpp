#include "EnhancedSessions.h"

#include <velasystem/EnhancedQuestionSession.h>
#include <velasystem/Hub.h>
#include <velasystem/VelaSystem.h>

using Velasystem::EnhancedQuestionSession;

namespace {

// Multiple choice and sort in order carry the same fields, as do yes/no and
// true/false.
template <typename Question>
Question *choiceQuestion(int options, int minResponses, int maxResponses, const QString &answer)
{
    auto *q = new Question;
    q->numberOfOptions = options;
    q->minResponses = minResponses;
    q->maxResponses = maxResponses;
    q->correctAnswer = answer;
    return q;
}

template <typename Question>
Question *twoWayQuestion(bool dontKnow, int answer)
{
    auto *q = new Question;
    q->dontKnow = dontKnow;
    q->correctAnswer = answer;
    return q;
}

const QString LatexStart = QStringLiteral("<LaTeX>");
const QString LatexEnd = QStringLiteral("</LaTeX>");

} // namespace

EnhancedSessions::EnhancedSessions(IVelaRelayClient &out)
    : m_out(out)
{}

EnhancedSessions::~EnhancedSessions()
{
    // The library outlives this object.
    if (m_session)
        disconnect(m_session, nullptr, this, nullptr);
}

quint32 EnhancedSessions::sessionIdentifier(EnhancedQuestionSession *session) const
{
    return m_sessions.key(session, 0);
}

EnhancedQuestionSession *EnhancedSessions::sessionFor(quint32 sessionId) const
{
    return m_sessions.value(sessionId, nullptr);
}

void EnhancedSessions::connectSession(EnhancedQuestionSession *s)
{
    // A second start of the same session must not forward each request twice.
    const auto unique = Qt::UniqueConnection;
    using S = EnhancedQuestionSession;
    using E = EnhancedSessions;
    connect(s, &S::getSessionParameters, this, &E::handleGetSessionParameters, unique);
    connect(s, &S::getQuestion, this, &E::handleGetQuestion, unique);
    connect(s, &S::multichoiceAnswer, this, &E::handleMultichoiceAnswer, unique);
    connect(s, &S::yesNoAnswer, this, &E::handleYesNoAnswer, unique);
    connect(s, &S::trueFalseAnswer, this, &E::handleTrueFalseAnswer, unique);
    connect(s, &S::likertAnswer, this, &E::handleLikertAnswer, unique);
    connect(s, &S::numericAnswer, this, &E::handleNumericAnswer, unique);
    connect(s, &S::textAnswer, this, &E::handleTextAnswer, unique);
    connect(s, &S::sortInOrderAnswer, this, &E::handleSortInOrderAnswer, unique);
    connect(s, &S::deviceShutDown, this, &E::handleDeviceShutDown, unique);
}

void EnhancedSessions::start(Velasystem::Hub *votingHub, quint8 start)
{
    if (!votingHub)
        return;
    EnhancedQuestionSession *session = votingHub->enhancedQuestionSession();
    // A session of a hub that is no longer the voting hub ends before
    // another one starts.
    if (m_session && m_session != session)
        stop();
    m_session = session;
    m_hub = votingHub;
    if (!m_session) {
        emit m_out.sendEnhancedSessionID(0);
        return;
    }
    if (start != 0) {
        connectSession(m_session);
        if (m_session->startSession(false)) {
            quint32 id = sessionIdentifier(m_session);
            if (id == 0) {
                id = ++m_nextSessionId;
                m_sessions.insert(id, m_session);
            }
            emit m_out.sendEnhancedSessionID(id);
            return;
        }
        // A failed start leaves no session, so the client learns 0, the
        // identifier of none.
    }
    stop();
    emit m_out.sendEnhancedSessionID(0);
}

void EnhancedSessions::stop()
{
    if (!m_session)
        return;
    m_session->stopSession();
    forget();
}

void EnhancedSessions::forget()
{
    disconnect(m_session, nullptr, this, nullptr);
    m_sessions.remove(sessionIdentifier(m_session));
    m_session = nullptr;
    m_hub = nullptr;
}

void EnhancedSessions::hubGone(Velasystem::Hub *hub)
{
    // The session object of a hub that has gone takes no more calls; the
    // clients learn the session ended as when it is stopped.
    if (!m_session || m_hub != hub)
        return;
    forget();
    emit m_out.sendEnhancedSessionID(0);
}

QJsonObject EnhancedSessions::status() const
{
    const quint32 id = m_session ? sessionIdentifier(m_session) : 0;
    if (id == 0)
        return QJsonObject{{"running", false}};
    return QJsonObject{{"running", true}, {"id", double(id)}, {"hub", m_hub->hubIndex()}};
}

void EnhancedSessions::sendSessionParameters(quint32 sessionId, quint32 uid, int count, int e, bool flag,
                                             const QBitArray &questions, int g)
{
    if (EnhancedQuestionSession *session = sessionFor(sessionId))
        session->sendSessionParameters(uid, count, e, flag, questions, g);
}

void EnhancedSessions::sendQuestion(const EnhancedQuestionHeader &header, Velasystem::EnhancedQuestion *question)
{
    EnhancedQuestionSession *session = sessionFor(header.sessionId);
    if (!session) {
        delete question;
        return;
    }
    question->questionNumber = header.questionNumber;
    question->option1 = header.optionFlags[0];
    question->option2 = header.optionFlags[1];
    question->option3 = header.optionFlags[2];
    const bool latex = Velasystem::VelaSystem::translateTextMathmlToLatex(header.text, question->questionText,
                                                                          LatexStart, LatexEnd, true, true);
    const bool plain = Velasystem::VelaSystem::translateTextMathmlToLatex(header.text, question->questionTextAlt,
                                                                          LatexStart, LatexEnd, false, true);
    // A text question whose answer is translated has its flag set from the
    // answer alone.
    if (question->typeCode() != Velasystem::TextQuestion::TypeCode || !question->translateAnswer)
        question->noLatexFound = !latex && !plain;
    session->sendQuestion(header.uid, question);
}

void EnhancedSessions::sendMultichoiceQuestion(const EnhancedQuestionHeader &header, int a, int b, int c,
                                               const QString &options)
{
    sendQuestion(header, choiceQuestion<Velasystem::MultichoiceQuestion>(a, b, c, options));
}

void EnhancedSessions::sendSortInOrderQuestion(const EnhancedQuestionHeader &header, int a, int b, int c,
                                               const QString &options)
{
    sendQuestion(header, choiceQuestion<Velasystem::SortInOrderQuestion>(a, b, c, options));
}

void EnhancedSessions::sendYesNoQuestion(const EnhancedQuestionHeader &header, bool flag, int n)
{
    sendQuestion(header, twoWayQuestion<Velasystem::YesNoQuestion>(flag, n));
}

void EnhancedSessions::sendTrueFalseQuestion(const EnhancedQuestionHeader &header, bool flag, int n)
{
    sendQuestion(header, twoWayQuestion<Velasystem::TrueFalseQuestion>(flag, n));
}

void EnhancedSessions::sendLikertQuestion(const EnhancedQuestionHeader &header, int a, int b)
{
    auto *q = new Velasystem::LikertQuestion;
    q->scale = a;
    q->correctAnswer = b;
    sendQuestion(header, q);
}

void EnhancedSessions::sendNumericQuestion(const EnhancedQuestionHeader &header, int n, const QString &answer)
{
    auto *q = new Velasystem::NumericQuestion;
    q->maxDigits = n;
    q->correctAnswer = answer;
    sendQuestion(header, q);
}

void EnhancedSessions::sendTextQuestion(const EnhancedQuestionHeader &header, int n, const QString &answer,
                                        bool translateAnswer)
{
    auto *q = new Velasystem::TextQuestion;
    q->translateAnswer = translateAnswer;
    q->maxLength = n;
    q->correctAnswer = q->correctAnswerLatex = q->correctAnswerSource = answer;
    if (translateAnswer) {
        const bool latex =
            Velasystem::VelaSystem::translateTextMathmlToLatex(answer, q->correctAnswerLatex, true, false);
        const bool plain = Velasystem::VelaSystem::translateTextMathmlToLatex(answer, q->correctAnswer, false, false);
        q->noLatexFound = !latex && !plain;
    }
    sendQuestion(header, q);
}

void EnhancedSessions::sendMessage(quint32 sessionId, quint32 uid, int flags, const QString &text)
{
    if (EnhancedQuestionSession *session = sessionFor(sessionId))
        session->sendMessage(uid, Velasystem::MessageControlFlags(flags), text);
}

void EnhancedSessions::sendPopup(quint32 sessionId, quint32 uid, bool flag, const QString &text)
{
    if (EnhancedQuestionSession *session = sessionFor(sessionId))
        session->sendPopUpMessage(uid, flag, text);
}

void EnhancedSessions::sendNoMoreQuestions(quint32 sessionId, quint32 uid, const QString &text)
{
    if (EnhancedQuestionSession *session = sessionFor(sessionId))
        session->sendNoMoreQuestionsNotification(uid, text);
}

void EnhancedSessions::handleGetSessionParameters(EnhancedQuestionSession *session, quint32 uid, int localeId)
{
    emit m_out.sendGetSessionParameters(sessionIdentifier(session), uid, localeId);
}

void EnhancedSessions::handleGetQuestion(EnhancedQuestionSession *session, quint32 uid, int questionNumber)
{
    emit m_out.sendGetQuestion(sessionIdentifier(session), uid, questionNumber);
}

void EnhancedSessions::handleMultichoiceAnswer(EnhancedQuestionSession *session, quint32 uid, int questionNumber,
                                               const QString &answer)
{
    emit m_out.sendMultichoiceAnswer(sessionIdentifier(session), uid, questionNumber, answer);
}

void EnhancedSessions::handleYesNoAnswer(EnhancedQuestionSession *session, quint32 uid, int questionNumber,
                                         Velasystem::YesNoQuestion::Answer answer)
{
    emit m_out.sendYesNoAnswer(sessionIdentifier(session), uid, questionNumber, int(answer));
}

void EnhancedSessions::handleTrueFalseAnswer(EnhancedQuestionSession *session, quint32 uid, int questionNumber,
                                             Velasystem::TrueFalseQuestion::Answer answer)
{
    emit m_out.sendTrueFalseAnswer(sessionIdentifier(session), uid, questionNumber, int(answer));
}

void EnhancedSessions::handleLikertAnswer(EnhancedQuestionSession *session, quint32 uid, int questionNumber,
                                          int likertValue)
{
    emit m_out.sendLikertAnswer(sessionIdentifier(session), uid, questionNumber, likertValue);
}

void EnhancedSessions::handleNumericAnswer(EnhancedQuestionSession *session, quint32 uid, int questionNumber,
                                           const QString &answer)
{
    emit m_out.sendNumericAnswer(sessionIdentifier(session), uid, questionNumber, answer);
}

void EnhancedSessions::handleTextAnswer(EnhancedQuestionSession *session, quint32 uid, int questionNumber,
                                        const QString &answer, bool bIsValid)
{
    emit m_out.sendTextAnswer(sessionIdentifier(session), uid, questionNumber, answer, bIsValid);
}

void EnhancedSessions::handleSortInOrderAnswer(EnhancedQuestionSession *session, quint32 uid, int questionNumber,
                                               const QString &answer)
{
    emit m_out.sendSortInOrderAnswer(sessionIdentifier(session), uid, questionNumber, answer);
}

void EnhancedSessions::handleDeviceShutDown(EnhancedQuestionSession *session, quint32 uid)
{
    emit m_out.sendDeviceShutDown(sessionIdentifier(session), uid);
}
