#pragma once

#include "RelayMessages.h"

// The message table: the one place a message keyword is written, with what a
// client developer needs to read the message. RelayMessages.cpp builds from
// it; tools/protocol-reference prints it into docs/protocol.md.
namespace RelayMessages {
namespace Table {

using F = FieldType;

constexpr MessageField kTimestamp{"timestamp", F::Timestamp, "when the relay built the message"};
constexpr MessageField kSessionId{"sessionId", F::UInt,
                                  "the relay's number for the enhanced session, as enhancedSessionID gave it; 0 "
                                  "when the request came from a session the relay no longer knows"};
constexpr MessageField kUid{"uid", F::UInt, "the learner device's unique id"};
constexpr MessageField kQuestionNumber{"questionNumber", F::Int, "the question of the session the device is at"};
constexpr MessageField kTouches{"touches", F::Int, "touch points: the most that any connected hub supports"};
constexpr MessageField kPens{"pens", F::Int, "pens: the most that any connected hub supports"};
constexpr MessageField kMultipleChoice{
    "multipleChoice", F::Group,
    "`multipleChoice:supported:minOptions:maxOptions:minResponses:maxResponses`, flag then four numbers"};
constexpr MessageField kSortInOrder{
    "sortInOrder", F::Group,
    "`sortInOrder:supported:minOptions:maxOptions:minResponses:maxResponses`, flag then four numbers"};
constexpr MessageField kLikert{"likert", F::Group, "`likert:supported:minScale:maxScale`"};
constexpr MessageField kYesNo{"yesNo", F::Group,
                              "`yesNo:supported:dontKnow`; dontKnow is always sent as 0 (clients have always read "
                              "it so)"};
constexpr MessageField kTrueFalse{"trueFalse", F::Group, "`trueFalse:supported:dontKnow`; dontKnow is always 0"};
constexpr MessageField kNumeric{"numeric", F::Group, "`numeric:supported`"};
constexpr MessageField kText{"text", F::Group, "`text:supported`"};

// One row a message; kept by hand so that a row opens with its keyword.
// clang-format off
inline constexpr std::array<MessageRow, MessageCount> kMessages{{
    // The relay's own heartbeat.
    {MessageCode::KeepAlive, "keepAlive5",
     "to every client at a fixed interval (see The keep-alive messages and the supervisor), whatever else "
     "happens; it is not an answer to relay,keepAlive. The whole message is the keyword: no timestamp, no "
     "fields",
     {}},

    // Counts and boards.
    {MessageCode::Board, "board",
     "when a hub with pens or touch connects (eraseCount follows), and as an answer",
     {{kTimestamp, kTouches, kPens}}},
    {MessageCode::EraseCount, "eraseCount",
     "after board when a hub with pens or touch connects, and as an answer",
     {{kTimestamp, {"erasers", F::Int, "erasers: the most that any connected hub supports"}}}},
    {MessageCode::HubConnection, "hubConnection",
     "when a hub without pens and touch (a voting hub) connects",
     {{kTimestamp, {"one", F::Int, "always 1"}, {"one", F::Int, "always 1"}, {"one", F::Int, "always 1"}}}},
    {MessageCode::BoardDisconnect, "boardDisconnect",
     "when a hub with pens or touch goes away",
     {{kTimestamp,
       {"touches", F::Int, "touch points of the hub that went"},
       {"pens", F::Int, "pens of the hub that went"}}}},
    {MessageCode::HubCount, "hubCount",
     "only as an answer",
     {{kTimestamp, {"hubs", F::Int, "hubs connected, virtual ones included"}}}},

    // Board input.
    {MessageCode::Pen, "pen",
     "for each pen sample inside the window of window,position, scaled by screen,size; none before both are set, "
     "none while no client is connected, and fewer once throttling is on (see Board input). The pen id comes "
     "before the timestamp",
     {{{"id", F::Int, "the pen, as the hub numbers it: 1 to 4 on a board with four pens"},
       kTimestamp,
       {"x", F::Int, "hub coordinate, 0 to 32767 across the board; not scaled to the screen"},
       {"y", F::Int, "hub coordinate, 0 to 32767 down the board; not scaled to the screen"},
       {"tip", F::Flag, "1 while the tip is pressed; the sample with 0 ends the stroke"},
       {"barrel", F::Flag, "1 while the barrel button is pressed"}}}},
    {MessageCode::Touch, "touch",
     "for a touch report with contacts inside the window, under the same conditions as pen",
     {{kTimestamp,
       {"contact", F::List,
        "`id:x:y:down` for each contact of the report that goes out: x and y in hub coordinates (0 to 32767), "
        "down 1 while in contact and 0 in the report that lifts it"}}}},
    {MessageCode::Eraser, "eraser",
     "for an eraser report with contacts inside the window, under the same conditions as pen",
     {{kTimestamp,
       {"contact", F::List,
        "`id:x:y:width:height:down` for each contact of the report that goes out: x and y in hub coordinates, "
        "width and height as the hub reports them, down as for touch"}}}},

    // Simple questions.
    {MessageCode::QuestionSession, "questionSession",
     "1 when a simple question starts; 0 when it ends: every registered device answered, question,stopQuestion, "
     "or the voting hub went away",
     {{kTimestamp, {"inProgress", F::Flag, "1 open, 0 ended"}}}},
    {MessageCode::QuestionResponse, "questionResponse",
     "for the first answer of each registered device to the open simple question; later answers of the same "
     "device are not sent",
     {{kTimestamp,
       {"id", F::Int, "the question id the command gave"},
       kUid,
       {"name", F::Text, "the learner's name, empty when the device has none"},
       {"response", F::Text,
        "the answer: the device's text for multiple choice, sort in order, numeric and text; Yes, No or Don't "
        "Know; True, False or Don't Know; the scale value in decimal for Likert"}}}},
    {MessageCode::QuestionDevices, "questionDevices",
     "only as an answer",
     {{kTimestamp,
       {"device", F::List,
        "`uid:name` for each registered learner device, the name escaped as text (a \":\" in a name is not "
        "escaped)"}}}},

    // Capabilities. When a hub connects or goes, one of the three goes out
    // unasked, as capabilities,setMode chose.
    {MessageCode::AllCapabilities, "allCapabilities",
     "as an answer, and when a hub connects or goes while the capability mode is 0 (the default)",
     {{kTimestamp, kTouches, kPens, kMultipleChoice, kSortInOrder, kLikert, kYesNo, kTrueFalse, kNumeric, kText}}},
    {MessageCode::BoardCapabilities, "boardCapabilities",
     "as an answer, and when a hub connects or goes while the capability mode is 1 (or any value but 0 and 2)",
     {{kTimestamp, kTouches, kPens}}},
    {MessageCode::QuestionCapabilities, "questionCapabilities",
     "as an answer, and when a hub connects or goes while the capability mode is 2. The groups are all 1 with "
     "the limits 1, 6, 1, 6 (multiple choice and sort in order) and 4, 9 (Likert) while a voting hub is "
     "connected, all 0 otherwise",
     {{kTimestamp, kMultipleChoice, kSortInOrder, kLikert, kYesNo, kTrueFalse, kNumeric, kText}}},

    // Errors and information.
    {MessageCode::Error, "error",
     "to every client when supervision lapses (CLIENT_UNRESPONSIVE); the texts are listed under Errors, "
     "information, and commands that do nothing",
     {{kTimestamp, {"code", F::Word, "one of the error texts"}}}},
    {MessageCode::Information, "information",
     "to every client when private reporting ends because input came outside the window (FOCUS_LOST); the "
     "texts are listed under Errors, information, and commands that do nothing",
     {{kTimestamp, {"code", F::Word, "one of the information texts"}}}},

    // Enhanced question sessions: the devices' requests and answers. A
    // client answers the requests with the enhanced commands.
    {MessageCode::EnhancedSessionGetSessionParameters, "enhancedSessionGetSessionParameters",
     "when a device in an enhanced session asks for the session's parameters; answer with "
     "enhanced,sessionParameters",
     {{kTimestamp, kSessionId, kUid, {"locale", F::Int, "the device's locale id"}}}},
    {MessageCode::EnhancedSessionGetQuestion, "enhancedSessionGetQuestion",
     "when a device asks for a question; answer with one of the enhanced question commands or "
     "enhanced,noMoreQuestions",
     {{kTimestamp, kSessionId, kUid, kQuestionNumber}}},
    {MessageCode::EnhancedSessionMultichoiceAnswer, "enhancedSessionMultichoiceAnswer",
     "when a device answers a multiple-choice question",
     {{kTimestamp, kSessionId, kUid, kQuestionNumber, {"answer", F::RawText, "the choices, as the device sent them"}}}},
    {MessageCode::EnhancedSessionYesNoAnswer, "enhancedSessionYesNoAnswer",
     "when a device answers a yes/no question",
     {{kTimestamp, kSessionId, kUid, kQuestionNumber, {"answer", F::Int, "0 no, 1 yes, 2 don't know"}}}},
    {MessageCode::EnhancedSessionTrueFalseAnswer, "enhancedSessionTrueFalseAnswer",
     "when a device answers a true/false question",
     {{kTimestamp, kSessionId, kUid, kQuestionNumber, {"answer", F::Int, "0 false, 1 true, 2 don't know"}}}},
    {MessageCode::EnhancedSessionLikertAnswer, "enhancedSessionLikertAnswer",
     "when a device answers a Likert question",
     {{kTimestamp, kSessionId, kUid, kQuestionNumber, {"value", F::Int, "the point chosen on the scale"}}}},
    {MessageCode::EnhancedSessionNumericAnswer, "enhancedSessionNumericAnswer",
     "when a device answers a numeric question",
     {{kTimestamp, kSessionId, kUid, kQuestionNumber, {"answer", F::Text, "the number as the learner typed it"}}}},
    {MessageCode::EnhancedSessionTextAnswer, "enhancedSessionTextAnswer",
     "when a device answers a text question",
     {{kTimestamp,
       kSessionId,
       kUid,
       kQuestionNumber,
       {"answer", F::Text, "the learner's text"},
       {"valid", F::Flag, "whether the device judged the answer valid"}}}},
    {MessageCode::EnhancedSessionSortInOrderAnswer, "enhancedSessionSortInOrderAnswer",
     "when a device answers a sort-in-order question",
     {{kTimestamp, kSessionId, kUid, kQuestionNumber, {"answer", F::RawText, "the order, as the device sent it"}}}},
    {MessageCode::EnhancedSessionDeviceShutDown, "enhancedSessionDeviceShutDown",
     "when a device leaves the enhanced session (switched off)",
     {{kTimestamp, kSessionId, kUid}}},

    // The voting hub's state, sessions, registration and naming.
    {MessageCode::HubState, "hubState",
     "only as an answer",
     {{kTimestamp, {"state", F::UInt, "the voting hub's own state number"}}}},
    {MessageCode::EnhancedSessionID, "enhancedSessionID",
     "as an answer, and with 0 when the voting hub that ran the session goes away",
     {{kTimestamp,
       {"sessionId", F::UInt,
        "the session's number, the same for a second start of a running session; 0 when no session runs: "
        "stopped, failed to start, or the hub has none"}}}},
    {MessageCode::ResetHubSessionResult, "resetHubSessionResult",
     "only as an answer",
     {{kTimestamp, {"result", F::UInt, "1 the hub reset its session, 0 it failed"}}}},
    {MessageCode::RegistrationComplete, "registrationComplete",
     "when a registration ends: the expected number of devices registered, hub,stopRegistrationSession, the "
     "voting hub went away, or hub,clearExpressions or hub,removeVelaDevice reached a newer voting hub than the "
     "one registering; with 0 at once when the hub could not open a registration",
     {{kTimestamp, {"registered", F::UInt, "devices registered in this registration"}}}},
    {MessageCode::NamingSessionStatus, "namingSessionStatus",
     "only as an answer",
     {{kTimestamp, {"status", F::UInt, "1 the naming session started, 0 it could not"}}}},
    {MessageCode::ExpressionName, "expressionName",
     "when a device gets a name: given with hub,nameExpression in a teacher naming session, or typed by the "
     "learner in a learner naming session",
     {{kTimestamp, kUid, {"name", F::Text, "the new name"}}}},
    {MessageCode::ExpressionDeviceRegistered, "expressionDeviceRegistered",
     "for each device that registers during a registration",
     {{kTimestamp,
       {"name", F::Text, "the device's name, empty when it has none"},
       kUid,
       {"type", F::UInt, "the device's sub type: 3 slate, 4 voting device, 5 expression device"},
       {"registered", F::UInt, "devices registered so far in this registration, this one included"}}}},
    {MessageCode::RemoveVelaDevice, "removeVelaDevice",
     "only as an answer",
     {{kTimestamp,
       kUid,
       {"type", F::UInt, "the device type the command gave, 0 to 255"},
       {"removed", F::Flag, "1 the hub had such a device and removed it, 0 otherwise"}}}},
}};
// clang-format on

constexpr bool rowsInCodeOrder()
{
    for (std::size_t i = 0; i < kMessages.size(); ++i) {
        if (static_cast<std::size_t>(kMessages[i].code) != i)
            return false;
    }
    return true;
}
static_assert(rowsInCodeOrder(), "message rows must stand in the order of their codes");

constexpr bool keywordsUnique()
{
    for (std::size_t i = 0; i < kMessages.size(); ++i) {
        for (std::size_t j = i + 1; j < kMessages.size(); ++j) {
            if (kMessages[i].keyword == kMessages[j].keyword)
                return false;
        }
    }
    return true;
}
static_assert(keywordsUnique(), "a client tells messages apart by their keyword");

inline constexpr std::array<CodeText, 3> kErrors{{
    {SCRIBA_RUNNING, "SCRIBA_RUNNING", "defined by the protocol; this relay never sends it"},
    {UNSUPPORTED_QUESTION, "UNSUPPORTED_QUESTION",
     "defined for a question type the hub cannot ask; this relay "
     "never sends it (a question the hub refuses gets no message)"},
    {CLIENT_UNRESPONSIVE, "CLIENT_UNRESPONSIVE",
     "supervision is on and no relay,keepAlive came within the supervision time-out: the boards are back in "
     "native reporting and supervision is off"},
}};

inline constexpr std::array<CodeText, 1> kInformations{{
    {FOCUS_LOST, "FOCUS_LOST",
     "pen,private (or touch,private) is on and a pen came down outside the window (or touch came outside it "
     "while no touch was under way inside): pens and touch are back in native reporting; the stored private "
     "settings stay as they were"},
}};

} // namespace Table
} // namespace RelayMessages
