#include "Commands.h"

#include "DevicePrivate.h"
#include "HubPrivate.h"
#include "Model.h"
#include "SessionState.h"

#include <climits>

namespace Velasystem {

namespace {
enum class Request {
    GetSessionParameters,
    GetQuestion,
    MultichoiceAnswer,
    NumericAnswer,
    SortInOrderAnswer,
    YesNoAnswer,
    TrueFalseAnswer,
    LikertAnswer,
    TextAnswer,
    DeviceShutDown,
};

// What follows UID in each device request.
enum class Form {
    Number,
    NumberText,
    NumberAnswer,
    NumberValidText,
    Nothing
};

struct RequestRow
{
    const char *word;
    Request request;
    Form form;
};

const RequestRow requests[] = {
    {"getSessionParameters", Request::GetSessionParameters, Form::Number},
    {"getQuestion", Request::GetQuestion, Form::Number},
    {"multichoiceAnswer", Request::MultichoiceAnswer, Form::NumberText},
    {"numericAnswer", Request::NumericAnswer, Form::NumberText},
    {"sortInOrderAnswer", Request::SortInOrderAnswer, Form::NumberText},
    {"yesNoAnswer", Request::YesNoAnswer, Form::NumberAnswer},
    {"trueFalseAnswer", Request::TrueFalseAnswer, Form::NumberAnswer},
    {"likertAnswer", Request::LikertAnswer, Form::NumberAnswer},
    {"textAnswer", Request::TextAnswer, Form::NumberValidText},
    {"deviceShutDown", Request::DeviceShutDown, Form::Nothing},
};

struct RequestArgs
{
    int number = 0;
    int value = 0;
    bool valid = false;
    QString text;
};

void emitRequest(EnhancedQuestionSession *s, Request request, quint32 uid, const RequestArgs &a)
{
    switch (request) {
    case Request::GetSessionParameters: emit s->getSessionParameters(s, uid, a.number); break;
    case Request::GetQuestion: emit s->getQuestion(s, uid, a.number); break;
    case Request::MultichoiceAnswer: emit s->multichoiceAnswer(s, uid, a.number, a.text); break;
    case Request::NumericAnswer: emit s->numericAnswer(s, uid, a.number, a.text); break;
    case Request::SortInOrderAnswer: emit s->sortInOrderAnswer(s, uid, a.number, a.text); break;
    case Request::YesNoAnswer:
        emit s->yesNoAnswer(s, uid, a.number, static_cast<YesNoQuestion::Answer>(a.value));
        break;
    case Request::TrueFalseAnswer:
        emit s->trueFalseAnswer(s, uid, a.number, static_cast<TrueFalseQuestion::Answer>(a.value));
        break;
    case Request::LikertAnswer: emit s->likertAnswer(s, uid, a.number, a.value); break;
    case Request::TextAnswer: emit s->textAnswer(s, uid, a.number, a.text, a.valid); break;
    case Request::DeviceShutDown: emit s->deviceShutDown(s, uid); break;
    }
}

const RequestRow *findRequest(const QString &word)
{
    for (const RequestRow &row : requests) {
        if (word == QLatin1String(row.word))
            return &row;
    }
    return nullptr;
}
} // namespace

QString enhancedRequest(CommandContext &c)
{
    const int index = c.args.hubIndex(0);
    const RequestRow *row = findRequest(c.args.word(1));
    if (!row)
        return error(QStringLiteral("unknown enhanced request '%1'").arg(c.args.word(1)));
    const quint32 uid = c.args.uid(2);
    RequestArgs a;
    const char *numberName = row->request == Request::GetSessionParameters ? "LOCALE" : "NUMBER";
    if (row->form != Form::Nothing)
        a.number = static_cast<int>(c.args.integer(3, numberName, INT_MIN, INT_MAX));
    if (row->form == Form::NumberText)
        a.text = c.args.text(4);
    if (row->form == Form::NumberValidText) {
        a.valid = c.args.flag(4, "VALID");
        a.text = c.args.text(5);
    }
    if (row->form == Form::NumberAnswer) {
        const bool likert = row->request == Request::LikertAnswer;
        a.value = static_cast<int>(c.args.integer(4, "VALUE", likert ? INT_MIN : 0, likert ? INT_MAX : 2));
    }
    if (row->form == Form::Nothing && c.args.count() > 3)
        c.args.fail(QStringLiteral("usage: enhanced HUB deviceShutDown UID"));
    Hub *hub = c.args.ok() ? hubWithDevice(c, index, uid) : nullptr;
    if (!hub)
        return error(c.args.error());
    EnhancedQuestionSession *session = hub->enhancedQuestionSession();
    if (!session)
        return error(QStringLiteral("hub %1 has no enhanced question session").arg(index));
    emitRequest(session, row->request, uid, a);
    return ok();
}

QString registerDevice(CommandContext &c)
{
    const quint32 uid = c.args.uid(0);
    const auto subType =
        static_cast<Device::SubType>(c.args.integer(1, "SUBTYPE", Device::Slate, Device::Velaexpression));
    const QString name = c.args.text(2);
    if (!c.args.ok())
        return error(c.args.error());
    VelahubRegistrationSession *session = nullptr;
    {
        std::lock_guard<std::mutex> lock(c.model.mutex);
        session = c.model.registration;
        if (!session)
            return error(QStringLiteral("no registration session is open"));
        // A device that registers again replaces its earlier entry.
        HubPrivate *hub = HubPrivate::get(SessionState::get(session)->hub);
        hub->unlist(uid, -1);
        Device *device = DevicePrivate::create(uid, subType, name);
        c.model.keep(device);
        hub->devices.append(device);
    }
    emit session->expressionDeviceRegistered(name, uid, subType);
    return ok();
}

QString nameDevice(CommandContext &c)
{
    const quint32 uid = c.args.uid(0);
    const QString name = c.args.text(1);
    if (!c.args.ok())
        return error(c.args.error());
    VelahubExpressionNamingSession *session = nullptr;
    {
        std::lock_guard<std::mutex> lock(c.model.mutex);
        session = c.model.naming;
        if (!session)
            return error(QStringLiteral("no expression naming session is open"));
        const HubPrivate *hub = HubPrivate::get(SessionState::get(session)->hub);
        Device *device = hub->device(uid);
        if (!device)
            return error(QStringLiteral("hub %1 has no device %2").arg(hub->index).arg(uid));
        DevicePrivate::get(device)->name = name;
    }
    emit session->expressionDeviceNamed(name, uid);
    return ok();
}

} // namespace Velasystem
