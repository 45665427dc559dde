#pragma once

#include <QBitArray>
#include <QString>
#include <QStringList>

#include <array>

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

// One row per command: the words that name it, the least number of arguments
// (fields after the command word) it needs, and the one call it makes.
struct CommandRow
{
    CommandCode code;
    const char *group;
    const char *command;
    int minArguments;
    void (*invoke)(IVelaRelayClient &client, const QStringList &fields);
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

// Splits a client's packet, finds its command and makes the command's one
// call. Returns false, having done nothing, for a packet that is dropped.
bool dispatchCommand(IVelaRelayClient &client, const QString &packet);
