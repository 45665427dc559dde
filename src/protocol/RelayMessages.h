#pragma once

#include "RelayRecords.h"

#include <QList>
#include <QString>

#include <array>
#include <string_view>

// The outgoing messages, one builder per keyword. Each is a pure function of
// its arguments and the timestamp the caller read from the clock, so a reader
// finds every message's wire form here and tests pin whole texts.
//
// A message is its keyword, then "," and the timestamp (except "pen", which
// puts the pen id first, and the keep-alive, which has none), then its fields.
// Text marked escaped has its commas replaced by U+001F; raw text goes out as
// it is.
namespace RelayMessages {

// Every outgoing message, numbered in the order of the message table.
enum class MessageCode : int {
    KeepAlive = 0,
    Board,
    EraseCount,
    HubConnection,
    BoardDisconnect,
    HubCount,
    Pen,
    Touch,
    Eraser,
    QuestionSession,
    QuestionResponse,
    QuestionDevices,
    AllCapabilities,
    BoardCapabilities,
    QuestionCapabilities,
    Error,
    Information,
    EnhancedSessionGetSessionParameters,
    EnhancedSessionGetQuestion,
    EnhancedSessionMultichoiceAnswer,
    EnhancedSessionYesNoAnswer,
    EnhancedSessionTrueFalseAnswer,
    EnhancedSessionLikertAnswer,
    EnhancedSessionNumericAnswer,
    EnhancedSessionTextAnswer,
    EnhancedSessionSortInOrderAnswer,
    EnhancedSessionDeviceShutDown,
    HubState,
    EnhancedSessionID,
    ResetHubSessionResult,
    RegistrationComplete,
    NamingSessionStatus,
    ExpressionName,
    ExpressionDeviceRegistered,
    RemoveVelaDevice,
    None
};

constexpr int MessageCount = static_cast<int>(MessageCode::None);

// How a field is written; the protocol reference explains each kind once.
enum class FieldType {
    Timestamp, // milliseconds since 1970-01-01 UTC
    Int,       // signed decimal
    UInt,      // unsigned decimal, 0 to 4294967295
    Flag,      // "1" or "0"
    Text,      // free text, its commas sent as U+001F
    RawText,   // free text as it came, commas included
    Word,      // one of the words the meaning lists
    List,      // repeated: one field per element, its values joined by ":"
    Group      // a label and its values, joined by ":"
};

struct MessageField
{
    const char *name;
    FieldType type;
    const char *meaning;
};

constexpr int MaxMessageFields = 10;

// One row per message: its keyword, written only here, when the relay sends
// it, and its fields after the keyword in order (those without a name are
// unused). The builders below take their keyword from their row, and the
// protocol reference is generated from the rows.
struct MessageRow
{
    MessageCode code;
    std::string_view keyword;
    const char *sent;
    std::array<MessageField, MaxMessageFields> fields;
};

const std::array<MessageRow, MessageCount> &messageTable();

// The texts of the "error" and "information" codes, and what each means.
struct CodeText
{
    int value;
    const char *text;
    const char *meaning;
};

const std::array<CodeText, 3> &errorTexts();
const std::array<CodeText, 1> &informationTexts();

// The first text a client receives, right after its handshake: the only one
// without the address prefix.
QString greeting();
// What the relay server puts in front of every message below: its own
// address and ",".
QString addressPrefix(const QString &address);

QString keepAlive();
QString board(qint64 ts, int pens, int touches);
QString eraseCount(qint64 ts, int erases);
QString hubConnection(qint64 ts);
QString boardDisconnect(qint64 ts, int pens, int touches);
QString hubCount(qint64 ts, int hubs);
QString pen(qint64 ts, const PenData &data);
QString touch(qint64 ts, const QList<TouchData> &touchData);
QString eraser(qint64 ts, const QList<EraserData> &eraserData);
QString questionSession(qint64 ts, bool inProgress);
QString questionResponse(qint64 ts, const QuestionResponse &response);
QString questionDevices(qint64 ts, const QList<QuestionDevice> &devices);
QString allCapabilities(qint64 ts, int pens, int touches, const QuestionCapabilities &caps);
QString boardCapabilities(qint64 ts, int pens, int touches);
QString questionCapabilities(qint64 ts, const QuestionCapabilities &caps);
QString error(qint64 ts, VelaRelayErrorType type);
QString information(qint64 ts, VelaRelayInformationType type);
QString enhancedSessionGetSessionParameters(qint64 ts, uint sessionId, uint uid, int locale);
QString enhancedSessionGetQuestion(qint64 ts, uint sessionId, uint uid, int questionNumber);
QString enhancedSessionMultichoiceAnswer(qint64 ts, uint sessionId, uint uid, int questionNumber,
                                         const QString &answer);
QString enhancedSessionYesNoAnswer(qint64 ts, uint sessionId, uint uid, int questionNumber, int answer);
QString enhancedSessionTrueFalseAnswer(qint64 ts, uint sessionId, uint uid, int questionNumber, int answer);
QString enhancedSessionLikertAnswer(qint64 ts, uint sessionId, uint uid, int questionNumber, int likertValue);
QString enhancedSessionNumericAnswer(qint64 ts, uint sessionId, uint uid, int questionNumber, const QString &answer);
QString enhancedSessionTextAnswer(qint64 ts, uint sessionId, uint uid, int questionNumber, const QString &answer,
                                  bool isValid);
QString enhancedSessionSortInOrderAnswer(qint64 ts, uint sessionId, uint uid, int questionNumber,
                                         const QString &answer);
QString enhancedSessionDeviceShutDown(qint64 ts, uint sessionId, uint uid);
QString hubState(qint64 ts, uint state);
QString enhancedSessionID(qint64 ts, uint sessionId);
QString resetHubSessionResult(qint64 ts, uint result);
QString registrationComplete(qint64 ts, uint value);
QString namingSessionStatus(qint64 ts, uint status);
QString expressionName(qint64 ts, uint uid, const QString &name);
QString expressionDeviceRegistered(qint64 ts, const QString &text, uint uid, uint type, uint count);
QString removeVelaDevice(qint64 ts, uint uid, uchar deviceType, bool removed);

// The text of an error or information code; "UNDEFINED" for a value outside
// the enumeration.
QString errorText(VelaRelayErrorType type);
QString informationText(VelaRelayInformationType type);

} // namespace RelayMessages
