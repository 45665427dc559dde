#pragma once

#include "RelayRecords.h"

#include <QBitArray>
#include <QObject>
#include <QString>

#include <array>

enum QuestionType {
    MultipleChoice = 0,
    SortInOrder = 1,
    Likert = 2,
    YesNo = 3,
    TrueFalse = 4,
    Numeric = 5,
    Text = 6
};

struct QuestionParameters
{
    int questionId = 0;
    int numberOfOptions = 0;
    int numberOfResponses = 0;
    bool dontKnow = false;
};

// The seven arguments every enhanced question command opens with.
struct EnhancedQuestionHeader
{
    quint32 sessionId = 0;
    quint32 uid = 0;
    int questionNumber = 0;
    QString text;
    std::array<bool, 3> optionFlags{};
};

// The protocol side's whole view of the hub side. The command dispatcher
// reaches every command through it and the listener turns its signals into
// messages, so the protocol never depends on the hub library and is tested
// against a recording fake. Operations answer only through the signals.
class IVelaRelayClient : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

    // Board, capability and supervision operations.
    virtual void queryPenAndTouchCount() = 0;
    virtual void queryErasesCount() = 0;
    virtual void queryHubCount() = 0;
    virtual void getRegisteredDevices() = 0;
    virtual void setPenPrivate(bool isPrivate, int penId) = 0;
    virtual void setTouchPrivate(bool isPrivate) = 0;
    virtual void setScreenSize(int width, int height) = 0;
    virtual void setWindowPosition(int x, int y, int width, int height) = 0;
    virtual void askQuestion(int questionType, QuestionParameters parameters) = 0;
    virtual void stopQuestion() = 0;
    virtual void getAllCapabilities() = 0;
    virtual void getBoardCapabilities() = 0;
    virtual void getQuestionCapabilities() = 0;
    virtual void setCapabilitiesMode(int mode) = 0;
    virtual void sendCapabilities() = 0;
    virtual void setIntelligence(bool enabled) = 0;
    virtual void setFocus(bool hasFocus) = 0;
    virtual void keepAlive() = 0;

    // Hub, session, registration and naming operations.
    virtual void resetSession() = 0;
    virtual void changeBacklight(int a, int b) = 0;
    virtual void getState() = 0;
    virtual void clearExpressions() = 0;
    virtual void stopRegistrationSession() = 0;
    virtual void startRegistrationSession(int count, int b, int c, const QString &code, int characterType, int flag,
                                          int g) = 0;
    virtual void startStudentNamingSession(int a, qint8 characterType, int c, int flag) = 0;
    virtual void startTeacherNamingSession() = 0;
    virtual void nameExpression(quint32 uid, const QString &name) = 0;
    virtual void startExpressionNamingSession() = 0;
    virtual void stopExpressionNamingSession() = 0;
    virtual void stopExpressionEndUserNamingSession() = 0;
    virtual void removeVelaDevice(quint32 uid, int deviceType) = 0;
    virtual void setErasePrivate(bool isPrivate) = 0;
    virtual void setNumConnections(int numConnections) = 0;

    // Enhanced question sessions.
    virtual void startEnhancedSession(quint8 start) = 0;
    virtual void sendEnhancedSessionParameters(quint32 sessionId, quint32 uid, int count, int e, bool flag,
                                               const QBitArray &questions, int g) = 0;
    virtual void sendEnhancedMultichoiceQuestion(const EnhancedQuestionHeader &header, int a, int b, int c,
                                                 const QString &options) = 0;
    virtual void sendEnhancedYesNoQuestion(const EnhancedQuestionHeader &header, bool flag, int n) = 0;
    virtual void sendEnhancedTrueFalseQuestion(const EnhancedQuestionHeader &header, bool flag, int n) = 0;
    virtual void sendEnhancedLikertQuestion(const EnhancedQuestionHeader &header, int a, int b) = 0;
    virtual void sendEnhancedNumericQuestion(const EnhancedQuestionHeader &header, int n, const QString &answer) = 0;
    virtual void sendEnhancedTextQuestion(const EnhancedQuestionHeader &header, int n, const QString &answer,
                                          bool translateAnswer) = 0;
    virtual void sendEnhancedSortInOrderQuestion(const EnhancedQuestionHeader &header, int a, int b, int c,
                                                 const QString &options) = 0;
    virtual void sendEnhancedMessage(quint32 sessionId, quint32 uid, int flags, const QString &text) = 0;
    virtual void sendEnhancedPopup(quint32 sessionId, quint32 uid, bool flag, const QString &text) = 0;
    virtual void sendNoMoreQuestions(quint32 sessionId, quint32 uid, const QString &text) = 0;

signals:
    // Events of the hub side, each one outgoing message.
    void penAndTouchCount(int pens, int touches);
    void erasesCount(int erases);
    void hubConnected();
    void boardDisconnected(int pens, int touches);
    void hubCount(int hubs);
    void pen(PenData data);
    void touch(QList<TouchData> touchData);
    void eraser(QList<EraserData> eraserData);
    void questionSession(bool inProgress);
    void questionResponse(uint uid, int id, QString response, QString name);
    void questionDevices(QList<QuestionDevice> devices);
    void allCapabilities(int pens, int touches, QuestionCapabilities questionCaps);
    void boardCapabilities(int pens, int touches);
    void questionCapabilities(QuestionCapabilities questionCaps);
    void queryCapabilities();
    void error(VelaRelayErrorType type);
    void information(VelaRelayInformationType type);

    // Replies and session requests.
    void sendGetSessionParameters(uint sessionId, uint uid, int locale);
    void sendGetQuestion(uint sessionId, uint uid, int questionNumber);
    void sendMultichoiceAnswer(uint sessionId, uint uid, int questionNumber, QString answer);
    void sendYesNoAnswer(uint sessionId, uint uid, int questionNumber, int answer);
    void sendTrueFalseAnswer(uint sessionId, uint uid, int questionNumber, int answer);
    void sendLikertAnswer(uint sessionId, uint uid, int questionNumber, int likertValue);
    void sendNumericAnswer(uint sessionId, uint uid, int questionNumber, QString answer);
    void sendTextAnswer(uint sessionId, uint uid, int questionNumber, QString answer, bool bIsValid);
    void sendSortInOrderAnswer(uint sessionId, uint uid, int questionNumber, QString answer);
    void sendDeviceShutDown(uint sessionId, uint uid);
    void sendHubState(uint state);
    void sendEnhancedSessionID(uint sessionId);
    void sendResetHubSessionResult(uint result);
    void sendRegistrationComplete(uint value);
    void sendNamingSessionStatus(uint status);
    void updateExpressionName(uint uid, QString name);
    void sendExpressionDeviceRegistered(QString text, uint uid, uint type, uint count);
    void sendRemoveVelaDevice(uint uid, uchar deviceType, bool removed);
};
