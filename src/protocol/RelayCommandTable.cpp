#include "RelayCommands.h"

#include "RelayEnhancedCommandRows.h"

#include <algorithm>

// The command table: every command a client can send, its one call, and what
// a client developer needs to use it. tools/protocol-reference prints the
// rows into docs/protocol.md.

namespace {

using namespace command_rows;

// One row a command; kept by hand so that its words stand on one line.
// clang-format off
constexpr std::array<CommandRow, CommandCount - kEnhancedCommands.size()> kFirstCommands{{
    // Counts of the boards and hubs.
    {CommandCode::BoardTouchAndPenCount, "board", "touchAndPenCount", 0,
     [](Client c, Fields) { c.queryPenAndTouchCount(); },
     {"Asks for the pen and touch counts: the most that any connected hub supports.", answeredBy(M::Board), {}}},
    {CommandCode::EraseCount, "erase", "count", 0,
     [](Client c, Fields) { c.queryErasesCount(); },
     {"Asks for the eraser count: the most that any connected hub supports.", answeredBy(M::EraseCount), {}}},
    {CommandCode::HubCount, "hub", "count", 0,
     [](Client c, Fields) { c.queryHubCount(); },
     {"Asks how many hubs are connected, virtual ones included.", answeredBy(M::HubCount), {}}},

    // The voting hub: session, backlight, state, registration and naming.
    {CommandCode::HubResetSession, "hub", "resetSession", 0,
     [](Client c, Fields) { c.resetSession(); },
     {"Has the voting hub reset its session, which ends its question and its learner naming. The relay then "
      "takes a new question at once, but sends no questionSession 0 for the one that ended.",
      answeredBy(M::ResetHubSessionResult),
      {},
      true}},
    {CommandCode::HubChangeBacklight, "hub", "changeBacklight", 2,
     [](Client c, Fields f) { c.changeBacklight(num(f, 1), num(f, 2)); },
     {"Sets the voting hub's backlight.",
      0,
      {{{"level", A::Int, "0 to 255 (the low 8 bits are used)", "the backlight level"},
        {"colour", A::Int, "0 to 255 (the low 8 bits are used)", "the backlight colour, as the hub numbers them"}}},
      true}},
    {CommandCode::HubGetState, "hub", "getState", 0,
     [](Client c, Fields) { c.getState(); },
     {"Asks for the voting hub's state.", answeredBy(M::HubState), {}, true}},
    {CommandCode::HubClearExpressions, "hub", "clearExpressions", 0,
     [](Client c, Fields) { c.clearExpressions(); },
     {"Takes every expression device off the voting hub; during a registration on that hub it goes through the "
      "registration, which stays open.",
      0,
      {},
      true}},
    {CommandCode::HubStopRegistrationSession, "hub", "stopRegistrationSession", 0,
     [](Client c, Fields) { c.stopRegistrationSession(); },
     {"Ends the registration under way; without one it does nothing.", answeredBy(M::RegistrationComplete), {}, true}},
    {CommandCode::HubStartRegistrationSession, "hub", "startRegistrationSession", 7,
     [](Client c, Fields f) {
         c.startRegistrationSession(num(f, 1), num(f, 2), num(f, 3), raw(f, 4), num(f, 5), num(f, 6), num(f, 7));
     },
     {"Opens a registration of learner devices on the voting hub; one still open ends first, without a report. "
      "Each device that joins is reported; the registration ends when count devices have joined or it is stopped.",
      answeredBy(M::ExpressionDeviceRegistered, M::RegistrationComplete),
      {{{"count", A::Int, "0 to 65535", "the devices expected; with 0 the first one ends the registration"},
        {"channel", A::Int, "0 to 255", "the hub's channel for naming; used only when maxLength is not 0"},
        {"group", A::Int, "0 to 255", "the hub's group for naming; used only when maxLength is not 0"},
        {"code", A::RawText, "any", "the registration code the learners type to join"},
        {"characterType", A::Int, "as the hub numbers them", "the characters allowed in a name; naming only"},
        {"confirm", A::Bool, "0 or 1", "learners confirm the name they typed; naming only"},
        {"maxLength", A::Int, "0 to 255",
         "the longest name; not 0: each device also asks its learner for a name, 0: registration alone"}}},
      true}},
    {CommandCode::HubStartStudentNamingSession, "hub", "startStudentNamingSession", 4,
     [](Client c, Fields f) {
         c.startStudentNamingSession(num(f, 1), static_cast<qint8>(num(f, 2) & 0xff), num(f, 3), num(f, 4));
     },
     {"Starts learner naming on the voting hub: each learner types a name on the device.",
      answeredBy(M::NamingSessionStatus, M::ExpressionName),
      {{kQuestionId,
        {"characterType", A::Int, "-128 to 127 (the low 8 bits, signed)",
         "the characters allowed, as the hub "
         "numbers them"},
        {"maxLength", A::Int, "any", "the longest name"},
        {"confirm", A::Bool, "0 or 1", "learners confirm the name they typed"}}},
      true}},
    {CommandCode::HubStartTeacherNamingSession, "hub", "startTeacherNamingSession", 0,
     [](Client c, Fields) { c.startTeacherNamingSession(); },
     {"Opens teacher naming on the voting hub, in which hub,nameExpression names devices.",
      answeredBy(M::NamingSessionStatus),
      {},
      true}},
    {CommandCode::HubNameExpression, "hub", "nameExpression", 2,
     [](Client c, Fields f) { c.nameExpression(uid(f, 1), text(f, 2)); },
     {"Gives a device a name in the open teacher naming session; without one it does nothing.",
      answeredBy(M::ExpressionName),
      {{kDevice, {"name", A::Text, "any", "the learner's name"}}},
      true}},
    {CommandCode::HubStartExpressionNamingSession, "hub", "startExpressionNamingSession", 0,
     [](Client c, Fields) { c.startExpressionNamingSession(); },
     {"Starts naming in the open teacher naming session; without one it does nothing.", 0, {}, true}},
    {CommandCode::HubStopExpressionNamingSession, "hub", "stopExpressionNamingSession", 0,
     [](Client c, Fields) { c.stopExpressionNamingSession(); },
     {"Ends the teacher naming session.", 0, {}, true}},
    {CommandCode::HubStopExpressionEndUserNamingSession, "hub", "stopExpressionEndUserNamingSession", 0,
     [](Client c, Fields) { c.stopExpressionEndUserNamingSession(); },
     {"Ends learner naming on the voting hub.", 0, {}, true}},
    {CommandCode::HubRemoveVelaDevice, "hub", "removeVelaDevice", 2,
     [](Client c, Fields f) { c.removeVelaDevice(uid(f, 1), num(f, 2)); },
     {"Removes one device from the voting hub; during a registration on that hub it goes through the "
      "registration, which stays open.",
      answeredBy(M::RemoveVelaDevice),
      {{kDevice,
        {"type", A::Int, "0 to 255 (the low 8 bits are used)",
         "3 slate, 4 voting device, 5 expression device; any other type is not removed"}}},
      true}},

    // Report modes and the client's window.
    {CommandCode::PenPrivate, "pen", "private", 1,
     [](Client c, Fields f) { c.setPenPrivate(WireFormat::readOneFlag(raw(f, 1)), f.size() > 3 ? num(f, 2) : 0); },
     {"Switches pens between private and native reporting. While it is private, a pen that comes down outside "
      "the window sends information FOCUS_LOST and returns pens and touch to native.",
      0,
      {{kSwitch, {"penId", A::Int, "0, or 1 to the number of pens", "one pen; 0 or left out: pens 1 to 4"}}}}},
    {CommandCode::TouchPrivate, "touch", "private", 1,
     [](Client c, Fields f) { c.setTouchPrivate(WireFormat::readOneFlag(raw(f, 1))); },
     {"Switches touch between private and native reporting, as pen,private does for pens.", 0, {{kSwitch}}}},
    {CommandCode::ErasePrivate, "erase", "private", 1,
     [](Client c, Fields f) { c.setErasePrivate(WireFormat::readOneFlag(raw(f, 1))); },
     {"Switches erasers between private and native reporting.", 0, {{kSwitch}}}},
    {CommandCode::ScreenSize, "screen", "size", 2,
     [](Client c, Fields f) { c.setScreenSize(num(f, 1), num(f, 2)); },
     {"Gives the screen's size, to which hub coordinates are scaled for the window test. One setting for all "
      "clients.",
      0,
      {{{"width", A::Int, "pixels", "the screen's width"}, {"height", A::Int, "pixels", "the screen's height"}}}}},
    {CommandCode::WindowPosition, "window", "position", 4,
     [](Client c, Fields f) { c.setWindowPosition(num(f, 1), num(f, 2), num(f, 3), num(f, 4)); },
     {"Gives the window, in screen pixels, inside which board input is sent: a stroke that starts outside it "
      "is not sent. One setting for all clients: the last one sent counts.",
      0,
      {{{"x", A::Int, "pixels", "the window's left edge"},
        {"y", A::Int, "pixels", "the window's top edge"},
        {"width", A::Int, "pixels; 0 is an empty window", "the window's width"},
        {"height", A::Int, "pixels; 0 is an empty window", "the window's height"}}}}},

    // Simple questions.
    {CommandCode::QuestionAskMultipleChoice, "question", "askMultipleChoiceQuestion", 3,
     [](Client c, Fields f) { ask(c, MultipleChoice, num(f, 1), num(f, 2), num(f, 3), false); },
     {"Asks the registered learner devices a multiple-choice question through the voting hub: questionSession 1 "
      "when it starts, a questionResponse for each device's first answer, and questionSession 0 once every "
      "registered device has answered. Ignored while a question is open; a question the hub refuses sends "
      "nothing.",
      answeredBy(M::QuestionSession, M::QuestionResponse),
      {{kQuestionId, kOptions, {"responses", A::Int, "1 to 6, as questionCapabilities reports", "the options a learner picks"}}},
      true}},
    {CommandCode::QuestionAskSortInOrder, "question", "askSortInOrderQuestion", 3,
     [](Client c, Fields f) { ask(c, SortInOrder, num(f, 1), num(f, 2), num(f, 3), false); },
     {"Asks a sort-in-order question, as askMultipleChoiceQuestion does.",
      answeredBy(M::QuestionSession, M::QuestionResponse),
      {{kQuestionId, kOptions, {"responses", A::Int, "1 to 6, as questionCapabilities reports", "the options a learner orders"}}},
      true}},
    {CommandCode::QuestionAskLikert, "question", "askLikertQuestion", 2,
     [](Client c, Fields f) { ask(c, Likert, num(f, 1), num(f, 2), 0, false); },
     {"Asks a Likert-scale question, as askMultipleChoiceQuestion does.",
      answeredBy(M::QuestionSession, M::QuestionResponse),
      {{kQuestionId, {"scale", A::Int, "4 to 9, as questionCapabilities reports", "the points of the scale"}}},
      true}},
    {CommandCode::QuestionAskYesNo, "question", "askYesNoQuestion", 2,
     [](Client c, Fields f) { ask(c, YesNo, num(f, 1), 0, 0, flag(f, 2)); },
     {"Asks a yes/no question, as askMultipleChoiceQuestion does.",
      answeredBy(M::QuestionSession, M::QuestionResponse),
      {{kQuestionId, kDontKnow}},
      true}},
    {CommandCode::QuestionAskTrueFalse, "question", "askTrueFalseQuestion", 2,
     [](Client c, Fields f) { ask(c, TrueFalse, num(f, 1), 0, 0, flag(f, 2)); },
     {"Asks a true/false question, as askMultipleChoiceQuestion does.",
      answeredBy(M::QuestionSession, M::QuestionResponse),
      {{kQuestionId, kDontKnow}},
      true}},
    {CommandCode::QuestionAskNumeric, "question", "askNumericQuestion", 1,
     [](Client c, Fields f) { ask(c, Numeric, num(f, 1), 0, 0, false); },
     {"Asks a numeric question (up to 255 characters), as askMultipleChoiceQuestion does.",
      answeredBy(M::QuestionSession, M::QuestionResponse),
      {{kQuestionId}},
      true}},
    {CommandCode::QuestionAskText, "question", "askTextQuestion", 1,
     [](Client c, Fields f) { ask(c, Text, num(f, 1), 0, 0, false); },
     {"Asks a free-text question (up to 255 characters), as askMultipleChoiceQuestion does.",
      answeredBy(M::QuestionSession, M::QuestionResponse),
      {{kQuestionId}},
      true}},
    {CommandCode::QuestionStop, "question", "stopQuestion", 0,
     [](Client c, Fields) { c.stopQuestion(); },
     {"Ends the open question, on the hub too; questionSession 0 goes out even when none was open.",
      answeredBy(M::QuestionSession),
      {}}},
    {CommandCode::QuestionGetRegisteredDevices, "question", "getRegisteredDevices", 0,
     [](Client c, Fields) { c.getRegisteredDevices(); },
     {"Reads the expression devices of every hub afresh and lists them: the devices a question waits for.",
      answeredBy(M::QuestionDevices),
      {}}},

    // Capabilities.
    {CommandCode::CapabilitiesGetAll, "capabilities", "getAll", 0,
     [](Client c, Fields) { c.getAllCapabilities(); },
     {"Asks for the board counts and the question types the hubs support.", answeredBy(M::AllCapabilities), {}}},
    {CommandCode::CapabilitiesGetBoard, "capabilities", "getBoard", 0,
     [](Client c, Fields) { c.getBoardCapabilities(); },
     {"Asks for the board counts.", answeredBy(M::BoardCapabilities), {}}},
    {CommandCode::CapabilitiesGetQuestion, "capabilities", "getQuestion", 0,
     [](Client c, Fields) { c.getQuestionCapabilities(); },
     {"Asks for the question types the hubs support.", answeredBy(M::QuestionCapabilities), {}}},
    {CommandCode::CapabilitiesSetMode, "capabilities", "setMode", 1,
     [](Client c, Fields f) { c.setCapabilitiesMode(num(f, 1)); },
     {"Chooses the capability message that goes out unasked when a hub connects or goes. One setting for all "
      "clients.",
      0,
      {{{"mode", A::Int, "0, 1 or 2",
         "0 allCapabilities (the default), 2 questionCapabilities, any other "
         "boardCapabilities"}}}}},

    // Supervision of the client.
    {CommandCode::RelayIntelligence, "relay", "intelligence", 1,
     [](Client c, Fields f) { c.setIntelligence(flag(f, 1)); },
     {"Switches supervision on or off (see The keep-alive supervisor); either way the report modes stay as they "
      "are. One supervision for all clients.",
      0,
      {{{"on", A::Bool, "0 or 1", "not 0: on, and the countdown starts; 0: off"}}}}},
    {CommandCode::RelayKeepAlive, "relay", "keepAlive", 0,
     [](Client c, Fields) { c.keepAlive(); },
     {"Starts the supervision countdown again; it does nothing before the first relay,intelligence,1. From any "
      "client.",
      0,
      {}}},
    {CommandCode::RelayFocus, "relay", "focus", 1,
     [](Client c, Fields f) { c.setFocus(flag(f, 1)); },
     {"Sets the report mode of pens and touch: private while supervision is on and focused is not 0, native "
      "otherwise.",
      0,
      {{{"focused", A::Bool, "0 or 1", "the client's window has the input focus"}}}}},
}};
// clang-format on

constexpr std::array<CommandRow, CommandCount> kCommands = joined(kFirstCommands, kEnhancedCommands);

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

constexpr bool everyNeededArgumentDocumented()
{
    for (const CommandRow &row : kCommands) {
        for (int i = 0; i < row.minArguments; ++i) {
            if (row.doc.arguments[static_cast<size_t>(i)].name == nullptr)
                return false;
        }
    }
    return true;
}
static_assert(everyNeededArgumentDocumented(), "a row documents at least the arguments it needs");

} // namespace

const std::array<CommandRow, CommandCount> &commandTable()
{
    return kCommands;
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
