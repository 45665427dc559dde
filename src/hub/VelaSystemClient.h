#pragma once

#include "BoardInputFilter.h"
#include "HandOverQueue.h"
#include "HubGroup.h"
#include "IVelaRelayClient.h"

#include <velasystem/Device.h>
#include <velasystem/EnhancedQuestion.h>
#include <velasystem/Hub.h>

#include <QHash>
#include <QMetaMethod>
#include <QMutex>

#include <atomic>

class RelayIntelligenceManager;

namespace Velasystem {
class EnhancedQuestionSession;
class VelaSystem;
class VelahubExpressionNamingSession;
class VelahubRegistrationSession;
} // namespace Velasystem

// The hub adapter: the relay's one link to the hub library. It follows hubs as
// they come and go, filters board input to the client's window, switches the
// boards between native and private reporting, answers counts and
// capabilities, and runs questions, enhanced sessions, registration and
// naming on the voting hub. Results leave only as signals.
//
// Everything here runs on the thread the adapter lives in (the main thread).
// Hub signals come from the library's thread: most arrive queued, and the
// answers, which the library delivers directly, are handed over to this thread
// before they touch any state.
class VelaSystemClient : public IVelaRelayClient
{
    Q_OBJECT

public:
    using Clock = qint64 (*)();

    // clock: monotonic milliseconds for the input throttle; tests freeze it.
    explicit VelaSystemClient(Clock clock = nullptr, int keepAliveTimeoutMs = 11000);
    ~VelaSystemClient() override;

    void queryPenAndTouchCount() override;
    void queryErasesCount() override;
    void queryHubCount() override;
    void getRegisteredDevices() override;
    void setPenPrivate(bool isPrivate, int penId) override;
    void setTouchPrivate(bool isPrivate) override;
    void setScreenSize(int width, int height) override;
    void setWindowPosition(int x, int y, int width, int height) override;
    void askQuestion(int questionType, QuestionParameters parameters) override;
    void stopQuestion() override;
    void getAllCapabilities() override;
    void getBoardCapabilities() override;
    void getQuestionCapabilities() override;
    void setCapabilitiesMode(int mode) override;
    void sendCapabilities() override;
    void setIntelligence(bool enabled) override;
    void setFocus(bool hasFocus) override;
    void keepAlive() override;

    void resetSession() override;
    void changeBacklight(int a, int b) override;
    void getState() override;
    void clearExpressions() override;
    void stopRegistrationSession() override;
    void startRegistrationSession(int count, int b, int c, const QString &code, int characterType, int flag,
                                  int g) override;
    void startStudentNamingSession(int a, qint8 characterType, int c, int flag) override;
    void startTeacherNamingSession() override;
    void nameExpression(quint32 uid, const QString &name) override;
    void startExpressionNamingSession() override;
    void stopExpressionNamingSession() override;
    void stopExpressionEndUserNamingSession() override;
    void removeVelaDevice(quint32 uid, int deviceType) override;
    void setErasePrivate(bool isPrivate) override;
    void setNumConnections(int numConnections) override;

    void startEnhancedSession(quint8 start) override;
    void sendEnhancedSessionParameters(quint32 sessionId, quint32 uid, int count, int e, bool flag,
                                       const QBitArray &questions, int g) override;
    void sendEnhancedMultichoiceQuestion(const EnhancedQuestionHeader &header, int a, int b, int c,
                                         const QString &options) override;
    void sendEnhancedYesNoQuestion(const EnhancedQuestionHeader &header, bool flag, int n) override;
    void sendEnhancedTrueFalseQuestion(const EnhancedQuestionHeader &header, bool flag, int n) override;
    void sendEnhancedLikertQuestion(const EnhancedQuestionHeader &header, int a, int b) override;
    void sendEnhancedNumericQuestion(const EnhancedQuestionHeader &header, int n, const QString &answer) override;
    void sendEnhancedTextQuestion(const EnhancedQuestionHeader &header, int n, const QString &answer,
                                  bool translateAnswer) override;
    void sendEnhancedSortInOrderQuestion(const EnhancedQuestionHeader &header, int a, int b, int c,
                                         const QString &options) override;
    void sendEnhancedMessage(quint32 sessionId, quint32 uid, int flags, const QString &text) override;
    void sendEnhancedPopup(quint32 sessionId, quint32 uid, bool flag, const QString &text) override;
    void sendNoMoreQuestions(quint32 sessionId, quint32 uid, const QString &text) override;

public slots:
    void onHubConnected(Velasystem::Hub *hub);
    void onHubDisconnected(Velasystem::Hub *hub);

    // Simple-question answers; run on the library's thread.
    void stringResponseReceived(Velasystem::Hub *hub, quint32 uid, int questionId, const QString &response);
    void yesNoReceived(Velasystem::Hub *hub, quint32 uid, int questionId, Velasystem::Hub::YesNoResponse response);
    void trueFalseReceived(Velasystem::Hub *hub, quint32 uid, int questionId,
                           Velasystem::Hub::TrueFalseResponse response);
    void likertScaleReceived(Velasystem::Hub *hub, quint32 uid, int questionId, int value);

    void onPenEventReceived(Velasystem::Hub *hub, Velasystem::Hub::PenEvent event, quint8 id, int x, int y, bool tip,
                            bool barrel);
    void onTouchEventReceived(Velasystem::Hub *hub, const QList<Velasystem::Hub::TouchInfo> &points);
    void onEraserEventReceived(Velasystem::Hub *hub, const QList<Velasystem::Hub::EraserInfo> &erasers);
    void onIntelligenceManagerReportMode(BoardReportType type);
    void onClientUnresponsive();

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

    void expressionDeviceRegistered(const QString &name, quint32 uid, Velasystem::Device::SubType type);
    void handleExpressionDeviceNamed(const QString &name, quint32 uid);
    void handleEndUserNamingSessionResponse(Velasystem::Hub *hub, quint32 uid, int questionId, const QString &response);

private slots:
    // The other ends of the hand-overs below, on this object's thread.
    void takePenSample();
    void takeAnswer();

private:
    struct PenSample
    {
        Velasystem::Hub *hub = nullptr;
        Velasystem::Hub::PenEvent event = Velasystem::Hub::PenMove;
        quint8 id = 0;
        int x = 0;
        int y = 0;
        bool tip = false;
        bool barrel = false;
    };
    struct Answer
    {
        quint64 generation = 0;
        quint32 uid = 0;
        int questionId = 0;
        QString response;
    };

    // Runs where the hub emits (the library's thread) and hands the sample to
    // this object's thread.
    void forwardPenEvent(Velasystem::Hub *hub, Velasystem::Hub::PenEvent event, quint8 id, int x, int y, bool tip,
                         bool barrel);
    QuestionCapabilities capabilities() const;
    void focusLost();
    void addDevices(Velasystem::Hub *hub);
    void acceptAnswer(quint32 uid, int questionId, const QString &response);
    void endQuestion();
    // Hands an answer that arrived on the library's thread to this one.
    void postAnswer(quint32 uid, int questionId, const QString &response);

    quint32 sessionIdentifier(Velasystem::EnhancedQuestionSession *session) const;
    Velasystem::EnhancedQuestionSession *sessionFor(quint32 sessionId) const;
    void connectEnhancedSession(Velasystem::EnhancedQuestionSession *session);
    void disconnectEnhancedSession(Velasystem::EnhancedQuestionSession *session);
    void stopEnhancedSession();
    void forgetEnhancedSession();
    void sendEnhancedQuestion(const EnhancedQuestionHeader &header, Velasystem::EnhancedQuestion *question);
    void endRegistration();
    void dropRegistration();
    void stopStudentNaming();
    void forgetSessionsOf(Velasystem::Hub *hub);

    Velasystem::VelaSystem *m_system;
    HubGroup m_hubs;
    Clock m_clock;
    BoardInputFilter m_input;
    // Pen input is handled one event at a time even if the library should
    // ever deliver it from more than one thread.
    QMutex m_penLock;
    HandOverQueue<PenSample> m_penSamples;
    QMetaMethod m_takePenSample;

    bool m_penPrivate = false;
    bool m_touchPrivate = false;
    bool m_erasePrivate = false;
    int m_capabilitiesMode = 0;
    int m_numConnections = 0;
    RelayIntelligenceManager *m_supervisor;

    Velasystem::Hub *m_votingHub = nullptr;

    // Simple questions.
    QHash<quint32, QString> m_registeredDevices;
    QHash<quint32, QString> m_pendingResponders;
    bool m_questionInProgress = false;
    bool m_collectingResponses = false;
    // Changes whenever a question starts or ends; read on the library's
    // thread as an answer arrives.
    std::atomic<quint64> m_questionGeneration{0};
    HandOverQueue<Answer> m_answers;
    QMetaMethod m_takeAnswer;
    Velasystem::Hub *m_questionHub = nullptr;

    // Enhanced sessions: identifiers are never reused.
    Velasystem::EnhancedQuestionSession *m_enhancedSession = nullptr;
    Velasystem::Hub *m_enhancedHub = nullptr;
    QHash<quint32, Velasystem::EnhancedQuestionSession *> m_enhancedSessions;
    quint32 m_nextEnhancedSessionId = 0;

    // Registration and naming.
    Velasystem::VelahubRegistrationSession *m_registration = nullptr;
    int m_registrationHub = -1;
    int m_expectedRegistrations = 0;
    int m_registeredCount = 0;
    Velasystem::VelahubExpressionNamingSession *m_naming = nullptr;
    int m_namingHub = -1;
    Velasystem::Hub *m_studentNamingHub = nullptr;
};
