#pragma once

// What the rows of the command table share: reading a packet's arguments,
// and the documentation of arguments several commands take. Only the
// table's own files include it.

#include "IVelaRelayClient.h"
#include "RelayCommands.h"
#include "WireFormat.h"

namespace command_rows {

using Client = IVelaRelayClient &;
using Fields = const QStringList &;
using A = ArgumentType;
using M = RelayMessages::MessageCode;

// Arguments are numbered from 1: argument 1 is field 2 of the packet, after
// the group and command words.
inline const QString &raw(Fields f, int n)
{
    return f.at(n + 1);
}
inline int num(Fields f, int n)
{
    return WireFormat::readInt(raw(f, n));
}
inline quint32 uid(Fields f, int n)
{
    return WireFormat::readUInt(raw(f, n));
}
inline bool flag(Fields f, int n)
{
    return WireFormat::readBool(raw(f, n));
}
inline QString text(Fields f, int n)
{
    return WireFormat::unescapeText(raw(f, n));
}

inline void ask(Client c, QuestionType type, int id, int options, int responses, bool dontKnow)
{
    QuestionParameters parameters;
    parameters.questionId = id;
    parameters.numberOfOptions = options;
    parameters.numberOfResponses = responses;
    parameters.dontKnow = dontKnow;
    c.askQuestion(type, parameters);
}

// Arguments 1 to 7 of every enhanced question command.
inline EnhancedQuestionHeader header(Fields f)
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

// Arguments several commands share.
constexpr ArgumentDoc kQuestionId{"questionId", A::Int, "any", "the question's id; questionResponse carries it back"};
constexpr ArgumentDoc kSessionId{"sessionId", A::UInt, "as enhancedSessionID gave it",
                                 "the enhanced session; a command for a session the relay does not know is ignored"};
constexpr ArgumentDoc kDevice{"uid", A::UInt, "0 to 4294967295", "the learner device"};
constexpr ArgumentDoc kQuestionNumber{"questionNumber", A::Int, "any", "the number the device asked for"};
constexpr ArgumentDoc kQuestionText{
    "text", A::Text, "any",
    "the question; MathML in it is translated to LaTeX, between `<LaTeX>` and `</LaTeX>`, "
    "for the device"};
constexpr ArgumentDoc kOption1{"option1", A::Bool, "0 or 1", "the question's first option flag, for the device"};
constexpr ArgumentDoc kOption2{"option2", A::Bool, "0 or 1", "the second option flag"};
constexpr ArgumentDoc kOption3{"option3", A::Bool, "0 or 1", "the third option flag"};
constexpr ArgumentDoc kOptions{"options", A::Int, "1 to 6, as questionCapabilities reports", "the number of options"};
constexpr ArgumentDoc kMinResponses{"minResponses", A::Int, "any", "the fewest options a learner must choose"};
constexpr ArgumentDoc kMaxResponses{"maxResponses", A::Int, "any", "the most options a learner may choose"};
constexpr ArgumentDoc kDontKnow{"dontKnow", A::Bool, "0 or 1", "offer a don't-know answer"};
constexpr ArgumentDoc kSwitch{"on", A::OneFlag, "1 or anything else",
                              "1 private: the input goes to the relay only; anything else native: the board reports to "
                              "the system as usual too"};

// The documentation of an enhanced question command's arguments: the seven
// header() reads, then the question type's own.
constexpr std::array<ArgumentDoc, MaxArguments> questionArguments(ArgumentDoc eighth, ArgumentDoc ninth = {},
                                                                  ArgumentDoc tenth = {}, ArgumentDoc eleventh = {})
{
    return {{kSessionId, kDevice, kQuestionNumber, kQuestionText, kOption1, kOption2, kOption3, eighth, ninth, tenth,
             eleventh}};
}

constexpr const char *kEnhancedQuestion = "Sends a device the question it asked for with enhancedSessionGetQuestion.";

// The table is written in parts; the dispatcher wants it whole.
template <std::size_t A, std::size_t B>
constexpr std::array<CommandRow, A + B> joined(const std::array<CommandRow, A> &first,
                                               const std::array<CommandRow, B> &second)
{
    std::array<CommandRow, A + B> all{};
    for (std::size_t i = 0; i < A; ++i)
        all[i] = first[i];
    for (std::size_t i = 0; i < B; ++i)
        all[A + i] = second[i];
    return all;
}

} // namespace command_rows
