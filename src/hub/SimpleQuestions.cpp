#include "SimpleQuestions.h"

#include "HubGroup.h"

#include <velasystem/Device.h>

using Velasystem::Hub;

namespace {

// The hub's display option, time unit and duration for a simple question;
// answers come through the hub's signals, never a callback.
constexpr int DisplayOption = 2;
constexpr int TimeUnit = 0;
constexpr int Duration = 0;
constexpr int MaxCharacters = 255;

} // namespace

SimpleQuestions::SimpleQuestions(IVelaRelayClient &out, const HubGroup &hubs)
    : m_out(out)
    , m_hubs(hubs)
    , m_takeAnswer(metaObject()->method(metaObject()->indexOfSlot("takeAnswer()")))
{}

SimpleQuestions::~SimpleQuestions()
{
    // The library outlives this object, and its answers run here directly
    // on its own thread: none may reach members being destroyed.
    for (Hub *hub : m_hubs.hubs())
        disconnect(hub, nullptr, this, nullptr);
}

void SimpleQuestions::followHub(Hub *hub)
{
    // A hub announced again must not deliver its answers twice.
    const auto unique = static_cast<Qt::ConnectionType>(Qt::DirectConnection | Qt::UniqueConnection);
    connect(hub, &Hub::multichoiceSessionResponse, this, &SimpleQuestions::stringResponseReceived, unique);
    connect(hub, &Hub::yesNoSessionResponse, this, &SimpleQuestions::yesNoReceived, unique);
    connect(hub, &Hub::trueFalseSessionResponse, this, &SimpleQuestions::trueFalseReceived, unique);
    connect(hub, &Hub::likertSessionResponse, this, &SimpleQuestions::likertScaleReceived, unique);
    connect(hub, &Hub::numericSessionResponse, this, &SimpleQuestions::stringResponseReceived, unique);
    connect(hub, &Hub::textSessionResponse, this, &SimpleQuestions::stringResponseReceived, unique);
    connect(hub, &Hub::sortInOrderSessionResponse, this, &SimpleQuestions::stringResponseReceived, unique);
    addDevices(hub);
}

void SimpleQuestions::ask(Hub *votingHub, int questionType, const QuestionParameters &p)
{
    if (m_questionInProgress || !votingHub)
        return;
    votingHub->stopSession();

    bool started = false;
    switch (questionType) {
    case MultipleChoice:
        started = votingHub->startMultichoiceSession(p.questionId, p.numberOfOptions, p.numberOfResponses,
                                                     DisplayOption, TimeUnit, Duration, nullptr, nullptr);
        break;
    case SortInOrder:
        started = votingHub->startSortInOrderSession(p.questionId, p.numberOfOptions, p.numberOfResponses,
                                                     DisplayOption, TimeUnit, Duration, nullptr, nullptr);
        break;
    case Likert:
        started = votingHub->startLikertSession(p.questionId, p.numberOfOptions, TimeUnit, Duration, nullptr, nullptr);
        break;
    case YesNo:
        started = votingHub->startYesNoSession(p.questionId, p.dontKnow, TimeUnit, Duration, nullptr, nullptr);
        break;
    case TrueFalse:
        started = votingHub->startTrueFalseSession(p.questionId, p.dontKnow, TimeUnit, Duration, nullptr, nullptr);
        break;
    case Numeric:
        started = votingHub->startNumericSession(p.questionId, QString(), MaxCharacters, TimeUnit, Duration, nullptr,
                                                 nullptr);
        break;
    case Text:
        started = votingHub->startTextSession(p.questionId, QString(), MaxCharacters, TimeUnit, Duration, false,
                                              nullptr, nullptr);
        break;
    default: return;
    }
    if (!started)
        return;
    m_pendingResponders = m_registeredDevices;
    m_collectingResponses = true;
    m_questionInProgress = true;
    m_questionHub = votingHub;
    m_questionType = questionType;
    m_questionId = p.questionId;
    m_askedDevices = m_pendingResponders.size();
    ++m_questionGeneration;
    emit m_out.questionSession(true);
}

void SimpleQuestions::stop(Hub *votingHub)
{
    if (votingHub)
        votingHub->stopSession();
    endQuestion();
}

void SimpleQuestions::hubGone(Hub *hub)
{
    // Nothing more can be answered on a hub that has gone, and the clients
    // learn so as when a question ends normally.
    if (hub == m_questionHub && m_questionInProgress)
        endQuestion();
}

QJsonObject SimpleQuestions::status() const
{
    if (!m_questionInProgress)
        return QJsonObject{{"running", false}};
    // Named as the capability messages name the question types.
    static const char *const types[] = {"multipleChoice", "sortInOrder", "likert", "yesNo",
                                        "trueFalse",      "numeric",     "text"};
    return QJsonObject{
        {"running", true},         {"type", QLatin1String(types[m_questionType])},
        {"id", m_questionId},      {"hub", m_questionHub->hubIndex()},
        {"asked", m_askedDevices}, {"answered", m_askedDevices - m_pendingResponders.size()},
    };
}

void SimpleQuestions::endQuestion()
{
    m_questionInProgress = false;
    m_collectingResponses = false;
    ++m_questionGeneration;
    emit m_out.questionSession(false);
}

void SimpleQuestions::stringResponseReceived(Hub *, quint32 uid, int questionId, const QString &response)
{
    postAnswer(uid, questionId, response);
}

void SimpleQuestions::yesNoReceived(Hub *, quint32 uid, int questionId, Hub::YesNoResponse response)
{
    postAnswer(uid, questionId,
               response == 1       ? QStringLiteral("Yes")
                   : response == 0 ? QStringLiteral("No")
                                   : QStringLiteral("Don't Know"));
}

void SimpleQuestions::trueFalseReceived(Hub *, quint32 uid, int questionId, Hub::TrueFalseResponse response)
{
    postAnswer(uid, questionId,
               response == 1       ? QStringLiteral("True")
                   : response == 0 ? QStringLiteral("False")
                                   : QStringLiteral("Don't Know"));
}

void SimpleQuestions::likertScaleReceived(Hub *, quint32 uid, int questionId, int value)
{
    postAnswer(uid, questionId, QString::number(value));
}

void SimpleQuestions::postAnswer(quint32 uid, int questionId, const QString &response)
{
    // Handed-over answers keep their order, and each carries the question it
    // arrived during: one that is handled only after that question ended
    // must not count against the next.
    m_answers.push({m_questionGeneration.load(), uid, questionId, response});
    m_takeAnswer.invoke(this, Qt::QueuedConnection);
}

void SimpleQuestions::takeAnswer()
{
    Answer a;
    if (m_answers.pop(a) && a.generation == m_questionGeneration.load())
        acceptAnswer(a.uid, a.questionId, a.response);
}

void SimpleQuestions::acceptAnswer(quint32 uid, int questionId, const QString &response)
{
    const auto pending = m_pendingResponders.constFind(uid);
    if (!m_collectingResponses || pending == m_pendingResponders.constEnd())
        return;
    const QString name = pending.value();
    m_pendingResponders.remove(uid);
    emit m_out.questionResponse(uid, questionId, response, name);
    if (m_pendingResponders.isEmpty())
        endQuestion();
}

void SimpleQuestions::addDevices(Hub *hub)
{
    // A uid seen on an earlier hub keeps the name it had there.
    QList<Velasystem::Device *> devices;
    if (!hub->getDeviceList(Velasystem::Device::Velaexpression, devices))
        return;
    for (const Velasystem::Device *device : devices) {
        if (!m_registeredDevices.contains(device->uid()))
            m_registeredDevices.insert(device->uid(), device->name());
    }
}

void SimpleQuestions::reportDevices()
{
    m_registeredDevices.clear();
    for (Hub *hub : m_hubs.hubs())
        addDevices(hub);
    QList<QuestionDevice> devices;
    devices.reserve(m_registeredDevices.size());
    for (auto it = m_registeredDevices.constBegin(); it != m_registeredDevices.constEnd(); ++it)
        devices.append(QuestionDevice{it.key(), it.value()});
    emit m_out.questionDevices(devices);
}
