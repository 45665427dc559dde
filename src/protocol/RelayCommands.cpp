#include "RelayCommands.h"

#include "IVelaRelayClient.h"
#include "WireFormat.h"

#include <algorithm>

namespace {

using Client = IVelaRelayClient &;
using Fields = const QStringList &;

// Arguments are numbered from 1: argument 1 is field 2 of the packet, after
// the group and command words.
const QString &raw(Fields f, int n)
{
    return f.at(n + 1);
}
int num(Fields f, int n)
{
    return WireFormat::readInt(raw(f, n));
}
quint32 uid(Fields f, int n)
{
    return WireFormat::readUInt(raw(f, n));
}
bool flag(Fields f, int n)
{
    return WireFormat::readBool(raw(f, n));
}
QString text(Fields f, int n)
{
    return WireFormat::unescapeText(raw(f, n));
}

void ask(Client c, QuestionType type, int id, int options, int responses, bool dontKnow)
{
    QuestionParameters parameters;
    parameters.questionId = id;
    parameters.numberOfOptions = options;
    parameters.numberOfResponses = responses;
    parameters.dontKnow = dontKnow;
    c.askQuestion(type, parameters);
}

// Arguments 1 to 7 of every enhanced question command.
EnhancedQuestionHeader header(Fields f)
{
    EnhancedQuestionHeader h;
    h.sessionId = uid(f, 1);
    h.uid = uid(f, 2);
    h.questionNumber = num(f, 3);
    h.text = text(f, 4);
    h.optionFlags = {flag(f, 5), flag(f, 6), flag(f, 7)};
    return h;
}

// A message can hold no more bit characters than this, and bits past the end of
// the string are clear anyway; the bound keeps a client's count from sizing a
// huge allocation.
constexpr int kMaxSessionQuestionBits = 1 << 20;

constexpr std::
    array<CommandRow, CommandCount>
        kCommands =
            {
                {
                    // Counts of the boards and hubs.
                    {CommandCode::BoardTouchAndPenCount, "board", "touchAndPenCount", 0,
                     [](Client c, Fields) { c.queryPenAndTouchCount(); }},
                    {CommandCode::EraseCount, "erase", "count", 0, [](Client c, Fields) { c.queryErasesCount(); }},
                    {CommandCode::HubCount, "hub", "count", 0, [](Client c, Fields) { c.queryHubCount(); }},

                    // The voting hub: session, backlight, state, registration and naming.
                    {CommandCode::HubResetSession, "hub", "resetSession", 0,
                     [](Client c, Fields) { c.resetSession(); }},
                    {CommandCode::HubChangeBacklight, "hub", "changeBacklight", 2,
                     [](Client c, Fields f) { c.changeBacklight(num(f, 1), num(f, 2)); }},
                    {CommandCode::HubGetState, "hub", "getState", 0, [](Client c, Fields) { c.getState(); }},
                    {CommandCode::HubClearExpressions, "hub", "clearExpressions", 0,
                     [](Client c, Fields) { c.clearExpressions(); }},
                    {CommandCode::HubStopRegistrationSession, "hub", "stopRegistrationSession", 0,
                     [](Client c, Fields) { c.stopRegistrationSession(); }},
                    {CommandCode::HubStartRegistrationSession, "hub", "startRegistrationSession", 7,
                     [](Client c, Fields f) {
                         c.startRegistrationSession(num(f, 1), num(f, 2), num(f, 3), raw(f, 4), num(f, 5), num(f, 6),
                                                    num(f, 7));
                     }},
                    {CommandCode::HubStartStudentNamingSession, "hub", "startStudentNamingSession", 4,
                     [](Client c, Fields f) {
                         c.startStudentNamingSession(num(f, 1), static_cast<qint8>(num(f, 2) & 0xff), num(f, 3),
                                                     num(f, 4));
                     }},
                    {CommandCode::HubStartTeacherNamingSession, "hub", "startTeacherNamingSession", 0,
                     [](Client c, Fields) { c.startTeacherNamingSession(); }},
                    {CommandCode::HubNameExpression, "hub", "nameExpression", 2,
                     [](Client c, Fields f) { c.nameExpression(uid(f, 1), text(f, 2)); }},
                    {CommandCode::HubStartExpressionNamingSession, "hub", "startExpressionNamingSession", 0,
                     [](Client c, Fields) { c.startExpressionNamingSession(); }},
                    {CommandCode::HubStopExpressionNamingSession, "hub", "stopExpressionNamingSession", 0,
                     [](Client c, Fields) { c.stopExpressionNamingSession(); }},
                    {CommandCode::HubStopExpressionEndUserNamingSession, "hub", "stopExpressionEndUserNamingSession", 0,
                     [](Client c, Fields) { c.stopExpressionEndUserNamingSession(); }},
                    {CommandCode::HubRemoveVelaDevice, "hub", "removeVelaDevice", 2,
                     [](Client c, Fields f) { c.removeVelaDevice(uid(f, 1), num(f, 2)); }},

                    // Report modes and the client's window.
                    {CommandCode::PenPrivate, "pen", "private", 1,
                     [](Client c, Fields f) {
                         c.setPenPrivate(WireFormat::readOneFlag(raw(f, 1)), f.size() > 3 ? num(f, 2) : 0);
                     }},
                    {CommandCode::TouchPrivate, "touch", "private", 1,
                     [](Client c, Fields f) { c.setTouchPrivate(WireFormat::readOneFlag(raw(f, 1))); }},
                    {CommandCode::ErasePrivate, "erase", "private", 1,
                     [](Client c, Fields f) { c.setErasePrivate(WireFormat::readOneFlag(raw(f, 1))); }},
                    {CommandCode::ScreenSize, "screen", "size", 2,
                     [](Client c, Fields f) { c.setScreenSize(num(f, 1), num(f, 2)); }},
                    {CommandCode::WindowPosition, "window", "position", 4,
                     [](Client c, Fields f) { c.setWindowPosition(num(f, 1), num(f, 2), num(f, 3), num(f, 4)); }},

                    // Simple questions.
                    {CommandCode::QuestionAskMultipleChoice, "question", "askMultipleChoiceQuestion", 3,
                     [](Client c, Fields f) { ask(c, MultipleChoice, num(f, 1), num(f, 2), num(f, 3), false); }},
                    {CommandCode::QuestionAskSortInOrder, "question", "askSortInOrderQuestion", 3,
                     [](Client c, Fields f) { ask(c, SortInOrder, num(f, 1), num(f, 2), num(f, 3), false); }},
                    {CommandCode::QuestionAskLikert, "question", "askLikertQuestion", 2,
                     [](Client c, Fields f) { ask(c, Likert, num(f, 1), num(f, 2), 0, false); }},
                    {CommandCode::QuestionAskYesNo, "question", "askYesNoQuestion", 2,
                     [](Client c, Fields f) { ask(c, YesNo, num(f, 1), 0, 0, flag(f, 2)); }},
                    {CommandCode::QuestionAskTrueFalse, "question", "askTrueFalseQuestion", 2,
                     [](Client c, Fields f) { ask(c, TrueFalse, num(f, 1), 0, 0, flag(f, 2)); }},
                    {CommandCode::QuestionAskNumeric, "question", "askNumericQuestion", 1,
                     [](Client c, Fields f) { ask(c, Numeric, num(f, 1), 0, 0, false); }},
                    {CommandCode::QuestionAskText, "question", "askTextQuestion", 1,
                     [](Client c, Fields f) { ask(c, Text, num(f, 1), 0, 0, false); }},
                    {CommandCode::QuestionStop, "question", "stopQuestion", 0,
                     [](Client c, Fields) { c.stopQuestion(); }},
                    {CommandCode::QuestionGetRegisteredDevices, "question", "getRegisteredDevices", 0,
                     [](Client c, Fields) { c.getRegisteredDevices(); }},

                    // Capabilities.
                    {CommandCode::CapabilitiesGetAll, "capabilities", "getAll",
                     0, [](Client c, Fields) { c.getAllCapabilities(); }},
                    {CommandCode::CapabilitiesGetBoard, "capabilities", "getBoard", 0,
                     [](Client c, Fields) { c.getBoardCapabilities(); }},
                    {CommandCode::CapabilitiesGetQuestion, "capabilities", "getQuestion", 0,
                     [](Client c, Fields) { c.getQuestionCapabilities(); }},
                    {CommandCode::CapabilitiesSetMode, "capabilities", "setMode", 1,
                     [](Client c, Fields f) { c.setCapabilitiesMode(num(f, 1)); }},

                    // Supervision of the client.
                    {CommandCode::RelayIntelligence, "relay", "intelligence", 1,
                     [](Client c, Fields f) { c.setIntelligence(flag(f, 1)); }},
                    {CommandCode::RelayKeepAlive, "relay", "keepAlive", 0, [](Client c, Fields) { c.keepAlive(); }},
                    {CommandCode::RelayFocus, "relay", "focus", 1, [](Client c, Fields f) { c.setFocus(flag(f, 1)); }},

                    // Enhanced question sessions.
                    {CommandCode::EnhancedStartSession, "enhanced", "startSession", 1,
                     [](Client c, Fields f) { c.startEnhancedSession(static_cast<quint8>(num(f, 1) & 0xff)); }},
                    {CommandCode::EnhancedSessionParameters, "enhanced", "sessionParameters", 7,
                     [](Client c, Fields f) {
                         c.sendEnhancedSessionParameters(uid(f, 1), uid(f, 2), num(f, 3), num(f, 4), flag(f, 5),
                                                         sessionQuestionBits(num(f, 3), raw(f, 6)), num(f, 7));
                     }},
                    {CommandCode::EnhancedMultichoiceQuestion, "enhanced", "multichoiceQuestion", 11,
                     [](Client c, Fields f) {
                         c.sendEnhancedMultichoiceQuestion(header(f), num(f, 8), num(f, 9), num(f, 10), raw(f, 11));
                     }},
                    {CommandCode::EnhancedYesNoDontKnowQuestion, "enhanced", "yesNoDontKnowQuestion", 9,
                     [](Client c, Fields f) { c.sendEnhancedYesNoQuestion(header(f), flag(f, 8), num(f, 9)); }},
                    {CommandCode::EnhancedTrueFalseDontKnowQuestion, "enhanced", "trueFalseDontKnowQuestion", 9,
                     [](Client c, Fields f) { c.sendEnhancedTrueFalseQuestion(header(f), flag(f, 8), num(f, 9)); }},
                    {CommandCode::EnhancedLikertQuestion, "enhanced", "likertQuestion", 9,
                     [](Client c, Fields f) { c.sendEnhancedLikertQuestion(header(f), num(f, 8), num(f, 9)); }},
                    {CommandCode::EnhancedNumericQuestion, "enhanced", "numericQuestion", 9,
                     [](Client c, Fields f) { c.sendEnhancedNumericQuestion(header(f), num(f, 8), text(f, 9)); }},
                    {CommandCode::EnhancedTextQuestion, "enhanced", "textQuestion", 10,
                     [](Client c,
                        Fields f) { c.sendEnhancedTextQuestion(header(f), num(f, 8), text(f, 9), flag(f, 10)); }},
                    {CommandCode::EnhancedSortInOrderQuestion, "enhanced", "sortInOrderQuestion", 11,
                     [](Client c, Fields f) {
                         c.sendEnhancedSortInOrderQuestion(header(f), num(f, 8), num(f, 9), num(f, 10), raw(f, 11));
                     }},
                    {CommandCode::EnhancedMessage, "enhanced", "message", 4,
                     [](Client c, Fields f) { c.sendEnhancedMessage(uid(f, 1), uid(f, 2), num(f, 3), text(f, 4)); }},
                    {CommandCode::EnhancedPopup, "enhanced", "popup", 4,
                     [](Client c, Fields f) { c.sendEnhancedPopup(uid(f, 1), uid(f, 2), flag(f, 3), text(f, 4)); }},
                    {CommandCode::EnhancedNoMoreQuestions, "enhanced", "noMoreQuestions", 3,
                     [](Client c, Fields f) { c.sendNoMoreQuestions(uid(f, 1), uid(f, 2), text(f, 3)); }},
                }};

constexpr bool rowsInCodeOrder()
{
    for (size_t i = 0; i < kCommands.size(); ++i) {
        if (static_cast<size_t>(kCommands[i].code) != i)
            return false;
    }
    return true;
}
// The dispatcher indexes the table by code.
static_assert(rowsInCodeOrder(), "command rows must stand in the order of their codes");

} // namespace

const std::array<CommandRow, CommandCount> &commandTable()
{
    return kCommands;
}

CommandCode lookupCommand(const QString &group, const QString &command)
{
    for (const CommandRow &row : kCommands) {
        if (group == QLatin1String(row.group) && command == QLatin1String(row.command))
            return row.code;
    }
    return CommandCode::Unknown;
}

bool hasEnoughArguments(CommandCode code, int fieldCount)
{
    const int index = static_cast<int>(code);
    if (index < 0 || index >= CommandCount)
        return false;
    return fieldCount - 2 >= kCommands[static_cast<size_t>(index)].minArguments;
}

QBitArray sessionQuestionBits(int count, const QString &bits)
{
    if (count <= 0)
        return QBitArray();
    QBitArray set(std::min(count, kMaxSessionQuestionBits));
    const int marked = std::min(set.size(), bits.size());
    for (int i = 0; i < marked; ++i) {
        if (bits.at(i) == QLatin1Char('1'))
            set.setBit(i);
    }
    return set;
}

bool dispatchCommand(IVelaRelayClient &client, const QString &packet)
{
    const QStringList fields = packet.split(WireFormat::FieldSeparator, Qt::KeepEmptyParts);
    if (fields.size() < 2)
        return false;
    const CommandCode code = lookupCommand(fields.at(0), fields.at(1));
    if (!hasEnoughArguments(code, fields.size()))
        return false;
    kCommands[static_cast<size_t>(code)].invoke(client, fields);
    return true;
}
