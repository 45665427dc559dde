#include "VelaSystemClient.h"

#include <QThread>

#include <velasystem/VelaSystem.h>

#include <chrono>

using Velasystem::Hub;

namespace {

qint64 monotonicMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

// A pen sample that follows the one before it sooner than this belongs to a
// burst, which the main thread gathers and writes in one piece; one pen
// reports every 5 to 10 ms.
constexpr qint64 kLonePenGapUs = 1000;

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

// Board input -------------------------------------------------------------

void VelaSystemClient::forwardPenEvent(Hub *hub, Hub::PenEvent event, quint8 id, int x, int y, bool tip, bool barrel)
{
    // What an automatic connection does, at a fraction of the cost.
    if (QThread::currentThread() == thread()) {
        onPenEventReceived(hub, event, id, x, y, tip, barrel);
        return;
    }
    const PenSample sample{hub, event, id, x, y, tip, barrel};
    if (!passPenSample(sample))
        handOver(sample);
}

void VelaSystemClient::handOver(BoardInput input)
{
    // One wake-up for everything that gathers before this thread takes it.
    if (m_boardInput.push(std::move(input)))
        m_takeBoardInput.invoke(this, Qt::QueuedConnection);
}

bool VelaSystemClient::passPenSample(const PenSample &s)
{
    if (m_gate == nullptr)
        return false;
    using namespace std::chrono;
    const qint64 now = duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count();
    const qint64 previous = m_lastPenArrival.exchange(now, std::memory_order_relaxed);
    if (now - previous < kLonePenGapUs || !m_gate->tryPass())
        return false;
    // Until endPass() the main thread stays in its loop or waits at the gate.
    // It has yet to handle what was handed over before; this sample may not
    // overtake that.
    bool passed = m_boardInput.empty();
    if (passed && m_numConnections != 0) {
        switch (m_input.pen(s.id, s.x, s.y, s.tip, m_penPrivate, m_clock())) {
        case BoardInputFilter::Verdict::Forward: emit pen(PenData{s.id, s.x, s.y, s.tip, s.barrel}); break;
        // Losing the focus calls the hub library, which is not to be entered
        // from inside its own signal: the main thread does it.
        case BoardInputFilter::Verdict::FocusLost: passed = false; break;
        case BoardInputFilter::Verdict::Drop: break;
        }
    }
    m_gate->endPass();
    return passed;
}

void VelaSystemClient::takeBoardInput()
{
    for (const BoardInput &input : m_boardInput.takeAll()) {
        if (const auto *s = std::get_if<PenSample>(&input))
            onPenEventReceived(s->hub, s->event, s->id, s->x, s->y, s->tip, s->barrel);
        else if (const auto *t = std::get_if<TouchReport>(&input))
            onTouchEventReceived(t->hub, t->points);
        else if (const auto *e = std::get_if<EraserReport>(&input))
            onEraserEventReceived(e->hub, e->erasers);
    }
}

void VelaSystemClient::onPenEventReceived(Hub *, Hub::PenEvent, quint8 id, int x, int y, bool tip, bool barrel)
{
    if (m_numConnections == 0)
        return;
    switch (m_input.pen(id, x, y, tip, m_penPrivate, m_clock())) {
    case BoardInputFilter::Verdict::Forward: emit pen(PenData{id, x, y, tip, barrel}); break;
    case BoardInputFilter::Verdict::FocusLost: focusLost(); break;
    case BoardInputFilter::Verdict::Drop: break;
    }
}

void VelaSystemClient::forwardTouchEvent(Hub *hub, const QList<Hub::TouchInfo> &points)
{
    if (QThread::currentThread() == thread())
        onTouchEventReceived(hub, points);
    else
        handOver(TouchReport{hub, points});
}

void VelaSystemClient::forwardEraserEvent(Hub *hub, const QList<Hub::EraserInfo> &erasers)
{
    if (QThread::currentThread() == thread())
        onEraserEventReceived(hub, erasers);
    else
        handOver(EraserReport{hub, erasers});
}

void VelaSystemClient::onTouchEventReceived(Hub *, const QList<Hub::TouchInfo> &points)
{
    if (m_numConnections == 0)
        return;
    QVector<BoardInputFilter::Contact> contacts;
    contacts.reserve(points.size());
    for (const Hub::TouchInfo &p : points)
        contacts.append({p.id, p.x, p.y, 0, 0, p.pressed});
    const BoardInputFilter::Batch batch = m_input.touch(contacts, m_touchPrivate, m_clock());
    if (batch.focusLost)
        focusLost();
    if (batch.forwarded.isEmpty())
        return;
    QList<TouchData> touchData;
    touchData.reserve(batch.forwarded.size());
    for (int i : batch.forwarded) {
        const Hub::TouchInfo &p = points.at(i);
        touchData.append(TouchData{p.id, p.x, p.y, static_cast<unsigned char>(p.pressed)});
    }
    emit touch(touchData);
}

void VelaSystemClient::onEraserEventReceived(Hub *, const QList<Hub::EraserInfo> &erasers)
{
    if (m_numConnections == 0)
        return;
    QVector<BoardInputFilter::Contact> contacts;
    contacts.reserve(erasers.size());
    for (const Hub::EraserInfo &e : erasers)
        contacts.append({e.id, e.x, e.y, e.width, e.height, e.pressed});
    const BoardInputFilter::Batch batch = m_input.eraser(contacts, m_clock());
    if (batch.forwarded.isEmpty())
        return;
    QList<EraserData> eraserData;
    eraserData.reserve(batch.forwarded.size());
    for (int i : batch.forwarded) {
        const Hub::EraserInfo &e = erasers.at(i);
        eraserData.append(EraserData{e.id, e.x, e.y, e.width, e.height, static_cast<unsigned char>(e.pressed)});
    }
    emit eraser(eraserData);
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
