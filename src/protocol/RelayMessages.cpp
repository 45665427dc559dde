#include "RelayMessages.h"

#include "WireFormat.h"

#include <charconv>

namespace {

// Appends fields to one message. Numbers go out in decimal with no fill, the
// way QString::number writes them, but straight into the message: a pen
// sample carries six numbers, and a temporary string for each was the
// largest cost of building it.
class Message
{
public:
    explicit Message(QLatin1String keyword)
    {
        m_text.reserve(64);
        m_text += keyword;
    }
    Message(QLatin1String keyword, qint64 ts)
        : Message(keyword)
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

Message &capabilityGroups(Message &m, const QuestionCapabilities &c)
{
    m.field(QLatin1String("multipleChoice"))
        .sub(c.multipleChoice)
        .sub(c.multipleChoiceMinOptions)
        .sub(c.multipleChoiceMaxOptions)
        .sub(c.multipleChoiceMinResponses)
        .sub(c.multipleChoiceMaxResponses);
    m.field(QLatin1String("sortInOrder"))
        .sub(c.sortInOrder)
        .sub(c.sortInOrderMinOptions)
        .sub(c.sortInOrderMaxOptions)
        .sub(c.sortInOrderMinResponses)
        .sub(c.sortInOrderMaxResponses);
    m.field(QLatin1String("likert")).sub(c.likert).sub(c.likertMinScale).sub(c.likertMaxScale);
    m.field(QLatin1String("yesNo")).sub(c.yesNo).sub(c.yesNoDontKnow);
    m.field(QLatin1String("trueFalse")).sub(c.trueFalse).sub(c.trueFalseDontKnow);
    m.field(QLatin1String("numeric")).sub(c.numeric);
    m.field(QLatin1String("text")).sub(c.text);
    return m;
}

// The four enhanced-session messages that differ only in their last field.
template <typename Last>
QString sessionMessage(QLatin1String keyword, qint64 ts, uint sessionId, uint uid, int questionNumber, const Last &last)
{
    return Message(keyword, ts).field(sessionId).field(uid).field(questionNumber).field(last);
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
    return QStringLiteral("keepAlive%1").arg(5);
}

// The pair messages write the touch count before the pen count.
QString board(qint64 ts, int pens, int touches)
{
    return Message(QLatin1String("board"), ts).field(touches).field(pens);
}

QString eraseCount(qint64 ts, int erases)
{
    return Message(QLatin1String("eraseCount"), ts).field(erases);
}

QString hubConnection(qint64 ts)
{
    return Message(QLatin1String("hubConnection"), ts).field(1).field(1).field(1);
}

QString boardDisconnect(qint64 ts, int pens, int touches)
{
    return Message(QLatin1String("boardDisconnect"), ts).field(touches).field(pens);
}

QString hubCount(qint64 ts, int hubs)
{
    return Message(QLatin1String("hubCount"), ts).field(hubs);
}

QString pen(qint64 ts, const PenData &data)
{
    return Message(QLatin1String("pen"))
        .field(data.id)
        .field(ts)
        .field(data.x)
        .field(data.y)
        .field(data.tip)
        .field(data.barrel);
}

QString touch(qint64 ts, const QList<TouchData> &touchData)
{
    Message m(QLatin1String("touch"), ts);
    for (const TouchData &t : touchData)
        m.field(t.id).sub(t.x).sub(t.y).sub(int(t.down));
    return m;
}

QString eraser(qint64 ts, const QList<EraserData> &eraserData)
{
    Message m(QLatin1String("eraser"), ts);
    for (const EraserData &e : eraserData)
        m.field(e.id).sub(e.x).sub(e.y).sub(e.width).sub(e.height).sub(int(e.down));
    return m;
}

QString questionSession(qint64 ts, bool inProgress)
{
    return Message(QLatin1String("questionSession"), ts).field(inProgress);
}

QString questionResponse(qint64 ts, const QuestionResponse &r)
{
    return Message(QLatin1String("questionResponse"), ts)
        .field(r.id)
        .field(uint(r.uid))
        .escaped(r.name)
        .escaped(r.response);
}

QString questionDevices(qint64 ts, const QList<QuestionDevice> &devices)
{
    Message m(QLatin1String("questionDevices"), ts);
    for (const QuestionDevice &d : devices)
        m.field(QString::number(d.uid) + WireFormat::SubValueSeparator + WireFormat::escapeText(d.name));
    return m;
}

QString allCapabilities(qint64 ts, int pens, int touches, const QuestionCapabilities &caps)
{
    Message m(QLatin1String("allCapabilities"), ts);
    m.field(touches).field(pens);
    return capabilityGroups(m, caps);
}

QString boardCapabilities(qint64 ts, int pens, int touches)
{
    return Message(QLatin1String("boardCapabilities"), ts).field(touches).field(pens);
}

QString questionCapabilities(qint64 ts, const QuestionCapabilities &caps)
{
    Message m(QLatin1String("questionCapabilities"), ts);
    return capabilityGroups(m, caps);
}

QString errorText(VelaRelayErrorType type)
{
    switch (type) {
    case SCRIBA_RUNNING: return QStringLiteral("SCRIBA_RUNNING");
    case UNSUPPORTED_QUESTION: return QStringLiteral("UNSUPPORTED_QUESTION");
    case CLIENT_UNRESPONSIVE: return QStringLiteral("CLIENT_UNRESPONSIVE");
    }
    return QStringLiteral("UNDEFINED");
}

QString informationText(VelaRelayInformationType type)
{
    return type == FOCUS_LOST ? QStringLiteral("FOCUS_LOST") : QStringLiteral("UNDEFINED");
}

QString error(qint64 ts, VelaRelayErrorType type)
{
    return Message(QLatin1String("error"), ts).field(errorText(type));
}

QString information(qint64 ts, VelaRelayInformationType type)
{
    return Message(QLatin1String("information"), ts).field(informationText(type));
}

QString enhancedSessionGetSessionParameters(qint64 ts, uint sessionId, uint uid, int locale)
{
    return Message(QLatin1String("enhancedSessionGetSessionParameters"), ts).field(sessionId).field(uid).field(locale);
}

QString enhancedSessionGetQuestion(qint64 ts, uint sessionId, uint uid, int questionNumber)
{
    return Message(QLatin1String("enhancedSessionGetQuestion"), ts).field(sessionId).field(uid).field(questionNumber);
}

QString enhancedSessionMultichoiceAnswer(qint64 ts, uint sessionId, uint uid, int questionNumber, const QString &answer)
{
    return sessionMessage(QLatin1String("enhancedSessionMultichoiceAnswer"), ts, sessionId, uid, questionNumber,
                          answer);
}

QString enhancedSessionYesNoAnswer(qint64 ts, uint sessionId, uint uid, int questionNumber, int answer)
{
    return sessionMessage(QLatin1String("enhancedSessionYesNoAnswer"), ts, sessionId, uid, questionNumber, answer);
}

QString enhancedSessionTrueFalseAnswer(qint64 ts, uint sessionId, uint uid, int questionNumber, int answer)
{
    return sessionMessage(QLatin1String("enhancedSessionTrueFalseAnswer"), ts, sessionId, uid, questionNumber, answer);
}

QString enhancedSessionLikertAnswer(qint64 ts, uint sessionId, uint uid, int questionNumber, int likertValue)
{
    return sessionMessage(QLatin1String("enhancedSessionLikertAnswer"), ts, sessionId, uid, questionNumber,
                          likertValue);
}

QString enhancedSessionNumericAnswer(qint64 ts, uint sessionId, uint uid, int questionNumber, const QString &answer)
{
    return sessionMessage(QLatin1String("enhancedSessionNumericAnswer"), ts, sessionId, uid, questionNumber,
                          WireFormat::escapeText(answer));
}

QString enhancedSessionTextAnswer(qint64 ts, uint sessionId, uint uid, int questionNumber, const QString &answer,
                                  bool isValid)
{
    return Message(QLatin1String("enhancedSessionTextAnswer"), ts)
        .field(sessionId)
        .field(uid)
        .field(questionNumber)
        .escaped(answer)
        .field(isValid);
}

QString enhancedSessionSortInOrderAnswer(qint64 ts, uint sessionId, uint uid, int questionNumber, const QString &answer)
{
    return sessionMessage(QLatin1String("enhancedSessionSortInOrderAnswer"), ts, sessionId, uid, questionNumber,
                          answer);
}

QString enhancedSessionDeviceShutDown(qint64 ts, uint sessionId, uint uid)
{
    return Message(QLatin1String("enhancedSessionDeviceShutDown"), ts).field(sessionId).field(uid);
}

QString hubState(qint64 ts, uint state)
{
    return Message(QLatin1String("hubState"), ts).field(state);
}

QString enhancedSessionID(qint64 ts, uint sessionId)
{
    return Message(QLatin1String("enhancedSessionID"), ts).field(sessionId);
}

QString resetHubSessionResult(qint64 ts, uint result)
{
    return Message(QLatin1String("resetHubSessionResult"), ts).field(result);
}

QString registrationComplete(qint64 ts, uint value)
{
    return Message(QLatin1String("registrationComplete"), ts).field(value);
}

QString namingSessionStatus(qint64 ts, uint status)
{
    return Message(QLatin1String("namingSessionStatus"), ts).field(status);
}

QString expressionName(qint64 ts, uint uid, const QString &name)
{
    return Message(QLatin1String("expressionName"), ts).field(uid).escaped(name);
}

QString expressionDeviceRegistered(qint64 ts, const QString &text, uint uid, uint type, uint count)
{
    return Message(QLatin1String("expressionDeviceRegistered"), ts).escaped(text).field(uid).field(type).field(count);
}

QString removeVelaDevice(qint64 ts, uint uid, uchar deviceType, bool removed)
{
    return Message(QLatin1String("removeVelaDevice"), ts).field(uid).field(uint(deviceType)).field(removed);
}

} // namespace RelayMessages
