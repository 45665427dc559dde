#pragma once

#include "IVelaRelayClient.h"

#include <velasystem/EnhancedQuestion.h>

#include <QHash>
#include <QJsonObject>

namespace Velasystem {
class EnhancedQuestionSession;
class Hub;
} // namespace Velasystem

// The voting hub's enhanced question session, in which the learner devices
// pace themselves: each request of the session goes to the clients tagged
// with a session identifier, and the clients' replies name that identifier.
// One session runs at a time; identifiers are never reused, so a reply meant
// for a session that has ended reaches nothing. Results leave as the relay
// client's signals.
class EnhancedSessions : public QObject
{
    Q_OBJECT

public:
    explicit EnhancedSessions(IVelaRelayClient &out);
    ~EnhancedSessions() override;

    void start(Velasystem::Hub *votingHub, quint8 start);
    void stop();
    void hubGone(Velasystem::Hub *hub);
    // The session that runs: its identifier and hub.
    QJsonObject status() const;

    void sendSessionParameters(quint32 sessionId, quint32 uid, int count, int e, bool flag, const QBitArray &questions,
                               int g);
    void sendMultichoiceQuestion(const EnhancedQuestionHeader &header, int a, int b, int c, const QString &options);
    void sendYesNoQuestion(const EnhancedQuestionHeader &header, bool flag, int n);
    void sendTrueFalseQuestion(const EnhancedQuestionHeader &header, bool flag, int n);
    void sendLikertQuestion(const EnhancedQuestionHeader &header, int a, int b);
    void sendNumericQuestion(const EnhancedQuestionHeader &header, int n, const QString &answer);
    void sendTextQuestion(const EnhancedQuestionHeader &header, int n, const QString &answer, bool translateAnswer);
    void sendSortInOrderQuestion(const EnhancedQuestionHeader &header, int a, int b, int c, const QString &options);
    void sendMessage(quint32 sessionId, quint32 uid, int flags, const QString &text);
    void sendPopup(quint32 sessionId, quint32 uid, bool flag, const QString &text);
    void sendNoMoreQuestions(quint32 sessionId, quint32 uid, const QString &text);

private slots:
    void handleGetSessionParameters(Velasystem::EnhancedQuestionSession *session, quint32 uid, int localeId);
    void handleGetQuestion(Velasystem::EnhancedQuestionSession *session, quint32 uid, int questionNumber);
    void handleMultichoiceAnswer(Velasystem::EnhancedQuestionSession *session, quint32 uid, int questionNumber,
                                 const QString &answer);
    void handleYesNoAnswer(Velasystem::EnhancedQuestionSession *session, quint32 uid, int questionNumber,
                           Velasystem::YesNoQuestion::Answer answer);
    void handleTrueFalseAnswer(Velasystem::EnhancedQuestionSession *session, quint32 uid, int questionNumber,
                               Velasystem::TrueFalseQuestion::Answer answer);
    void handleLikertAnswer(Velasystem::EnhancedQuestionSession *session, quint32 uid, int questionNumber,
                            int likertValue);
    void handleNumericAnswer(Velasystem::EnhancedQuestionSession *session, quint32 uid, int questionNumber,
                             const QString &answer);
    void handleTextAnswer(Velasystem::EnhancedQuestionSession *session, quint32 uid, int questionNumber,
                          const QString &answer, bool bIsValid);
    void handleSortInOrderAnswer(Velasystem::EnhancedQuestionSession *session, quint32 uid, int questionNumber,
                                 const QString &answer);
    void handleDeviceShutDown(Velasystem::EnhancedQuestionSession *session, quint32 uid);

private:
    quint32 sessionIdentifier(Velasystem::EnhancedQuestionSession *session) const;
    Velasystem::EnhancedQuestionSession *sessionFor(quint32 sessionId) const;
    void connectSession(Velasystem::EnhancedQuestionSession *session);
    void forget();
    void sendQuestion(const EnhancedQuestionHeader &header, Velasystem::EnhancedQuestion *question);

    IVelaRelayClient &m_out;
    Velasystem::EnhancedQuestionSession *m_session = nullptr;
    Velasystem::Hub *m_hub = nullptr;
    QHash<quint32, Velasystem::EnhancedQuestionSession *> m_sessions;
    quint32 m_nextSessionId = 0;
};
