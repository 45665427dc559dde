// The voting side of the hub adapter: simple questions, enhanced question
// sessions, registration and naming of learner devices.

#include "VelaSystemClient.h"

#include <velasystem/EnhancedQuestionSession.h>
#include <velasystem/VelaSystem.h>
#include <velasystem/VelahubExpressionNamingSession.h>
#include <velasystem/VelahubRegistrationSession.h>

using Velasystem::EnhancedQuestionSession;
using Velasystem::Hub;

namespace {

// The hub's display option, time unit and duration for a simple question;
// answers come through the hub's signals, never a callback.
constexpr int DisplayOption = 2;
constexpr int TimeUnit = 0;
constexpr int Duration = 0;
constexpr int MaxCharacters = 255;

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

// Simple questions --------------------------------------------------------

void VelaSystemClient::askQuestion(int questionType, QuestionParameters p)
{
    if (m_questionInProgress || !m_votingHub)
        return;
    m_votingHub->stopSession();

    bool started = false;
    switch (questionType) {
    case MultipleChoice:
        started = m_votingHub->startMultichoiceSession(p.questionId, p.numberOfOptions, p.numberOfResponses,
                                                       DisplayOption, TimeUnit, Duration, nullptr, nullptr);
        break;
    case SortInOrder:
        started = m_votingHub->startSortInOrderSession(p.questionId, p.numberOfOptions, p.numberOfResponses,
                                                       DisplayOption, TimeUnit, Duration, nullptr, nullptr);
        break;
    case Likert:
        started =
            m_votingHub->startLikertSession(p.questionId, p.numberOfOptions, TimeUnit, Duration, nullptr, nullptr);
        break;
    case YesNo:
        started = m_votingHub->startYesNoSession(p.questionId, p.dontKnow, TimeUnit, Duration, nullptr, nullptr);
        break;
    case TrueFalse:
        started = m_votingHub->startTrueFalseSession(p.questionId, p.dontKnow, TimeUnit, Duration, nullptr, nullptr);
        break;
    case Numeric:
        started = m_votingHub->startNumericSession(p.questionId, QString(), MaxCharacters, TimeUnit, Duration, nullptr,
                                                   nullptr);
        break;
    case Text:
        started = m_votingHub->startTextSession(p.questionId, QString(), MaxCharacters, TimeUnit, Duration, false,
                                                nullptr, nullptr);
        break;
    default: return;
    }
    if (!started)
        return;
    m_pendingResponders = m_registeredDevices;
    m_collectingResponses = true;
    m_questionInProgress = true;
    m_questionHub = m_votingHub;
    ++m_questionGeneration;
    emit questionSession(true);
}

void VelaSystemClient::stopQuestion()
{
    if (m_votingHub)
        m_votingHub->stopSession();
    endQuestion();
}

void VelaSystemClient::endQuestion()
{
    m_questionInProgress = false;
    m_collectingResponses = false;
    ++m_questionGeneration;
    emit questionSession(false);
}

void VelaSystemClient::stringResponseReceived(Hub *, quint32 uid, int questionId, const QString &response)
{
    postAnswer(uid, questionId, response);
}

void VelaSystemClient::yesNoReceived(Hub *, quint32 uid, int questionId, Hub::YesNoResponse response)
{
    postAnswer(uid, questionId,
               response == 1       ? QStringLiteral("Yes")
                   : response == 0 ? QStringLiteral("No")
                                   : QStringLiteral("Don't Know"));
}

void VelaSystemClient::trueFalseReceived(Hub *, quint32 uid, int questionId, Hub::TrueFalseResponse response)
{
    postAnswer(uid, questionId,
               response == 1       ? QStringLiteral("True")
                   : response == 0 ? QStringLiteral("False")
                                   : QStringLiteral("Don't Know"));
}

void VelaSystemClient::likertScaleReceived(Hub *, quint32 uid, int questionId, int value)
{
    postAnswer(uid, questionId, QString::number(value));
}

void VelaSystemClient::postAnswer(quint32 uid, int questionId, const QString &response)
{
    // The answer signals are delivered on the library's thread; the question
    // state belongs to this object's thread. Handed-over answers keep their
    // order, and each carries the question it arrived during: one that is
    // handled only after that question ended must not count against the next.
    m_answers.push({m_questionGeneration.load(), uid, questionId, response});
    m_takeAnswer.invoke(this, Qt::QueuedConnection);
}

void VelaSystemClient::takeAnswer()
{
    Answer a;
    if (m_answers.pop(a) && a.generation == m_questionGeneration.load())
        acceptAnswer(a.uid, a.questionId, a.response);
}

void VelaSystemClient::acceptAnswer(quint32 uid, int questionId, const QString &response)
{
    const auto pending = m_pendingResponders.constFind(uid);
    if (!m_collectingResponses || pending == m_pendingResponders.constEnd())
        return;
    const QString name = pending.value();
    m_pendingResponders.remove(uid);
    emit questionResponse(uid, questionId, response, name);
    if (m_pendingResponders.isEmpty())
        endQuestion();
}

void VelaSystemClient::addDevices(Hub *hub)
{
    QList<Velasystem::Device *> devices;
    if (!hub->getDeviceList(Velasystem::Device::Velaexpression, devices))
        return;
    for (const Velasystem::Device *device : devices) {
        if (!m_registeredDevices.contains(device->uid()))
            m_registeredDevices.insert(device->uid(), device->name());
    }
}

void VelaSystemClient::getRegisteredDevices()
{
    m_registeredDevices.clear();
    for (Hub *hub : m_hubs.hubs())
        addDevices(hub);
    QList<QuestionDevice> devices;
    devices.reserve(m_registeredDevices.size());
    for (auto it = m_registeredDevices.constBegin(); it != m_registeredDevices.constEnd(); ++it)
        devices.append(QuestionDevice{it.key(), it.value()});
    emit questionDevices(devices);
}

// Enhanced question sessions -------------------------------------------------

quint32 VelaSystemClient::sessionIdentifier(EnhancedQuestionSession *session) const
{
    return m_enhancedSessions.key(session, 0);
}

EnhancedQuestionSession *VelaSystemClient::sessionFor(quint32 sessionId) const
{
    return m_enhancedSessions.value(sessionId, nullptr);
}

void VelaSystemClient::connectEnhancedSession(EnhancedQuestionSession *s)
{
    // A second start of the same session must not forward each request twice.
    const auto unique = Qt::UniqueConnection;
    using S = EnhancedQuestionSession;
    using C = VelaSystemClient;
    connect(s, &S::getSessionParameters, this, &C::handleGetSessionParameters, unique);
    connect(s, &S::getQuestion, this, &C::handleGetQuestion, unique);
    connect(s, &S::multichoiceAnswer, this, &C::handleMultichoiceAnswer, unique);
    connect(s, &S::yesNoAnswer, this, &C::handleYesNoAnswer, unique);
    connect(s, &S::trueFalseAnswer, this, &C::handleTrueFalseAnswer, unique);
    connect(s, &S::likertAnswer, this, &C::handleLikertAnswer, unique);
    connect(s, &S::numericAnswer, this, &C::handleNumericAnswer, unique);
    connect(s, &S::textAnswer, this, &C::handleTextAnswer, unique);
    connect(s, &S::sortInOrderAnswer, this, &C::handleSortInOrderAnswer, unique);
    connect(s, &S::deviceShutDown, this, &C::handleDeviceShutDown, unique);
}

void VelaSystemClient::disconnectEnhancedSession(EnhancedQuestionSession *session)
{
    disconnect(session, nullptr, this, nullptr);
}

void VelaSystemClient::startEnhancedSession(quint8 start)
{
    if (!m_votingHub)
        return;
    EnhancedQuestionSession *session = m_votingHub->enhancedQuestionSession();
    // One session at a time: a session of a hub that is no longer the voting
    // hub ends before another one starts.
    if (m_enhancedSession && m_enhancedSession != session)
        stopEnhancedSession();
    m_enhancedSession = session;
    m_enhancedHub = m_votingHub;
    if (!m_enhancedSession) {
        emit sendEnhancedSessionID(0);
        return;
    }
    if (start != 0) {
        connectEnhancedSession(m_enhancedSession);
        if (m_enhancedSession->startSession(false)) {
            quint32 id = sessionIdentifier(m_enhancedSession);
            if (id == 0) {
                id = ++m_nextEnhancedSessionId;
                m_enhancedSessions.insert(id, m_enhancedSession);
            }
            emit sendEnhancedSessionID(id);
            return;
        }
        // A failed start leaves no session, so the client learns 0, the
        // identifier of none.
    }
    stopEnhancedSession();
    emit sendEnhancedSessionID(0);
}

void VelaSystemClient::stopEnhancedSession()
{
    if (!m_enhancedSession)
        return;
    m_enhancedSession->stopSession();
    forgetEnhancedSession();
}

void VelaSystemClient::forgetEnhancedSession()
{
    disconnectEnhancedSession(m_enhancedSession);
    m_enhancedSessions.remove(sessionIdentifier(m_enhancedSession));
    m_enhancedSession = nullptr;
    m_enhancedHub = nullptr;
}

void VelaSystemClient::sendEnhancedSessionParameters(quint32 sessionId, quint32 uid, int count, int e, bool flag,
                                                     const QBitArray &questions, int g)
{
    if (EnhancedQuestionSession *session = sessionFor(sessionId))
        session->sendSessionParameters(uid, count, e, flag, questions, g);
}

void VelaSystemClient::sendEnhancedQuestion(const EnhancedQuestionHeader &header,
                                            Velasystem::EnhancedQuestion *question)
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
    if (question->typeCode() != Velasystem::TextQuestion::TypeCode || !question->translateAnswer)
        question->noLatexFound = !latex && !plain;
    session->sendQuestion(header.uid, question);
}

void VelaSystemClient::sendEnhancedMultichoiceQuestion(const EnhancedQuestionHeader &header, int a, int b, int c,
                                                       const QString &options)
{
    sendEnhancedQuestion(header, choiceQuestion<Velasystem::MultichoiceQuestion>(a, b, c, options));
}

void VelaSystemClient::sendEnhancedSortInOrderQuestion(const EnhancedQuestionHeader &header, int a, int b, int c,
                                                       const QString &options)
{
    sendEnhancedQuestion(header, choiceQuestion<Velasystem::SortInOrderQuestion>(a, b, c, options));
}

void VelaSystemClient::sendEnhancedYesNoQuestion(const EnhancedQuestionHeader &header, bool flag, int n)
{
    sendEnhancedQuestion(header, twoWayQuestion<Velasystem::YesNoQuestion>(flag, n));
}

void VelaSystemClient::sendEnhancedTrueFalseQuestion(const EnhancedQuestionHeader &header, bool flag, int n)
{
    sendEnhancedQuestion(header, twoWayQuestion<Velasystem::TrueFalseQuestion>(flag, n));
}

void VelaSystemClient::sendEnhancedLikertQuestion(const EnhancedQuestionHeader &header, int a, int b)
{
    auto *q = new Velasystem::LikertQuestion;
    q->scale = a;
    q->correctAnswer = b;
    sendEnhancedQuestion(header, q);
}

void VelaSystemClient::sendEnhancedNumericQuestion(const EnhancedQuestionHeader &header, int n, const QString &answer)
{
    auto *q = new Velasystem::NumericQuestion;
    q->maxDigits = n;
    q->correctAnswer = answer;
    sendEnhancedQuestion(header, q);
}

void VelaSystemClient::sendEnhancedTextQuestion(const EnhancedQuestionHeader &header, int n, const QString &answer,
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
    sendEnhancedQuestion(header, q);
}

void VelaSystemClient::sendEnhancedMessage(quint32 sessionId, quint32 uid, int flags, const QString &text)
{
    if (EnhancedQuestionSession *session = sessionFor(sessionId))
        session->sendMessage(uid, Velasystem::MessageControlFlags(flags), text);
}

void VelaSystemClient::sendEnhancedPopup(quint32 sessionId, quint32 uid, bool flag, const QString &text)
{
    if (EnhancedQuestionSession *session = sessionFor(sessionId))
        session->sendPopUpMessage(uid, flag, text);
}

void VelaSystemClient::sendNoMoreQuestions(quint32 sessionId, quint32 uid, const QString &text)
{
    if (EnhancedQuestionSession *session = sessionFor(sessionId))
        session->sendNoMoreQuestionsNotification(uid, text);
}

void VelaSystemClient::handleGetSessionParameters(EnhancedQuestionSession *session, quint32 uid, int localeId)
{
    emit sendGetSessionParameters(sessionIdentifier(session), uid, localeId);
}

void VelaSystemClient::handleGetQuestion(EnhancedQuestionSession *session, quint32 uid, int questionNumber)
{
    emit sendGetQuestion(sessionIdentifier(session), uid, questionNumber);
}

void VelaSystemClient::handleMultichoiceAnswer(EnhancedQuestionSession *session, quint32 uid, int questionNumber,
                                               const QString &answer)
{
    emit sendMultichoiceAnswer(sessionIdentifier(session), uid, questionNumber, answer);
}

void VelaSystemClient::handleYesNoAnswer(EnhancedQuestionSession *session, quint32 uid, int questionNumber,
                                         Velasystem::YesNoQuestion::Answer answer)
{
    emit sendYesNoAnswer(sessionIdentifier(session), uid, questionNumber, int(answer));
}

void VelaSystemClient::handleTrueFalseAnswer(EnhancedQuestionSession *session, quint32 uid, int questionNumber,
                                             Velasystem::TrueFalseQuestion::Answer answer)
{
    emit sendTrueFalseAnswer(sessionIdentifier(session), uid, questionNumber, int(answer));
}

void VelaSystemClient::handleLikertAnswer(EnhancedQuestionSession *session, quint32 uid, int questionNumber,
                                          int likertValue)
{
    emit sendLikertAnswer(sessionIdentifier(session), uid, questionNumber, likertValue);
}

void VelaSystemClient::handleNumericAnswer(EnhancedQuestionSession *session, quint32 uid, int questionNumber,
                                           const QString &answer)
{
    emit sendNumericAnswer(sessionIdentifier(session), uid, questionNumber, answer);
}

void VelaSystemClient::handleTextAnswer(EnhancedQuestionSession *session, quint32 uid, int questionNumber,
                                        const QString &answer, bool bIsValid)
{
    emit sendTextAnswer(sessionIdentifier(session), uid, questionNumber, answer, bIsValid);
}

void VelaSystemClient::handleSortInOrderAnswer(EnhancedQuestionSession *session, quint32 uid, int questionNumber,
                                               const QString &answer)
{
    emit sendSortInOrderAnswer(sessionIdentifier(session), uid, questionNumber, answer);
}

void VelaSystemClient::handleDeviceShutDown(EnhancedQuestionSession *session, quint32 uid)
{
    emit sendDeviceShutDown(sessionIdentifier(session), uid);
}

// Registration ----------------------------------------------------------------

void VelaSystemClient::startRegistrationSession(int count, int b, int c, const QString &code, int characterType,
                                                int flag, int g)
{
    if (!m_votingHub)
        return;
    m_expectedRegistrations = count;
    m_registeredCount = 0;
    const int hubIndex = m_votingHub->hubIndex();
    dropRegistration();
    m_system->stopVelahubRegistrationSession(hubIndex);
    m_registration = m_system->startVelahubRegistrationSession(hubIndex);
    m_registrationHub = hubIndex;
    if (!m_registration) {
        emit sendRegistrationComplete(0);
        return;
    }
    connect(m_registration, &Velasystem::VelahubRegistrationSession::expressionDeviceRegistered, this,
            &VelaSystemClient::expressionDeviceRegistered, Qt::UniqueConnection);
    const Velasystem::RegistrationCode registrationCode(code);
    if (g != 0)
        m_registration->startNamingExpressionRegistrationSession(static_cast<quint16>(count), static_cast<quint8>(b),
                                                                 static_cast<quint8>(c), registrationCode,
                                                                 characterType, flag != 0, static_cast<quint8>(g));
    else
        m_registration->startExpressionRegistrationSession(static_cast<quint16>(count), 0, 0, registrationCode);
}

void VelaSystemClient::expressionDeviceRegistered(const QString &name, quint32 uid, Velasystem::Device::SubType type)
{
    if (!m_registration)
        return;
    ++m_registeredCount;
    emit sendExpressionDeviceRegistered(name, uid, static_cast<uint>(type), static_cast<uint>(m_registeredCount));
    if (m_registeredCount >= m_expectedRegistrations)
        endRegistration();
}

void VelaSystemClient::endRegistration()
{
    if (!m_registration)
        return;
    disconnect(m_registration, nullptr, this, nullptr);
    m_registration->stopExpressionRegistrationSession();
    m_system->stopVelahubRegistrationSession(m_registrationHub);
    m_registration = nullptr;
    emit sendRegistrationComplete(static_cast<uint>(m_registeredCount));
}

void VelaSystemClient::stopRegistrationSession()
{
    if (m_votingHub)
        endRegistration();
}

void VelaSystemClient::dropRegistration()
{
    // The library keeps one registration session at a time, so an open one
    // is closed on the hub it was opened for, without a report, as a new
    // registration or a removal replaces it.
    if (!m_registration)
        return;
    disconnect(m_registration, nullptr, this, nullptr);
    m_system->stopVelahubRegistrationSession(m_registrationHub);
    m_registration = nullptr;
}

void VelaSystemClient::clearExpressions()
{
    if (!m_votingHub)
        return;
    const int hubIndex = m_votingHub->hubIndex();
    dropRegistration();
    Velasystem::VelahubRegistrationSession *session = m_system->startVelahubRegistrationSession(hubIndex);
    if (!session)
        return;
    session->clearHubOfExpressions();
    // Closed whatever the result, so a failed clear leaves no session open.
    m_system->stopVelahubRegistrationSession(hubIndex);
}

void VelaSystemClient::removeVelaDevice(quint32 uid, int deviceType)
{
    if (!m_votingHub)
        return;
    const uchar type = static_cast<uchar>(deviceType);
    const int hubIndex = m_votingHub->hubIndex();
    dropRegistration();
    m_system->stopVelahubRegistrationSession(hubIndex);
    m_registration = m_system->startVelahubRegistrationSession(hubIndex);
    bool removed = false;
    if (m_registration) {
        switch (type) {
        case Velasystem::Device::Velaexpression: removed = m_registration->removeVelaexpression(uid); break;
        case Velasystem::Device::Velavote: removed = m_registration->removeVelavote(uid); break;
        case Velasystem::Device::Slate: removed = m_registration->removeSlate(uid); break;
        default: break;
        }
        m_system->stopVelahubRegistrationSession(hubIndex);
        m_registration = nullptr;
    }
    emit sendRemoveVelaDevice(uid, type, removed);
}

// Naming -------------------------------------------------------------------------

void VelaSystemClient::startTeacherNamingSession()
{
    if (!m_votingHub)
        return;
    // One naming session at a time: one still open for an earlier voting
    // hub is closed first. Asked again for the same hub, the library hands
    // back the open session.
    if (m_naming && m_namingHub != m_votingHub->hubIndex())
        stopExpressionNamingSession();
    m_naming = m_system->startVelahubExpressionNamingSession(m_votingHub->hubIndex());
    m_namingHub = m_votingHub->hubIndex();
    if (!m_naming) {
        emit sendNamingSessionStatus(0);
        return;
    }
    connect(m_naming, &Velasystem::VelahubExpressionNamingSession::expressionDeviceNamed, this,
            &VelaSystemClient::handleExpressionDeviceNamed, Qt::UniqueConnection);
    emit sendNamingSessionStatus(1);
}

void VelaSystemClient::startExpressionNamingSession()
{
    if (m_votingHub && m_naming)
        m_naming->startExpressionNamingSession();
}

void VelaSystemClient::nameExpression(quint32 uid, const QString &name)
{
    if (m_votingHub && m_naming)
        m_naming->nameExpression(uid, name);
}

void VelaSystemClient::stopExpressionNamingSession()
{
    if (!m_votingHub || !m_naming)
        return;
    m_naming->stopExpressionNamingSession();
    disconnect(m_naming, nullptr, this, nullptr);
    m_system->stopVelahubExpressionNamingSession(m_namingHub);
    m_naming = nullptr;
}

void VelaSystemClient::handleExpressionDeviceNamed(const QString &name, quint32 uid)
{
    emit updateExpressionName(uid, name);
}

void VelaSystemClient::startStudentNamingSession(int a, qint8 characterType, int c, int flag)
{
    if (!m_votingHub)
        return;
    if (!m_votingHub->startExpressionEnduserNamingSession(a, characterType, c, flag != 0, nullptr, nullptr)) {
        emit sendNamingSessionStatus(0);
        return;
    }
    connect(m_votingHub, &Hub::endUserNamingSessionResponse, this,
            &VelaSystemClient::handleEndUserNamingSessionResponse, Qt::UniqueConnection);
    m_studentNamingHub = m_votingHub;
    emit sendNamingSessionStatus(1);
}

void VelaSystemClient::stopExpressionEndUserNamingSession()
{
    if (!m_votingHub)
        return;
    // The session ends on the hub it runs on, which an earlier voting hub may
    // still be.
    Hub *hub = m_studentNamingHub ? m_studentNamingHub : m_votingHub;
    hub->stopExpressionEndUserNamingSession();
    disconnect(hub, &Hub::endUserNamingSessionResponse, this, &VelaSystemClient::handleEndUserNamingSessionResponse);
    m_studentNamingHub = nullptr;
}

void VelaSystemClient::stopStudentNaming()
{
    if (m_studentNamingHub)
        stopExpressionEndUserNamingSession();
}

void VelaSystemClient::handleEndUserNamingSessionResponse(Hub *, quint32 uid, int, const QString &response)
{
    emit updateExpressionName(uid, response);
}

void VelaSystemClient::forgetSessionsOf(Hub *hub)
{
    // Nothing is called on the hub or its session objects any more; what the
    // clients were following ends, and they are told so as when it ends
    // normally.
    const int hubIndex = hub->hubIndex();
    if (m_enhancedSession && m_enhancedHub == hub) {
        forgetEnhancedSession();
        emit sendEnhancedSessionID(0);
    }
    if (m_registration && m_registrationHub == hubIndex) {
        dropRegistration();
        emit sendRegistrationComplete(static_cast<uint>(m_registeredCount));
    }
    if (hub == m_questionHub && m_questionInProgress)
        endQuestion();
    if (m_naming && m_namingHub == hubIndex) {
        disconnect(m_naming, nullptr, this, nullptr);
        m_system->stopVelahubExpressionNamingSession(hubIndex);
        m_naming = nullptr;
    }
    if (m_studentNamingHub == hub) {
        disconnect(hub, &Hub::endUserNamingSessionResponse, this,
                   &VelaSystemClient::handleEndUserNamingSessionResponse);
        m_studentNamingHub = nullptr;
    }
}
