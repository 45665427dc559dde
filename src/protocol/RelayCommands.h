#pragma once

#include "RelayMessages.h"

#include <QBitArray>
#include <QString>
#include <QStringList>

#include <array>
#include <cstdint>
#include <string>

class IVelaRelayClient;

// Every command a client can send, numbered in the order of the command table.
enum class CommandCode : int {
    BoardTouchAndPenCount = 0,
    EraseCount,
    HubCount,
    HubResetSession,
    HubChangeBacklight,
    HubGetState,
    HubClearExpressions,
    HubStopRegistrationSession,
    HubStartRegistrationSession,
    HubStartStudentNamingSession,
    HubStartTeacherNamingSession,
    HubNameExpression,
    HubStartExpressionNamingSession,
    HubStopExpressionNamingSession,
    HubStopExpressionEndUserNamingSession,
    HubRemoveVelaDevice,
    PenPrivate,
    TouchPrivate,
    ErasePrivate,
    ScreenSize,
    WindowPosition,
    QuestionAskMultipleChoice,
    QuestionAskSortInOrder,
    QuestionAskLikert,
    QuestionAskYesNo,
    QuestionAskTrueFalse,
    QuestionAskNumeric,
    QuestionAskText,
    QuestionStop,
    QuestionGetRegisteredDevices,
    CapabilitiesGetAll,
    CapabilitiesGetBoard,
    CapabilitiesGetQuestion,
    CapabilitiesSetMode,
    RelayIntelligence,
    RelayKeepAlive,
    RelayFocus,
    EnhancedStartSession,
    EnhancedSessionParameters,
    EnhancedMultichoiceQuestion,
    EnhancedYesNoDontKnowQuestion,
    EnhancedTrueFalseDontKnowQuestion,
    EnhancedLikertQuestion,
    EnhancedNumericQuestion,
    EnhancedTextQuestion,
    EnhancedSortInOrderQuestion,
    EnhancedMessage,
    EnhancedPopup,
    EnhancedNoMoreQuestions,
    Unknown
};

constexpr int CommandCount = static_cast<int>(CommandCode::Unknown);

// How an argument is read; the protocol reference explains each kind once.
enum class ArgumentType {
    Int,     // base 10, 32 bits; 0 when empty, not a number or out of range
    UInt,    // as Int, up to 4294967295; a negative number reads as its two's complement
    Bool,    // as Int, true when not 0
    OneFlag, // true only for exactly "1"
    Text,    // free text, U+001F read as a comma
    RawText, // text passed on as it came, U+001F included
    Bits     // a string of "0" and "1"
};

struct ArgumentDoc
{
    const char *name;
    ArgumentType type;
    const char *range;
    const char *meaning;
};

constexpr int MaxArguments = 11;

// What a client developer needs beside a row: what the command does, the
// messages that answer it, its arguments in order (those without a name are
// unused; those past the least count are optional), and whether it does
// nothing at all while no voting hub is connected.
struct CommandDoc
{
    const char *does;
    std::uint64_t answers; // a bit per RelayMessages::MessageCode
    std::array<ArgumentDoc, MaxArguments> arguments;
    bool needsVotingHub = false;
};

template <typename... Codes>
constexpr std::uint64_t answeredBy(Codes... codes)
{
    return (std::uint64_t{0} | ... | (std::uint64_t{1} << static_cast<int>(codes)));
}

// One row per command: the words that name it, the least number of arguments
// (fields after the command word) it needs, the one call it makes, and its
// documentation, from which the protocol reference is generated.
struct CommandRow
{
    CommandCode code;
    const char *group;
    const char *command;
    int minArguments;
    void (*invoke)(IVelaRelayClient &client, const QStringList &fields);
    CommandDoc doc;
};

const std::array<CommandRow, CommandCount> &commandTable();

// Exact, case-sensitive match of both words; CommandCode::Unknown otherwise.
CommandCode lookupCommand(const QString &group, const QString &command);

// Whether a packet of fieldCount fields carries enough arguments for code;
// always false for CommandCode::Unknown.
bool hasEnoughArguments(CommandCode code, int fieldCount);

// The question bit set of enhanced,sessionParameters: count bits, bit i set
// when bits has the character "1" at position i.
QBitArray sessionQuestionBits(int count, const QString &bits);

// Why a packet was dropped.
enum class Refusal {
    None,
    TooFewFields,   // not even a group word and a command word
    UnknownCommand, // no row has these two words
    TooFewArguments
};

struct Dispatch
{
    Refusal refusal;
    CommandCode code; // Unknown unless the words were found
    int arguments;    // the fields after the two words

    explicit operator bool() const { return refusal == Refusal::None; }
};

// Splits a client's packet, finds its command and makes the command's one
// call. A packet that is dropped has no effect at all; the result says why.
Dispatch dispatchCommand(IVelaRelayClient &client, const QString &packet);

// One line for the log on a dropped packet: which words are not a command
// (and the command they may have meant), or which command needs how many
// arguments.
QString describeRefusal(const Dispatch &dispatch, const QString &packet);

// A client's packet as the log shows it: bounded, control characters visible.
QString packetForLog(const QString &packet);
