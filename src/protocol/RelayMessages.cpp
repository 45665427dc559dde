#include "RelayMessages.h"

#include "RelayMessageTable.h"
#include "WireFormat.h"

#include <charconv>

namespace {

using RelayMessages::MessageCode;

// The keyword of a row; a constant, so a builder costs what a literal would.
constexpr QLatin1String keyword(MessageCode code)
{
    const std::string_view k = RelayMessages::Table::kMessages[static_cast<std::size_t>(code)].keyword;
    return QLatin1String(k.data(), static_cast<int>(k.size()));
}

// Appends fields to one message. Numbers go out in decimal with no fill, the
// way QString::number writes them, but straight into the message: a pen
// sample carries six numbers, and a temporary string for each was the
// largest cost of building it.
class Message
{
public:
    explicit Message(MessageCode code)
    {
        m_text.reserve(64);
        m_text += keyword(code);
    }
    Message(MessageCode code, qint64 ts)
        : Message(code)
    {
        field(ts);
    }

    Message &field(qint64 value) { return number(WireFormat::FieldSeparator, value); }
    Message &field(int value) { return number(WireFormat::FieldSeparator, value); }
    Message &field(uint value) { return number(WireFormat::FieldSeparator, value); }
    Message &field(bool value) { return field(value ? QLatin1String("1") : QLatin1String("0")); }
    Message &field(QLatin1String text)
    {
        m_text += WireFormat::FieldSeparator;
        m_text += text;
        return *this;
    }
    Message &field(const QString &raw)
    {
        m_text += WireFormat::FieldSeparator;
        m_text += raw;
        return *this;
    }
    Message &escaped(const QString &text) { return field(WireFormat::escapeText(text)); }
    Message &sub(int value) { return number(WireFormat::SubValueSeparator, value); }
    Message &sub(bool value) { return sub(value ? 1 : 0); }

    // QString is implicitly shared: handing the text out copies no characters.
    operator QString() const { return m_text; }

private:
    template <typename Separator, typename Int>
    Message &number(const Separator &separator, Int value)
    {
        char digits[24];
        const char *end = std::to_chars(digits, digits + sizeof digits, value).ptr;
        m_text += separator;
        m_text += QLatin1String(digits, static_cast<int>(end - digits));
        return *this;
    }

    QString m_text;
};

// The labels are the groups' field names in the table.
Message &capabilityGroups(Message &m, const QuestionCapabilities &c)
{
    namespace Table = RelayMessages::Table;
    m.field(QLatin1String(Table::kMultipleChoice.name))
        .sub(c.multipleChoice)
        .sub(c.multipleChoiceMinOptions)
        .sub(c.multipleChoiceMaxOptions)
        .sub(c.multipleChoiceMinResponses)
        .sub(c.multipleChoiceMaxResponses);
    m.field(QLatin1String(Table::kSortInOrder.name))
        .sub(c.sortInOrder)
        .sub(c.sortInOrderMinOptions)
        .sub(c.sortInOrderMaxOptions)
        .sub(c.sortInOrderMinResponses)
        .sub(c.sortInOrderMaxResponses);
    m.field(QLatin1String(Table::kLikert.name)).sub(c.likert).sub(c.likertMinScale).sub(c.likertMaxScale);
    m.field(QLatin1String(Table::kYesNo.name)).sub(c.yesNo).sub(c.yesNoDontKnow);
    m.field(QLatin1String(Table::kTrueFalse.name)).sub(c.trueFalse).sub(c.trueFalseDontKnow);
    m.field(QLatin1String(Table::kNumeric.name)).sub(c.numeric);
    m.field(QLatin1String(Table::kText.name)).sub(c.text);
    return m;
}

// The four enhanced-session messages that differ only in their last field.
template <typename Last>
QString sessionMessage(MessageCode code, qint64 ts, uint sessionId, uint uid, int questionNumber, const Last &last)
{
    return Message(code, ts).field(sessionId).field(uid).field(questionNumber).field(last);
}

} // namespace

namespace RelayMessages {

QString greeting()
{
    return QStringLiteral("o");
}

QString addressPrefix(const QString &address)
{
    return address + WireFormat::FieldSeparator;
}

QString keepAlive()
{
    return Message(MessageCode::KeepAlive);
}

// The pair messages write the touch count before the pen count.
QString board(qint64 ts, int pens, int touches)
{
    return Message(MessageCode::Board, ts).field(touches).field(pens);
}

QString eraseCount(qint64 ts, int erases)
{
    return Message(MessageCode::EraseCount, ts).field(erases);
}

QString hubConnection(qint64 ts)
{
    return Message(MessageCode::HubConnection, ts).field(1).field(1).field(1);
}

QString boardDisconnect(qint64 ts, int pens, int touches)
{
    return Message(MessageCode::BoardDisconnect, ts).field(touches).field(pens);
}

QString hubCount(qint64 ts, int hubs)
{
    return Message(MessageCode::HubCount, ts).field(hubs);
}

QString pen(qint64 ts, const PenData &data)
{
    return Message(MessageCode::Pen)
        .field(data.id)
        .field(ts)
        .field(data.x)
        .field(data.y)
        .field(data.tip)
        .field(data.barrel);
}

QString touch(qint64 ts, const QList<TouchData> &touchData)
{
    Message m(MessageCode::Touch, ts);
    for (const TouchData &t : touchData)
        m.field(t.id).sub(t.x).sub(t.y).sub(int(t.down));
    return m;
}

QString eraser(qint64 ts, const QList<EraserData> &eraserData)
{
    Message m(MessageCode::Eraser, ts);
    for (const EraserData &e : eraserData)
        m.field(e.id).sub(e.x).sub(e.y).sub(e.width).sub(e.height).sub(int(e.down));
    return m;
}

QString questionSession(qint64 ts, bool inProgress)
{
    return Message(MessageCode::QuestionSession, ts).field(inProgress);
}

QString questionResponse(qint64 ts, const QuestionResponse &r)
{
    return Message(MessageCode::QuestionResponse, ts)
        .field(r.id)
        .field(uint(r.uid))
        .escaped(r.name)
        .escaped(r.response);
}

QString questionDevices(qint64 ts, const QList<QuestionDevice> &devices)
{
    Message m(MessageCode::QuestionDevices, ts);
    for (const QuestionDevice &d : devices)
        m.field(QString::number(d.uid) + WireFormat::SubValueSeparator + WireFormat::escapeText(d.name));
    return m;
}

QString allCapabilities(qint64 ts, int pens, int touches, const QuestionCapabilities &caps)
{
    Message m(MessageCode::AllCapabilities, ts);
    m.field(touches).field(pens);
    return capabilityGroups(m, caps);
}

QString boardCapabilities(qint64 ts, int pens, int touches)
{
    return Message(MessageCode::BoardCapabilities, ts).field(touches).field(pens);
}

QString questionCapabilities(qint64 ts, const QuestionCapabilities &caps)
{
    Message m(MessageCode::QuestionCapabilities, ts);
    return capabilityGroups(m, caps);
}

const std::array<MessageRow, MessageCount> &messageTable()
{
    return Table::kMessages;
}

const std::array<CodeText, 3> &errorTexts()
{
    return Table::kErrors;
}

const std::array<CodeText, 1> &informationTexts()
{
    return Table::kInformations;
}

template <std::size_t N>
QString codeText(const std::array<CodeText, N> &texts, int value)
{
    for (const CodeText &t : texts) {
        if (t.value == value)
            return QLatin1String(t.text);
    }
    return QStringLiteral("UNDEFINED");
}

QString errorText(VelaRelayErrorType type)
{
    return codeText(Table::kErrors, type);
}

QString informationText(VelaRelayInformationType type)
{
    return codeText(Table::kInformations, type);
}

QString error(qint64 ts, VelaRelayErrorType type)
{
    return Message(MessageCode::Error, ts).field(errorText(type));
}

QString information(qint64 ts, VelaRelayInformationType type)
{
    return Message(MessageCode::Information, ts).field(informationText(type));
}

QString enhancedSessionGetSessionParameters(qint64 ts, uint sessionId, uint uid, int locale)
{
    return Message(MessageCode::EnhancedSessionGetSessionParameters, ts).field(sessionId).field(uid).field(locale);
}

QString enhancedSessionGetQuestion(qint64 ts, uint sessionId, uint uid, int questionNumber)
{
    return Message(MessageCode::EnhancedSessionGetQuestion, ts).field(sessionId).field(uid).field(questionNumber);
}

QString enhancedSessionMultichoiceAnswer(qint64 ts, uint sessionId, uint uid, int questionNumber, const QString &answer)
{
    return sessionMessage(MessageCode::EnhancedSessionMultichoiceAnswer, ts, sessionId, uid, questionNumber, answer);
}

QString enhancedSessionYesNoAnswer(qint64 ts, uint sessionId, uint uid, int questionNumber, int answer)
{
    return sessionMessage(MessageCode::EnhancedSessionYesNoAnswer, ts, sessionId, uid, questionNumber, answer);
}

QString enhancedSessionTrueFalseAnswer(qint64 ts, uint sessionId, uint uid, int questionNumber, int answer)
{
    return sessionMessage(MessageCode::EnhancedSessionTrueFalseAnswer, ts, sessionId, uid, questionNumber, answer);
}

QString enhancedSessionLikertAnswer(qint64 ts, uint sessionId, uint uid, int questionNumber, int likertValue)
{
    return sessionMessage(MessageCode::EnhancedSessionLikertAnswer, ts, sessionId, uid, questionNumber, likertValue);
}

QString enhancedSessionNumericAnswer(qint64 ts, uint sessionId, uint uid, int questionNumber, const QString &answer)
{
    return sessionMessage(MessageCode::EnhancedSessionNumericAnswer, ts, sessionId, uid, questionNumber,
                          WireFormat::escapeText(answer));
}

QString enhancedSessionTextAnswer(qint64 ts, uint sessionId, uint uid, int questionNumber, const QString &answer,
                                  bool isValid)
{
    return Message(MessageCode::EnhancedSessionTextAnswer, ts)
        .field(sessionId)
        .field(uid)
        .field(questionNumber)
        .escaped(answer)
        .field(isValid);
}

QString enhancedSessionSortInOrderAnswer(qint64 ts, uint sessionId, uint uid, int questionNumber, const QString &answer)
{
    return sessionMessage(MessageCode::EnhancedSessionSortInOrderAnswer, ts, sessionId, uid, questionNumber, answer);
}

QString enhancedSessionDeviceShutDown(qint64 ts, uint sessionId, uint uid)
{
    return Message(MessageCode::EnhancedSessionDeviceShutDown, ts).field(sessionId).field(uid);
}

QString hubState(qint64 ts, uint state)
{
    return Message(MessageCode::HubState, ts).field(state);
}

QString enhancedSessionID(qint64 ts, uint sessionId)
{
    return Message(MessageCode::EnhancedSessionID, ts).field(sessionId);
}

QString resetHubSessionResult(qint64 ts, uint result)
{
    return Message(MessageCode::ResetHubSessionResult, ts).field(result);
}

QString registrationComplete(qint64 ts, uint value)
{
    return Message(MessageCode::RegistrationComplete, ts).field(value);
}

QString namingSessionStatus(qint64 ts, uint status)
{
    return Message(MessageCode::NamingSessionStatus, ts).field(status);
}

QString expressionName(qint64 ts, uint uid, const QString &name)
{
    return Message(MessageCode::ExpressionName, ts).field(uid).escaped(name);
}

QString expressionDeviceRegistered(qint64 ts, const QString &text, uint uid, uint type, uint count)
{
    return Message(MessageCode::ExpressionDeviceRegistered, ts).escaped(text).field(uid).field(type).field(count);
}

QString removeVelaDevice(qint64 ts, uint uid, uchar deviceType, bool removed)
{
    return Message(MessageCode::RemoveVelaDevice, ts).field(uid).field(uint(deviceType)).field(removed);
}

} // namespace RelayMessages
