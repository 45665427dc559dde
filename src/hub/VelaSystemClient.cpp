#include "VelaSystemClient.h"

#include <velasystem/VelaSystem.h>

#include <chrono>

using Velasystem::Hub;

namespace {

qint64 monotonicMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

} // namespace

VelaSystemClient::VelaSystemClient(Clock clock, int keepAliveTimeoutMs, MainLoopGate *gate)
    : m_system(Velasystem::VelaSystem::instance())
    , m_hubs(m_system)
    , m_clock(clock ? clock : monotonicMs)
    , m_gate(gate)
    , m_supervisor(new RelayIntelligenceManager(keepAliveTimeoutMs))
    , m_questions(*this, m_hubs)
    , m_enhanced(*this)
    , m_registration(*this, m_system)
{
    registerRelayMetaTypes();
    m_supervisor->setParent(this);
    m_takeBoardInput = metaObject()->method(metaObject()->indexOfSlot("takeBoardInput()"));
    m_system->initialise();

    connect(m_system, &Velasystem::VelaSystem::newHubConnected, this, &VelaSystemClient::onHubConnected);
    connect(m_system, &Velasystem::VelaSystem::hubDisconnected, this, &VelaSystemClient::onHubDisconnected);
    connect(m_supervisor, &RelayIntelligenceManager::changeReportMode, this,
            &VelaSystemClient::onIntelligenceManagerReportMode);
    connect(m_supervisor, &RelayIntelligenceManager::clientUnresponsive, this, &VelaSystemClient::onClientUnresponsive);

    setScreenSize(0, 0);
    setWindowPosition(0, 0, 0, 0);
    m_numConnections = 0;
    for (Hub *hub : m_hubs.hubs())
        onHubConnected(hub);
}

VelaSystemClient::~VelaSystemClient()
{
    // The library outlives the adapter; nothing of it may call back here.
    disconnect(m_system, nullptr, this, nullptr);
    for (Hub *hub : m_hubs.hubs())
        disconnect(hub, nullptr, this, nullptr);
}

// Hubs --------------------------------------------------------------------

void VelaSystemClient::onHubConnected(Hub *hub)
{
    if (hub->getHubType() == HubGroup::VotingHubType)
        m_votingHub = hub;
    m_questions.followHub(hub);
    if (hub->isVirtualHub())
        return;

    if (hub->getNumPensSupported() != 0 || hub->isTouchEnabled()) {
        queryPenAndTouchCount();
        queryErasesCount();
    } else {
        emit hubConnected();
    }
    emit queryCapabilities();

    // A hub announced again must not deliver its events twice. Board input
    // is taken where the hub emits: a pen sample may leave from there, and
    // what does not goes through one queue (forwardPenEvent).
    const auto unique = static_cast<Qt::ConnectionType>(Qt::DirectConnection | Qt::UniqueConnection);
    connect(hub, &Hub::penEventReceived, this, &VelaSystemClient::forwardPenEvent, unique);
    connect(hub, &Hub::touchEventReceived, this, &VelaSystemClient::forwardTouchEvent, unique);
    connect(hub, &Hub::eraserEventReceived, this, &VelaSystemClient::forwardEraserEvent, unique);
}

void VelaSystemClient::onHubDisconnected(Hub *hub)
{
    const int pens = hub->getNumPensSupported();
    const int touches = hub->getNumTouchesSupported();
    if (pens != 0 || touches != 0)
        emit boardDisconnected(pens, touches);
    emit queryCapabilities();

    // Nothing may address a hub that has gone: the sessions it ran end, and
    // the voting role passes to another connected voting hub, if there is one.
    m_enhanced.hubGone(hub);
    m_registration.hubGone(hub);
    m_questions.hubGone(hub);
    if (m_votingHub == hub) {
        m_votingHub = nullptr;
        for (Hub *other : m_hubs.hubs()) {
            if (other != hub && other->getHubType() == HubGroup::VotingHubType)
                m_votingHub = other;
        }
    }
}

QJsonObject VelaSystemClient::status() const
{
    QJsonValue window;
    if (m_input.hasWindow())
        window = QJsonObject{{"x", double(m_input.windowLeft())},
                             {"y", double(m_input.windowTop())},
                             {"width", double(m_input.windowWidth())},
                             {"height", double(m_input.windowHeight())}};
    auto mode = [](bool isPrivate) { return isPrivate ? QLatin1String("private") : QLatin1String("native"); };
    QJsonObject sessions = m_registration.status();
    sessions.insert("question", m_questions.status());
    sessions.insert("enhanced", m_enhanced.status());
    return QJsonObject{
        {"hubs", m_hubs.status(m_votingHub)},
        {"votingHub", m_votingHub ? QJsonValue(m_votingHub->hubIndex()) : QJsonValue()},
        {"screen", QJsonObject{{"width", double(m_input.screenWidth())}, {"height", double(m_input.screenHeight())}}},
        {"window", window},
        {"reportModes",
         QJsonObject{{"pen", mode(m_penPrivate)},
                     {"touch", mode(m_touchPrivate)},
                     {"eraser", mode(m_erasePrivate)},
                     {"supervision", m_supervisor->isEnabled()},
                     {"boards", m_hubs.boardModes()}}},
        {"sessions", sessions},
    };
}

// Counts and capabilities -----------------------------------------------

void VelaSystemClient::queryPenAndTouchCount()
{
    emit penAndTouchCount(m_hubs.maxPens(), m_hubs.maxTouches());
}

void VelaSystemClient::queryErasesCount()
{
    emit erasesCount(m_hubs.maxErasers());
}

void VelaSystemClient::queryHubCount()
{
    emit hubCount(m_hubs.hubs().size());
}

QuestionCapabilities VelaSystemClient::capabilities() const
{
    QuestionCapabilities c;
    bool voting = false;
    for (const Hub *hub : m_hubs.hubs()) {
        if (hub->getNumPensSupported() == 0 && !hub->isTouchEnabled()) {
            voting = true;
            break;
        }
    }
    if (!voting)
        return c;
    c.multipleChoice = c.sortInOrder = c.likert = c.yesNo = c.trueFalse = c.numeric = c.text = true;
    int k = 0;
    for (int *number : {&c.multipleChoiceMinOptions, &c.multipleChoiceMaxOptions, &c.multipleChoiceMinResponses,
                        &c.multipleChoiceMaxResponses, &c.sortInOrderMinOptions, &c.sortInOrderMaxOptions,
                        &c.sortInOrderMinResponses, &c.sortInOrderMaxResponses, &c.likertMinScale, &c.likertMaxScale})
        *number = HubGroup::capabilityValue(k++);
    c.yesNoDontKnow = HubGroup::capabilityValue(10) != 0;
    c.trueFalseDontKnow = HubGroup::capabilityValue(11) != 0;
    return c;
}

void VelaSystemClient::getAllCapabilities()
{
    emit allCapabilities(m_hubs.maxPens(), m_hubs.maxTouches(), capabilities());
}

void VelaSystemClient::getBoardCapabilities()
{
    emit boardCapabilities(m_hubs.maxPens(), m_hubs.maxTouches());
}

void VelaSystemClient::getQuestionCapabilities()
{
    emit questionCapabilities(capabilities());
}

void VelaSystemClient::sendCapabilities()
{
    if (m_capabilitiesMode == 0)
        getAllCapabilities();
    else if (m_capabilitiesMode == 2)
        getQuestionCapabilities();
    else
        getBoardCapabilities();
}

// Report modes, supervision and the client's window ------------------------

void VelaSystemClient::setPenPrivate(bool isPrivate, int penId)
{
    m_penPrivate = isPrivate;
    if (penId == 0)
        m_hubs.setAllPensMode(isPrivate);
    else
        m_hubs.setPenMode(isPrivate, penId);
}

void VelaSystemClient::setTouchPrivate(bool isPrivate)
{
    m_touchPrivate = isPrivate;
    m_hubs.setTouchMode(isPrivate);
}

void VelaSystemClient::setErasePrivate(bool isPrivate)
{
    m_erasePrivate = isPrivate;
    m_hubs.setEraseMode(isPrivate);
}

void VelaSystemClient::onIntelligenceManagerReportMode(BoardReportType type)
{
    const bool isPrivate = type != REPORT_NATIVE;
    m_hubs.setAllPensMode(isPrivate);
    m_hubs.setTouchMode(isPrivate);
}

void VelaSystemClient::onClientUnresponsive()
{
    emit error(CLIENT_UNRESPONSIVE);
}

void VelaSystemClient::focusLost()
{
    m_hubs.setAllPensMode(false);
    m_hubs.setTouchMode(false);
    emit information(FOCUS_LOST);
}

// The voting hub ------------------------------------------------------------

void VelaSystemClient::changeBacklight(int a, int b)
{
    if (m_votingHub)
        m_votingHub->setBacklight(static_cast<quint8>(a), static_cast<quint8>(b));
}

void VelaSystemClient::getState()
{
    if (m_votingHub)
        emit sendHubState(static_cast<uint>(m_votingHub->getHubState()));
}

void VelaSystemClient::resetSession()
{
    if (!m_votingHub)
        return;
    if (m_votingHub->resetHubSession()) {
        m_questions.hubSessionReset();
        emit sendResetHubSessionResult(1);
    } else {
        emit sendResetHubSessionResult(0);
    }
}

void VelaSystemClient::setNumConnections(int numConnections)
{
    m_numConnections = numConnections;
    if (numConnections != 0)
        return;
    // Nobody is left to follow the sessions.
    m_enhanced.stop();
    m_registration.endRegistration();
    m_registration.stopTeacherNaming(m_votingHub);
    m_registration.endStudentNaming(m_votingHub);
}
