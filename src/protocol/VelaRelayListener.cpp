#include "VelaRelayListener.h"

#include "RelayCommands.h"
#include "RelayMessages.h"
#include "WireFormat.h"

#include <QMetaMethod>
#include <QTimer>

#include <algorithm>

using namespace RelayMessages;

VelaRelayListener::VelaRelayListener(std::unique_ptr<IVelaRelayClient> client, QObject *parent, int keepAliveIntervalMs,
                                     Clock clock)
    : QObject(parent)
    , m_clock(clock ? clock : WireFormat::timestamp)
    , m_keepAliveTimer(new QTimer(this))
    , m_client(std::move(client))
{
    registerRelayMetaTypes();
    relayHubEvents();
    connect(m_keepAliveTimer, &QTimer::timeout, this, &VelaRelayListener::onKeepAlive);
    m_keepAliveTimer->start(keepAliveIntervalMs);
}

template <auto Build, typename Signal>
void VelaRelayListener::relay(Signal signal, Qt::ConnectionType type)
{
    // The arguments arrive by reference and go to the builder as they are: a
    // pen sample costs one call of its builder and nothing more.
    connect(
        m_client.get(), signal, this, [this](const auto &...args) { send(Build(now(), args...)); }, type);
}

// One message for each event, sent the moment it comes: no queue and no state.
void VelaRelayListener::relayHubEvents()
{
    using I = IVelaRelayClient;
    IVelaRelayClient *client = m_client.get();

    // Counts and boards.
    relay<board>(&I::penAndTouchCount);
    relay<eraseCount>(&I::erasesCount);
    relay<hubConnection>(&I::hubConnected);
    relay<boardDisconnect>(&I::boardDisconnected);
    relay<hubCount>(&I::hubCount);

    // Board input. A pen sample may be sent from the hub library's thread
    // while it holds the main thread's gate; it must not be queued there.
    relay<pen>(&I::pen, Qt::DirectConnection);
    relay<touch>(&I::touch);
    relay<eraser>(&I::eraser);

    // Questions.
    relay<questionSession>(&I::questionSession);
    connect(client, &I::questionResponse, this, [this](uint uid, int id, const QString &response, const QString &name) {
        send(questionResponse(now(), {id, uid, name, response}));
    });
    relay<questionDevices>(&I::questionDevices);

    // Capabilities.
    connect(client, &I::allCapabilities, this, [this](int pens, int touches, const QuestionCapabilities &caps) {
        send(allCapabilities(now(), pens, touches, capabilitiesAsReported(caps)));
    });
    relay<boardCapabilities>(&I::boardCapabilities);
    connect(client, &I::questionCapabilities, this, [this](const QuestionCapabilities &caps) {
        send(questionCapabilities(now(), capabilitiesAsReported(caps)));
    });
    // The hub side answers in the capability mode a client chose.
    connect(client, &I::queryCapabilities, client, &I::sendCapabilities);

    // Errors and information.
    relay<error>(&I::error);
    relay<information>(&I::information);

    // Enhanced question sessions.
    relay<enhancedSessionGetSessionParameters>(&I::sendGetSessionParameters);
    relay<enhancedSessionGetQuestion>(&I::sendGetQuestion);
    relay<enhancedSessionMultichoiceAnswer>(&I::sendMultichoiceAnswer);
    relay<enhancedSessionYesNoAnswer>(&I::sendYesNoAnswer);
    relay<enhancedSessionTrueFalseAnswer>(&I::sendTrueFalseAnswer);
    relay<enhancedSessionLikertAnswer>(&I::sendLikertAnswer);
    relay<enhancedSessionNumericAnswer>(&I::sendNumericAnswer);
    relay<enhancedSessionTextAnswer>(&I::sendTextAnswer);
    relay<enhancedSessionSortInOrderAnswer>(&I::sendSortInOrderAnswer);
    relay<enhancedSessionDeviceShutDown>(&I::sendDeviceShutDown);
    relay<enhancedSessionID>(&I::sendEnhancedSessionID);

    // Hub state, registration and naming.
    relay<hubState>(&I::sendHubState);
    relay<resetHubSessionResult>(&I::sendResetHubSessionResult);
    relay<registrationComplete>(&I::sendRegistrationComplete);
    relay<namingSessionStatus>(&I::sendNamingSessionStatus);
    relay<expressionName>(&I::updateExpressionName);
    relay<expressionDeviceRegistered>(&I::sendExpressionDeviceRegistered);
    relay<removeVelaDevice>(&I::sendRemoveVelaDevice);
}

void VelaRelayListener::onRelayMessageReceived(const QString &packet)
{
    const Dispatch dispatch = dispatchCommand(*m_client, packet);
    if (dispatch)
        emit relayMessageReceived(packet);
    // The reason is worded only for a log that is listening.
    else if (isSignalConnected(QMetaMethod::fromSignal(&VelaRelayListener::commandRefused)))
        emit commandRefused(describeRefusal(dispatch, packet));
}

void VelaRelayListener::onSetNumConnections(int numConnections)
{
    m_client->setNumConnections(numConnections);
}

void VelaRelayListener::onKeepAlive()
{
    send(keepAlive());
}

QuestionCapabilities capabilitiesAsReported(QuestionCapabilities caps)
{
    for (auto limit :
         {&QuestionCapabilities::multipleChoiceMinOptions, &QuestionCapabilities::multipleChoiceMaxOptions,
          &QuestionCapabilities::multipleChoiceMinResponses, &QuestionCapabilities::multipleChoiceMaxResponses,
          &QuestionCapabilities::sortInOrderMinOptions, &QuestionCapabilities::sortInOrderMaxOptions,
          &QuestionCapabilities::sortInOrderMinResponses, &QuestionCapabilities::sortInOrderMaxResponses,
          &QuestionCapabilities::likertMinScale, &QuestionCapabilities::likertMaxScale}) {
        caps.*limit = std::max(caps.*limit, 0);
    }
    caps.yesNoDontKnow = false;
    caps.trueFalseDontKnow = false;
    return caps;
}
