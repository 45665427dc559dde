#pragma once

#include "BoardInputFilter.h"
#include "EnhancedSessions.h"
#include "HandOverQueue.h"
#include "HubGroup.h"
#include "IVelaRelayClient.h"
#include "MainLoopGate.h"
#include "RegistrationAndNaming.h"
#include "RelayIntelligenceManager.h"
#include "SimpleQuestions.h"

#include <velasystem/Hub.h>

#include <QJsonObject>
#include <QMetaMethod>

#include <atomic>
#include <variant>

namespace Velasystem {
class VelaSystem;
} // namespace Velasystem

// The hub adapter: the relay's one link to the hub library. It follows hubs as
// they come and go, filters board input to the client's window, switches the
// boards between native and private reporting, and answers counts and
// capabilities. The voting hub's sessions belong to three owners, which meet
// only where a hub goes or the last client leaves; the adapter passes them the
// clients' operations with the current voting hub and tells them of those two
// events. Everything leaves as this object's signals.
//
// Everything here runs on the main thread, or on the library's thread while
// it holds the main thread's gate; how the library's signals get here is in
// docs/ARCHITECTURE.md (A pen sample's walk, Threads).
class VelaSystemClient : public IVelaRelayClient
{
    Q_OBJECT

public:
    using Clock = qint64 (*)();

    // clock: monotonic milliseconds for the input throttle; tests freeze it.
    // gate: the main thread's, when the relay runs one: lone pen samples
    // then pass through it from the library's thread.
    explicit VelaSystemClient(Clock clock = nullptr,
                              int keepAliveTimeoutMs = RelayIntelligenceManager::DefaultKeepAliveTimeoutMs,
                              MainLoopGate *gate = nullptr);
    ~VelaSystemClient() override;

    // What the adapter and the session owners hold, for the operator: the
    // hubs, the client's screen and window, the report modes and the
    // sessions. Read on this object's thread.
    QJsonObject status() const;

    void queryPenAndTouchCount() override;
    void queryErasesCount() override;
    void queryHubCount() override;
    void setPenPrivate(bool isPrivate, int penId) override;
    void setTouchPrivate(bool isPrivate) override;
    void setErasePrivate(bool isPrivate) override;
    void setScreenSize(int width, int height) override { m_input.setScreenSize(width, height); }
    void setWindowPosition(int x, int y, int width, int height) override { m_input.setWindow(x, y, width, height); }
    void getAllCapabilities() override;
    void getBoardCapabilities() override;
    void getQuestionCapabilities() override;
    void setCapabilitiesMode(int mode) override { m_capabilitiesMode = mode; }
    void sendCapabilities() override;
    void setIntelligence(bool enabled) override { m_supervisor->setEnabled(enabled); }
    void setFocus(bool hasFocus) override { m_supervisor->setFocus(hasFocus); }
    void keepAlive() override { m_supervisor->keepAlive(); }

    void resetSession() override;
    void changeBacklight(int a, int b) override;
    void getState() override;
    void setNumConnections(int numConnections) override;

    // Simple questions.
    void askQuestion(int questionType, QuestionParameters parameters) override
    {
        m_questions.ask(m_votingHub, questionType, parameters);
    }
    void stopQuestion() override { m_questions.stop(m_votingHub); }
    void getRegisteredDevices() override { m_questions.reportDevices(); }

    // Registration and naming.
    void startRegistrationSession(int count, int b, int c, const QString &code, int characterType, int flag,
                                  int g) override
    {
        m_registration.startRegistration(m_votingHub, count, b, c, code, characterType, flag, g);
    }
    void stopRegistrationSession() override { m_registration.stopRegistration(m_votingHub); }
    void clearExpressions() override { m_registration.clearExpressions(m_votingHub); }
    void removeVelaDevice(quint32 uid, int deviceType) override
    {
        m_registration.removeDevice(m_votingHub, uid, deviceType);
    }
    void startTeacherNamingSession() override { m_registration.startTeacherNaming(m_votingHub); }
    void startExpressionNamingSession() override { m_registration.startExpressionNaming(m_votingHub); }
    void nameExpression(quint32 uid, const QString &name) override
    {
        m_registration.nameExpression(m_votingHub, uid, name);
    }
    void stopExpressionNamingSession() override { m_registration.stopTeacherNaming(m_votingHub); }
    void startStudentNamingSession(int a, qint8 characterType, int c, int flag) override
    {
        m_registration.startStudentNaming(m_votingHub, a, characterType, c, flag);
    }
    void stopExpressionEndUserNamingSession() override { m_registration.stopStudentNaming(m_votingHub); }

    // Enhanced question sessions; once started, a session is named by its
    // identifier, whichever hub votes by then.
    void startEnhancedSession(quint8 start) override { m_enhanced.start(m_votingHub, start); }
    void sendEnhancedSessionParameters(quint32 sessionId, quint32 uid, int count, int e, bool flag,
                                       const QBitArray &questions, int g) override
    {
        m_enhanced.sendSessionParameters(sessionId, uid, count, e, flag, questions, g);
    }
    void sendEnhancedMultichoiceQuestion(const EnhancedQuestionHeader &header, int a, int b, int c,
                                         const QString &options) override
    {
        m_enhanced.sendMultichoiceQuestion(header, a, b, c, options);
    }
    void sendEnhancedYesNoQuestion(const EnhancedQuestionHeader &header, bool flag, int n) override
    {
        m_enhanced.sendYesNoQuestion(header, flag, n);
    }
    void sendEnhancedTrueFalseQuestion(const EnhancedQuestionHeader &header, bool flag, int n) override
    {
        m_enhanced.sendTrueFalseQuestion(header, flag, n);
    }
    void sendEnhancedLikertQuestion(const EnhancedQuestionHeader &header, int a, int b) override
    {
        m_enhanced.sendLikertQuestion(header, a, b);
    }
    void sendEnhancedNumericQuestion(const EnhancedQuestionHeader &header, int n, const QString &answer) override
    {
        m_enhanced.sendNumericQuestion(header, n, answer);
    }
    void sendEnhancedTextQuestion(const EnhancedQuestionHeader &header, int n, const QString &answer,
                                  bool translateAnswer) override
    {
        m_enhanced.sendTextQuestion(header, n, answer, translateAnswer);
    }
    void sendEnhancedSortInOrderQuestion(const EnhancedQuestionHeader &header, int a, int b, int c,
                                         const QString &options) override
    {
        m_enhanced.sendSortInOrderQuestion(header, a, b, c, options);
    }
    void sendEnhancedMessage(quint32 sessionId, quint32 uid, int flags, const QString &text) override
    {
        m_enhanced.sendMessage(sessionId, uid, flags, text);
    }
    void sendEnhancedPopup(quint32 sessionId, quint32 uid, bool flag, const QString &text) override
    {
        m_enhanced.sendPopup(sessionId, uid, flag, text);
    }
    void sendNoMoreQuestions(quint32 sessionId, quint32 uid, const QString &text) override
    {
        m_enhanced.sendNoMoreQuestions(sessionId, uid, text);
    }

private slots:
    void onHubConnected(Velasystem::Hub *hub);
    void onHubDisconnected(Velasystem::Hub *hub);
    void onTouchEventReceived(Velasystem::Hub *hub, const QList<Velasystem::Hub::TouchInfo> &points);
    void onEraserEventReceived(Velasystem::Hub *hub, const QList<Velasystem::Hub::EraserInfo> &erasers);
    void onIntelligenceManagerReportMode(BoardReportType type);
    void onClientUnresponsive();
    // The other end of the board input's hand-over, on this object's thread.
    void takeBoardInput();

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
    struct TouchReport
    {
        Velasystem::Hub *hub = nullptr;
        QList<Velasystem::Hub::TouchInfo> points;
    };
    struct EraserReport
    {
        Velasystem::Hub *hub = nullptr;
        QList<Velasystem::Hub::EraserInfo> erasers;
    };
    using BoardInput = std::variant<PenSample, TouchReport, EraserReport>;

    // Run where the hub emits (the library's thread). A pen sample passes
    // through the main thread's gate or is handed over; touch and eraser
    // reports are handed over, in one queue with the samples, so that a
    // board's input keeps its order.
    void forwardPenEvent(Velasystem::Hub *hub, Velasystem::Hub::PenEvent event, quint8 id, int x, int y, bool tip,
                         bool barrel);
    bool passPenSample(const PenSample &s);
    void forwardTouchEvent(Velasystem::Hub *hub, const QList<Velasystem::Hub::TouchInfo> &points);
    void forwardEraserEvent(Velasystem::Hub *hub, const QList<Velasystem::Hub::EraserInfo> &erasers);
    void handOver(BoardInput input);
    void onPenEventReceived(Velasystem::Hub *hub, Velasystem::Hub::PenEvent event, quint8 id, int x, int y, bool tip,
                            bool barrel);
    QuestionCapabilities capabilities() const;
    void focusLost();

    Velasystem::VelaSystem *m_system;
    HubGroup m_hubs;
    Clock m_clock;
    BoardInputFilter m_input;
    MainLoopGate *const m_gate;
    HandOverQueue<BoardInput> m_boardInput;
    QMetaMethod m_takeBoardInput;
    // When the library's thread last forwarded a pen sample, in steady-clock
    // microseconds.
    std::atomic<qint64> m_lastPenArrival{0};

    bool m_penPrivate = false;
    bool m_touchPrivate = false;
    bool m_erasePrivate = false;
    int m_capabilitiesMode = 0;
    int m_numConnections = 0;
    RelayIntelligenceManager *m_supervisor;

    // The hub used for questions, registration and naming: the voting hub
    // announced last, or another one still connected once it goes.
    Velasystem::Hub *m_votingHub = nullptr;

    SimpleQuestions m_questions;
    EnhancedSessions m_enhanced;
    RegistrationAndNaming m_registration;
};
