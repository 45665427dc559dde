#include "DevicePrivate.h"
#include "EventLoop.h"
#include "HubPrivate.h"
#include "JournaledCall.h"
#include "Model.h"
#include "SessionState.h"

#include <velasystem/EnhancedQuestionSession.h>

#include <vector>

namespace Velasystem {

namespace {
// Native and private pen reporting, as the hub's firmware numbers them.
constexpr int PenReportNative = 6000;
constexpr int PenReportPrivate = 6001;

template <class Value>
Value read(const Hub *hub, Value HubSettings::*field)
{
    std::lock_guard<std::mutex> lock(Model::get().mutex);
    return HubPrivate::get(hub)->settings.*field;
}

void journalTarget(const Hub *hub, JournaledCall &call)
{
    const HubPrivate *d = HubPrivate::get(hub);
    call.target(d->index, d->gone ? JournaledCall::Marker::Gone : JournaledCall::Marker::None);
}

struct PlannedAnswer
{
    quint32 uid;
    int delayMs;
    Response response;
};

// Runs on the library thread when a planned answer is due; the answer is
// given only if its question still runs and auto-answer was not switched.
void giveAutoAnswer(Hub *hub, quint64 questionGeneration, quint64 autoGeneration, const SimpleQuestion &question,
                    const PlannedAnswer &planned)
{
    {
        Model &model = Model::get();
        std::lock_guard<std::mutex> lock(model.mutex);
        const HubPrivate *d = HubPrivate::get(hub);
        if (d->gone || d->questionGeneration != questionGeneration || model.autoAnswer.generation() != autoGeneration)
            return;
    }
    emitResponse(hub, question.kind, planned.uid, question.questionId, planned.response);
}
} // namespace

Hub *HubPrivate::create(Model &model, int index, const HubSettings &settings)
{
    auto d = std::make_unique<HubPrivate>();
    d->index = index;
    d->settings = settings;
    HubPrivate *state = d.get();
    Hub *hub = new Hub(std::move(d));
    state->enhanced = SessionState::create<EnhancedQuestionSession>(hub, false);
    model.keep(hub);
    model.keep(state->enhanced);
    return hub;
}

Device *HubPrivate::device(quint32 uid) const
{
    for (Device *device : devices) {
        if (DevicePrivate::get(device)->uid == uid)
            return device;
    }
    return nullptr;
}

bool HubPrivate::unlist(quint32 uid, int subType)
{
    Device *found = device(uid);
    if (!found || (subType >= 0 && DevicePrivate::get(found)->subType != subType))
        return false;
    devices.removeOne(found);
    return true;
}

void HubPrivate::endQuestion()
{
    questionRunning = false;
    ++questionGeneration;
}

bool HubPrivate::beginQuestion(Hub *hub, JournaledCall &call, const SimpleQuestion &started)
{
    if (!call.proceed())
        return false;
    endQuestion();
    questionRunning = true;
    question = started;

    AutoAnswer &autoAnswer = call.model().autoAnswer;
    if (!autoAnswer.enabled())
        return true;
    std::vector<PlannedAnswer> plan;
    for (Device *device : devices) {
        const DevicePrivate *dev = DevicePrivate::get(device);
        if (dev->subType == Device::Velaexpression)
            plan.push_back({dev->uid, autoAnswer.nextDelayMs(), autoAnswer.answer(started)});
    }
    const quint64 questionGen = questionGeneration;
    const quint64 autoGen = autoAnswer.generation();
    // Timers belong to the library thread; this call may come from any thread.
    EventLoop::get().post([=] {
        for (const PlannedAnswer &planned : plan) {
            EventLoop::get().startTimer(planned.delayMs,
                                        [=] { giveAutoAnswer(hub, questionGen, autoGen, started, planned); });
        }
    });
    return true;
}

Hub::Hub(std::unique_ptr<HubPrivate> state)
    : d(std::move(state))
{}

Hub::~Hub() = default;

int Hub::hubIndex() const
{
    return d->index; // never changes
}

int Hub::getHubType() const
{
    return read(this, &HubSettings::type);
}
int Hub::getHubState() const
{
    return read(this, &HubSettings::state);
}
int Hub::getNumPensSupported() const
{
    return read(this, &HubSettings::pens);
}
int Hub::getNumTouchesSupported() const
{
    return read(this, &HubSettings::touches);
}
int Hub::getNumErasesSupported() const
{
    return read(this, &HubSettings::erasers);
}
bool Hub::isTouchEnabled() const
{
    return read(this, &HubSettings::touch) != 0;
}
bool Hub::isEraseEnabled() const
{
    return read(this, &HubSettings::erase) != 0;
}
bool Hub::isVirtualHub() const
{
    return read(this, &HubSettings::isVirtual) != 0;
}

bool Hub::getDeviceList(Device::SubType subType, QList<Device *> &devices) const
{
    std::lock_guard<std::mutex> lock(Model::get().mutex);
    devices.clear();
    for (Device *device : d->devices) {
        if (DevicePrivate::get(device)->subType == subType)
            devices.append(device);
    }
    return true;
}

EnhancedQuestionSession *Hub::enhancedQuestionSession() const
{
    std::lock_guard<std::mutex> lock(Model::get().mutex);
    return d->settings.enhanced ? d->enhanced : nullptr;
}

bool Hub::setPenHardwareMode(quint8 penId, int mode)
{
    JournaledCall call("hub", "setPenHardwareMode");
    journalTarget(this, call);
    call << penId << mode;
    return call.proceed() && penId >= 1 && penId <= d->settings.pens;
}

bool Hub::setPenReportMode(quint8 penId, int mode)
{
    JournaledCall call("hub", "setPenReportMode");
    journalTarget(this, call);
    call << penId << mode;
    return call.proceed() && penId >= 1 && penId <= d->settings.pens
        && (mode == PenReportNative || mode == PenReportPrivate);
}

bool Hub::setTouchReportMode(int mode)
{
    JournaledCall call("hub", "setTouchReportMode");
    journalTarget(this, call);
    call << mode;
    return call.proceed() && (mode == 0 || mode == 1);
}

bool Hub::setEraseReportMode(int mode)
{
    JournaledCall call("hub", "setEraseReportMode");
    journalTarget(this, call);
    call << mode;
    return call.proceed() && (mode == 0 || mode == 1);
}

bool Hub::setBacklight(quint8 level, quint8 colour)
{
    JournaledCall call("hub", "setBacklight");
    journalTarget(this, call);
    call << level << colour;
    return call.proceed();
}

bool Hub::resetHubSession()
{
    JournaledCall call("hub", "resetHubSession");
    journalTarget(this, call);
    if (!call.proceed())
        return false;
    d->endQuestion();
    d->endUserNaming = false;
    return true;
}

bool Hub::startMultichoiceSession(int questionId, int numberOfOptions, int numberOfResponses, int displayOption,
                                  int timeUnit, int duration, ResponseCallback, void *)
{
    JournaledCall call("hub", "startMultichoiceSession");
    journalTarget(this, call);
    call << questionId << numberOfOptions << numberOfResponses << displayOption << timeUnit << duration;
    return d->beginQuestion(this, call,
                            {QuestionKind::Multichoice, questionId, numberOfOptions, numberOfResponses, false});
}

bool Hub::startSortInOrderSession(int questionId, int numberOfOptions, int numberOfResponses, int displayOption,
                                  int timeUnit, int duration, ResponseCallback, void *)
{
    JournaledCall call("hub", "startSortInOrderSession");
    journalTarget(this, call);
    call << questionId << numberOfOptions << numberOfResponses << displayOption << timeUnit << duration;
    return d->beginQuestion(this, call,
                            {QuestionKind::SortInOrder, questionId, numberOfOptions, numberOfResponses, false});
}

bool Hub::startLikertSession(int questionId, int scale, int timeUnit, int duration, ResponseCallback, void *)
{
    JournaledCall call("hub", "startLikertSession");
    journalTarget(this, call);
    call << questionId << scale << timeUnit << duration;
    return d->beginQuestion(this, call, {QuestionKind::Likert, questionId, scale, 0, false});
}

bool Hub::startYesNoSession(int questionId, bool dontKnow, int timeUnit, int duration, ResponseCallback, void *)
{
    JournaledCall call("hub", "startYesNoSession");
    journalTarget(this, call);
    call << questionId << dontKnow << timeUnit << duration;
    return d->beginQuestion(this, call, {QuestionKind::YesNo, questionId, 0, 0, dontKnow});
}

bool Hub::startTrueFalseSession(int questionId, bool dontKnow, int timeUnit, int duration, ResponseCallback, void *)
{
    JournaledCall call("hub", "startTrueFalseSession");
    journalTarget(this, call);
    call << questionId << dontKnow << timeUnit << duration;
    return d->beginQuestion(this, call, {QuestionKind::TrueFalse, questionId, 0, 0, dontKnow});
}

bool Hub::startNumericSession(int questionId, const QString &mask, int maxCharacters, int timeUnit, int duration,
                              ResponseCallback, void *)
{
    JournaledCall call("hub", "startNumericSession");
    journalTarget(this, call);
    call << questionId << mask << maxCharacters << timeUnit << duration;
    return d->beginQuestion(this, call, {QuestionKind::Numeric, questionId, 0, 0, false});
}

bool Hub::startTextSession(int questionId, const QString &mask, int maxCharacters, int timeUnit, int duration,
                           bool allowMath, ResponseCallback, void *)
{
    JournaledCall call("hub", "startTextSession");
    journalTarget(this, call);
    call << questionId << mask << maxCharacters << timeUnit << duration << allowMath;
    return d->beginQuestion(this, call, {QuestionKind::Text, questionId, 0, 0, false});
}

bool Hub::stopSession()
{
    JournaledCall call("hub", "stopSession");
    journalTarget(this, call);
    if (!call.proceed())
        return false;
    d->endQuestion();
    return true;
}

bool Hub::startExpressionEnduserNamingSession(int questionId, qint8 characterType, int maxLength, bool confirm,
                                              ResponseCallback, void *)
{
    JournaledCall call("hub", "startExpressionEnduserNamingSession");
    journalTarget(this, call);
    call << questionId << int(characterType) << maxLength << confirm;
    if (!call.proceed())
        return false;
    d->endUserNaming = true;
    return true;
}

bool Hub::stopExpressionEndUserNamingSession()
{
    JournaledCall call("hub", "stopExpressionEndUserNamingSession");
    journalTarget(this, call);
    if (!call.proceed())
        return false;
    d->endUserNaming = false;
    return true;
}

} // namespace Velasystem
