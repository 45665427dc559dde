#pragma once

// The rows of the enhanced question session's commands, the last group of
// the command table (RelayCommandTable.cpp), in the order of their codes.

#include "RelayCommandRows.h"

namespace command_rows {

// clang-format off
constexpr std::array<CommandRow, 12> kEnhancedCommands{{
    {CommandCode::EnhancedStartSession, "enhanced", "startSession", 1,
     [](Client c, Fields f) { c.startEnhancedSession(static_cast<quint8>(num(f, 1) & 0xff)); },
     {"Starts or stops the voting hub's enhanced question session, in which each device asks for questions "
      "at its own pace.",
      answeredBy(M::EnhancedSessionID),
      {{{"start", A::Int, "0 to 255 (the low 8 bits are used)", "not 0: start, 0: stop"}}},
      true}},
    {CommandCode::EnhancedSessionParameters, "enhanced", "sessionParameters", 7,
     [](Client c, Fields f) {
         c.sendEnhancedSessionParameters(uid(f, 1), uid(f, 2), num(f, 3), num(f, 4), flag(f, 5),
                                         sessionQuestionBits(num(f, 3), raw(f, 6)), num(f, 7));
     },
     {"Sends a device the session's parameters it asked for with enhancedSessionGetSessionParameters. No "
      "answer.",
      0,
      {{kSessionId,
        kDevice,
        {"numberOfQuestions", A::Int, "0 or more", "the questions in the session"},
        {"timeLimit", A::Int, "any", "the time limit, as the hub counts it"},
        {"allowReview", A::Bool, "0 or 1", "learners may go back to earlier questions"},
        {"questionMask", A::Bits, "numberOfQuestions characters",
         "character i is \"1\" when question i is in the session; characters past numberOfQuestions are ignored"},
        {"attempts", A::Int, "any", "the attempts a learner has"}}}}},
    {CommandCode::EnhancedMultichoiceQuestion, "enhanced", "multichoiceQuestion", 11,
     [](Client c, Fields f) {
         c.sendEnhancedMultichoiceQuestion(header(f), num(f, 8), num(f, 9), num(f, 10), raw(f, 11));
     },
     {kEnhancedQuestion,
      0,
      questionArguments(kOptions,
                        kMinResponses,
                        kMaxResponses,
                        {"correctAnswer", A::RawText, "any", "the correct choices"})}},
    {CommandCode::EnhancedYesNoDontKnowQuestion, "enhanced", "yesNoDontKnowQuestion", 9,
     [](Client c, Fields f) { c.sendEnhancedYesNoQuestion(header(f), flag(f, 8), num(f, 9)); },
     {kEnhancedQuestion,
      0,
      questionArguments(kDontKnow,
                        {"correctAnswer", A::Int, "0, 1 or 2", "0 no, 1 yes, 2 don't know"})}},
    {CommandCode::EnhancedTrueFalseDontKnowQuestion, "enhanced", "trueFalseDontKnowQuestion", 9,
     [](Client c, Fields f) { c.sendEnhancedTrueFalseQuestion(header(f), flag(f, 8), num(f, 9)); },
     {kEnhancedQuestion,
      0,
      questionArguments(kDontKnow,
                        {"correctAnswer", A::Int, "0, 1 or 2", "0 false, 1 true, 2 don't know"})}},
    {CommandCode::EnhancedLikertQuestion, "enhanced", "likertQuestion", 9,
     [](Client c, Fields f) { c.sendEnhancedLikertQuestion(header(f), num(f, 8), num(f, 9)); },
     {kEnhancedQuestion,
      0,
      questionArguments({"scale", A::Int, "any", "the points of the scale"},
                        {"correctAnswer", A::Int, "on the scale", "the expected point"})}},
    {CommandCode::EnhancedNumericQuestion, "enhanced", "numericQuestion", 9,
     [](Client c, Fields f) { c.sendEnhancedNumericQuestion(header(f), num(f, 8), text(f, 9)); },
     {kEnhancedQuestion,
      0,
      questionArguments({"maxDigits", A::Int, "any", "the longest answer"},
                        {"correctAnswer", A::Text, "any", "the expected number"})}},
    {CommandCode::EnhancedTextQuestion, "enhanced", "textQuestion", 10,
     [](Client c, Fields f) { c.sendEnhancedTextQuestion(header(f), num(f, 8), text(f, 9), flag(f, 10)); },
     {kEnhancedQuestion,
      0,
      questionArguments({"maxLength", A::Int, "any", "the longest answer"},
                        {"correctAnswer", A::Text, "any", "the expected text"},
                        {"translateAnswer", A::Bool, "0 or 1", "MathML in correctAnswer is translated to LaTeX too"})}},
    {CommandCode::EnhancedSortInOrderQuestion, "enhanced", "sortInOrderQuestion", 11,
     [](Client c,
        Fields f) { c.sendEnhancedSortInOrderQuestion(header(f), num(f, 8), num(f, 9), num(f, 10), raw(f, 11)); },
     {kEnhancedQuestion,
      0,
      questionArguments(kOptions,
                        kMinResponses,
                        kMaxResponses,
                        {"correctAnswer", A::RawText, "any", "the correct order"})}},
    {CommandCode::EnhancedMessage, "enhanced", "message", 4,
     [](Client c, Fields f) { c.sendEnhancedMessage(uid(f, 1), uid(f, 2), num(f, 3), text(f, 4)); },
     {"Shows a device a message.",
      0,
      {{kSessionId,
        kDevice,
        {"flags", A::Int, "a sum of 1, 2, 4, 8",
         "1 clear the screen, 2 beep, 4 wait for the learner's "
         "acknowledgement, 8 end of the session"},
        {"text", A::Text, "any", "the message"}}}}},
    {CommandCode::EnhancedPopup, "enhanced", "popup", 4,
     [](Client c, Fields f) { c.sendEnhancedPopup(uid(f, 1), uid(f, 2), flag(f, 3), text(f, 4)); },
     {"Shows a device a pop-up message.",
      0,
      {{kSessionId,
        kDevice,
        {"acknowledge", A::Bool, "0 or 1", "the learner must acknowledge it"},
        {"text", A::Text, "any", "the message"}}}}},
    {CommandCode::EnhancedNoMoreQuestions, "enhanced", "noMoreQuestions", 3,
     [](Client c, Fields f) { c.sendNoMoreQuestions(uid(f, 1), uid(f, 2), text(f, 3)); },
     {"Tells a device that asked for a question that there are no more.",
      0,
      {{kSessionId, kDevice, {"text", A::Text, "any", "what the device shows"}}}}},
}};
// clang-format on

} // namespace command_rows
