#include "VelaRelayListener.h"

#include "RelayCommands.h"
#include "RelayMessages.h"
#include "WireFormat.h"

#include <QTimer>

#include <algorithm>

using namespace RelayMessages;

VelaRelayListener::VelaRelayListener(IVelaRelayClient *client, QObject *parent, int keepAliveIntervalMs, Clock clock)
    : QObject(parent)
    , m_client(client)
    , m_clock(clock ? clock : WireFormat::timestamp)
    , m_keepAliveTimer(new QTimer(this))
{
    registerRelayMetaTypes();
    clearAccumulator();

    IVelaRelayClient *c = m_client;
    using L = VelaRelayListener;
    using I = IVelaRelayClient;
    connect(c, &I::penAndTouchCount, this, &L::onPenAndTouchCount);
    connect(c, &I::erasesCount, this, &L::onErasesCount);
    connect(c, &I::hubConnected, this, &L::onHubConnected);
    connect(c, &I::boardDisconnected, this, &L::onBoardDisconnected);
    connect(c, &I::hubCount, this, &L::onHubCount);
    connect(c, &I::pen, this, &L::onPen);
    connect(c, &I::touch, this, &L::onTouch);
    connect(c, &I::eraser, this, &L::onEraser);
    connect(c, &I::questionSession, this, &L::onQuestionSession);
    connect(c, &I::questionResponse, this, &L::onQuestionResponse);
    connect(c, &I::questionDevices, this, &L::onQuestionDevices);
    connect(c, &I::allCapabilities, this, &L::onAllCapabilities);
    connect(c, &I::boardCapabilities, this, &L::onBoardCapabilities);
    connect(c, &I::questionCapabilities, this, &L::onQuestionCapabilities);
    connect(c, &I::queryCapabilities, this, &L::onQueryCapabilities);
    connect(c, &I::error, this, &L::onError);
    connect(c, &I::information, this, &L::onInformation);
    connect(c, &I::sendGetSessionParameters, this, &L::onGetSessionParameters);
    connect(c, &I::sendGetQuestion, this, &L::onGetQuestion);
    connect(c, &I::sendMultichoiceAnswer, this, &L::onMultichoiceAnswer);
    connect(c, &I::sendYesNoAnswer, this, &L::onYesNoAnswer);
    connect(c, &I::sendTrueFalseAnswer, this, &L::onTrueFalseAnswer);
    connect(c, &I::sendLikertAnswer, this, &L::onLikertAnswer);
    connect(c, &I::sendNumericAnswer, this, &L::onNumericAnswer);
    connect(c, &I::sendTextAnswer, this, &L::onTextAnswer);
    connect(c, &I::sendSortInOrderAnswer, this, &L::onSortInOrderAnswer);
    connect(c, &I::sendDeviceShutDown, this, &L::onDeviceShutDown);
    connect(c, &I::sendHubState, this, &L::onHubState);
    connect(c, &I::sendEnhancedSessionID, this, &L::onEnhancedSessionID);
    connect(c, &I::sendResetHubSessionResult, this, &L::onResetHubSessionResult);
    connect(c, &I::sendRegistrationComplete, this, &L::onRegistrationComplete);
    connect(c, &I::sendNamingSessionStatus, this, &L::onNamingSessionStatus);
    connect(c, &I::updateExpressionName, this, &L::onExpressionName);
    connect(c, &I::sendExpressionDeviceRegistered, this, &L::onExpressionDeviceRegistered);
    connect(c, &I::sendRemoveVelaDevice, this, &L::onRemoveVelaDevice);

    connect(m_keepAliveTimer, &QTimer::timeout, this, &L::onKeepAlive);
    m_keepAliveTimer->start(keepAliveIntervalMs);
}

VelaRelayListener::~VelaRelayListener()
{
    delete m_client;
}

void VelaRelayListener::onRelayMessageReceived(const QString &packet)
{
    if (dispatchCommand(*m_client, packet))
        emit relayMessageReceived(packet);
}

void VelaRelayListener::onSetNumConnections(int numConnections)
{
    m_client->setNumConnections(numConnections);
}

void VelaRelayListener::onKeepAlive()
{
    send(keepAlive());
}
void VelaRelayListener::onPenAndTouchCount(int pens, int touches)
{
    send(board(now(), pens, touches));
}
void VelaRelayListener::onErasesCount(int erases)
{
    send(eraseCount(now(), erases));
}
void VelaRelayListener::onHubConnected()
{
    send(hubConnection(now()));
}
void VelaRelayListener::onBoardDisconnected(int pens, int touches)
{
    send(boardDisconnect(now(), pens, touches));
}

void VelaRelayListener::onHubCount(int hubs)
{
    m_hubTotal += hubs;
    send(hubCount(now(), m_hubTotal));
    clearAccumulator();
}

void VelaRelayListener::onPen(const PenData &data)
{
    send(pen(now(), data));
}
void VelaRelayListener::onTouch(const QList<TouchData> &touchData)
{
    send(touch(now(), touchData));
}
void VelaRelayListener::onEraser(const QList<EraserData> &eraserData)
{
    send(eraser(now(), eraserData));
}
void VelaRelayListener::onQuestionSession(bool inProgress)
{
    send(questionSession(now(), inProgress));
}

void VelaRelayListener::onQuestionResponse(uint uid, int id, const QString &response, const QString &name)
{
    send(questionResponse(now(), {id, uid, name, response}));
}

void VelaRelayListener::onQuestionDevices(const QList<QuestionDevice> &devices)
{
    m_deviceList += devices;
    send(questionDevices(now(), m_deviceList));
    clearAccumulator();
}

void VelaRelayListener::onAllCapabilities(int pens, int touches, const QuestionCapabilities &questionCaps)
{
    m_penTotal += pens;
    m_touchTotal += touches;
    mergeCapabilities(questionCaps);
    send(allCapabilities(now(), m_penTotal, m_touchTotal, m_capabilities));
    clearAccumulator();
}

void VelaRelayListener::onBoardCapabilities(int pens, int touches)
{
    send(boardCapabilities(now(), pens, touches));
}

void VelaRelayListener::onQuestionCapabilities(const QuestionCapabilities &questionCaps)
{
    mergeCapabilities(questionCaps);
    send(questionCapabilities(now(), m_capabilities));
    clearAccumulator();
}

void VelaRelayListener::onQueryCapabilities()
{
    m_client->sendCapabilities();
}
void VelaRelayListener::onError(VelaRelayErrorType type)
{
    send(error(now(), type));
}
void VelaRelayListener::onInformation(VelaRelayInformationType type)
{
    send(information(now(), type));
}

void VelaRelayListener::onGetSessionParameters(uint sessionId, uint uid, int locale)
{
    send(enhancedSessionGetSessionParameters(now(), sessionId, uid, locale));
}

void VelaRelayListener::onGetQuestion(uint sessionId, uint uid, int questionNumber)
{
    send(enhancedSessionGetQuestion(now(), sessionId, uid, questionNumber));
}

void VelaRelayListener::onMultichoiceAnswer(uint sessionId, uint uid, int questionNumber, const QString &answer)
{
    send(enhancedSessionMultichoiceAnswer(now(), sessionId, uid, questionNumber, answer));
}

void VelaRelayListener::onYesNoAnswer(uint sessionId, uint uid, int questionNumber, int answer)
{
    send(enhancedSessionYesNoAnswer(now(), sessionId, uid, questionNumber, answer));
}

void VelaRelayListener::onTrueFalseAnswer(uint sessionId, uint uid, int questionNumber, int answer)
{
    send(enhancedSessionTrueFalseAnswer(now(), sessionId, uid, questionNumber, answer));
}

void VelaRelayListener::onLikertAnswer(uint sessionId, uint uid, int questionNumber, int likertValue)
{
    send(enhancedSessionLikertAnswer(now(), sessionId, uid, questionNumber, likertValue));
}

void VelaRelayListener::onNumericAnswer(uint sessionId, uint uid, int questionNumber, const QString &answer)
{
    send(enhancedSessionNumericAnswer(now(), sessionId, uid, questionNumber, answer));
}

void VelaRelayListener::onTextAnswer(uint sessionId, uint uid, int questionNumber, const QString &answer, bool isValid)
{
    send(enhancedSessionTextAnswer(now(), sessionId, uid, questionNumber, answer, isValid));
}

void VelaRelayListener::onSortInOrderAnswer(uint sessionId, uint uid, int questionNumber, const QString &answer)
{
    send(enhancedSessionSortInOrderAnswer(now(), sessionId, uid, questionNumber, answer));
}

void VelaRelayListener::onDeviceShutDown(uint sessionId, uint uid)
{
    send(enhancedSessionDeviceShutDown(now(), sessionId, uid));
}

void VelaRelayListener::onHubState(uint state)
{
    send(hubState(now(), state));
}
void VelaRelayListener::onEnhancedSessionID(uint sessionId)
{
    send(enhancedSessionID(now(), sessionId));
}
void VelaRelayListener::onResetHubSessionResult(uint result)
{
    send(resetHubSessionResult(now(), result));
}
void VelaRelayListener::onRegistrationComplete(uint value)
{
    send(registrationComplete(now(), value));
}
void VelaRelayListener::onNamingSessionStatus(uint status)
{
    send(namingSessionStatus(now(), status));
}
void VelaRelayListener::onExpressionName(uint uid, const QString &name)
{
    send(expressionName(now(), uid, name));
}

void VelaRelayListener::onExpressionDeviceRegistered(const QString &text, uint uid, uint type, uint count)
{
    send(expressionDeviceRegistered(now(), text, uid, type, count));
}

void VelaRelayListener::onRemoveVelaDevice(uint uid, uchar deviceType, bool removed)
{
    send(removeVelaDevice(now(), uid, deviceType, removed));
}

void VelaRelayListener::mergeCapabilities(const QuestionCapabilities &in)
{
    QuestionCapabilities &c = m_capabilities;
    // A flag already set stays set.
    for (auto flag : {&QuestionCapabilities::multipleChoice, &QuestionCapabilities::sortInOrder,
                      &QuestionCapabilities::likert, &QuestionCapabilities::yesNo, &QuestionCapabilities::trueFalse,
                      &QuestionCapabilities::numeric, &QuestionCapabilities::text}) {
        if (!(c.*flag))
            c.*flag = in.*flag;
    }
    // The larger number wins, so a negative one never goes out.
    for (auto number :
         {&QuestionCapabilities::multipleChoiceMinOptions, &QuestionCapabilities::multipleChoiceMaxOptions,
          &QuestionCapabilities::multipleChoiceMinResponses, &QuestionCapabilities::multipleChoiceMaxResponses,
          &QuestionCapabilities::sortInOrderMinOptions, &QuestionCapabilities::sortInOrderMaxOptions,
          &QuestionCapabilities::sortInOrderMinResponses, &QuestionCapabilities::sortInOrderMaxResponses,
          &QuestionCapabilities::likertMinScale, &QuestionCapabilities::likertMaxScale}) {
        c.*number = std::max(c.*number, in.*number);
    }
    // The don't-know answers always go out as not offered.
    c.yesNoDontKnow = false;
    c.trueFalseDontKnow = false;
}

void VelaRelayListener::clearAccumulator()
{
    m_hubTotal = 0;
    m_deviceList.clear();
    m_capabilities = QuestionCapabilities();
    m_penTotal = 0;
    m_touchTotal = 0;
}
