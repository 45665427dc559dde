#pragma once

#include <velasystem/EnhancedQuestion.h>
#include <velasystem/Export.h>
#include <velasystem/MessageControlFlag.h>

#include <QBitArray>
#include <QMetaType>
#include <QObject>
#include <QString>

#include <memory>

namespace Velasystem {

class SessionState;

// A hub's enhanced question session, in which each device asks for the
// session parameters and then for question after question at its own pace.
// The hub keeps one such object for its lifetime. Between startSession and
// stopSession the session is open; calls other than startSession on a
// session that is not open do nothing and return false. Device requests are
// signalled from the library's own thread.
class VELASYSTEM_EXPORT EnhancedQuestionSession : public QObject
{
    Q_OBJECT

public:
    ~EnhancedQuestionSession() override;

    // resume: true picks up a session the devices may still be in; the
    // simulated hub treats both the same. Starting an open session succeeds.
    bool startSession(bool resume);
    bool stopSession();
    // Takes ownership of question, whatever the result.
    bool sendQuestion(quint32 uid, Velasystem::EnhancedQuestion *question);
    bool sendSessionParameters(quint32 uid, int numberOfQuestions, int timeLimit, bool allowReview,
                               const QBitArray &questionMask, int attempts);
    bool sendMessage(quint32 uid, Velasystem::MessageControlFlags flags, const QString &text);
    bool sendPopUpMessage(quint32 uid, bool requireAcknowledge, const QString &text);
    bool sendNoMoreQuestionsNotification(quint32 uid, const QString &text);

signals:
    void getSessionParameters(Velasystem::EnhancedQuestionSession *session, quint32 uid, int localeId);
    void getQuestion(Velasystem::EnhancedQuestionSession *session, quint32 uid, int questionNumber);
    void multichoiceAnswer(Velasystem::EnhancedQuestionSession *session, quint32 uid, int questionNumber,
                           const QString &answer);
    void yesNoAnswer(Velasystem::EnhancedQuestionSession *session, quint32 uid, int questionNumber,
                     Velasystem::YesNoQuestion::Answer answer);
    void trueFalseAnswer(Velasystem::EnhancedQuestionSession *session, quint32 uid, int questionNumber,
                         Velasystem::TrueFalseQuestion::Answer answer);
    void likertAnswer(Velasystem::EnhancedQuestionSession *session, quint32 uid, int questionNumber, int likertValue);
    void numericAnswer(Velasystem::EnhancedQuestionSession *session, quint32 uid, int questionNumber,
                       const QString &answer);
    void textAnswer(Velasystem::EnhancedQuestionSession *session, quint32 uid, int questionNumber,
                    const QString &answer, bool bIsValid);
    void sortInOrderAnswer(Velasystem::EnhancedQuestionSession *session, quint32 uid, int questionNumber,
                           const QString &answer);
    void deviceShutDown(Velasystem::EnhancedQuestionSession *session, quint32 uid);

private:
    friend class SessionState;
    explicit EnhancedQuestionSession(SessionState *state);
    std::unique_ptr<SessionState> d;
};

} // namespace Velasystem

Q_DECLARE_METATYPE(Velasystem::EnhancedQuestionSession *)
