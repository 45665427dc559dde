#include "QtPrinters.h"
#include "RecordingRelayClient.h"
#include "RelayCommands.h"

#include <gtest/gtest.h>

#include <set>

namespace {

const QString US = QString(QChar(0x1F));
const QString t = "a" + US + "b";                    // a text argument with an escaped comma
const QString q = "{1 2 3 \"q\" false false false}"; // the header 1,2,3,q,0,0,0

QStringList dispatched(const QString &packet)
{
    RecordingRelayClient client;
    dispatchCommand(client, packet);
    return client.calls;
}

TEST(CommandTable, BoundsTheQuestionBitSetAClientSizes)
{
    EXPECT_EQ(sessionQuestionBits(2147483647, QStringLiteral("11")).size(), 1 << 20);
    EXPECT_EQ(sessionQuestionBits(2147483647, QStringLiteral("11")).count(true), 2);
}

struct Case
{
    QString packet;
    QString call; // empty when the packet is dropped
    QString why;  // the log's reason for a dropped packet
};

// Every command with exactly its least number of arguments.
std::vector<Case> everyCommand()
{
    return {
        {"board,touchAndPenCount", "queryPenAndTouchCount"},
        {"erase,count", "queryErasesCount"},
        {"hub,count", "queryHubCount"},
        {"hub,resetSession", "resetSession"},
        {"hub,changeBacklight,3,1", "changeBacklight 3 1"},
        {"hub,getState", "getState"},
        {"hub,clearExpressions", "clearExpressions"},
        {"hub,stopRegistrationSession", "stopRegistrationSession"},
        {"hub,startRegistrationSession,2,3,4," + t + ",5,6,7", "startRegistrationSession 2 3 4 \"" + t + "\" 5 6 7"},
        {"hub,startStudentNamingSession,1,511,3,4", "startStudentNamingSession 1 -1 3 4"},
        {"hub,startTeacherNamingSession", "startTeacherNamingSession"},
        {"hub,nameExpression,101," + t, "nameExpression 101 \"a,b\""},
        {"hub,startExpressionNamingSession", "startExpressionNamingSession"},
        {"hub,stopExpressionNamingSession", "stopExpressionNamingSession"},
        {"hub,stopExpressionEndUserNamingSession", "stopExpressionEndUserNamingSession"},
        {"hub,removeVelaDevice,4294967295,5", "removeVelaDevice 4294967295 5"},
        {"pen,private,1", "setPenPrivate true 0"},
        {"touch,private,1", "setTouchPrivate true"},
        {"erase,private,1", "setErasePrivate true"},
        {"screen,size,1920,1080", "setScreenSize 1920 1080"},
        {"window,position,10,20,300,-4", "setWindowPosition 10 20 300 -4"},
        {"question,askMultipleChoiceQuestion,7,4,1", "askQuestion 0 7 4 1 false"},
        {"question,askSortInOrderQuestion,7,4,2", "askQuestion 1 7 4 2 false"},
        {"question,askLikertQuestion,7,5", "askQuestion 2 7 5 0 false"},
        {"question,askYesNoQuestion,5,1", "askQuestion 3 5 0 0 true"},
        {"question,askTrueFalseQuestion,5,0", "askQuestion 4 5 0 0 false"},
        {"question,askNumericQuestion,9", "askQuestion 5 9 0 0 false"},
        {"question,askTextQuestion,9", "askQuestion 6 9 0 0 false"},
        {"question,stopQuestion", "stopQuestion"},
        {"question,getRegisteredDevices", "getRegisteredDevices"},
        {"capabilities,getAll", "getAllCapabilities"},
        {"capabilities,getBoard", "getBoardCapabilities"},
        {"capabilities,getQuestion", "getQuestionCapabilities"},
        {"capabilities,setMode,2", "setCapabilitiesMode 2"},
        {"relay,intelligence,2", "setIntelligence true"},
        {"relay,keepAlive", "keepAlive"},
        {"relay,focus,abc", "setFocus false"},
        {"enhanced,startSession,257", "startEnhancedSession 1"},
        {"enhanced,sessionParameters,1,2,5,0,1,10110,3", "sendEnhancedSessionParameters 1 2 5 0 true \"10110\" 3"},
        {"enhanced,multichoiceQuestion,1,2,3," + t + ",1,0,7,4,1,2," + t,
         "sendEnhancedMultichoiceQuestion {1 2 3 \"a,b\" true false true} 4 1 2 \"" + t + "\""},
        {"enhanced,yesNoDontKnowQuestion,1,2,3,q,0,0,0,1,6", "sendEnhancedYesNoQuestion " + q + " true 6"},
        {"enhanced,trueFalseDontKnowQuestion,1,2,3,q,1,1,1,0,6",
         "sendEnhancedTrueFalseQuestion {1 2 3 \"q\" true true true} false 6"},
        {"enhanced,likertQuestion,1,2,3,q,0,0,0,1,5", "sendEnhancedLikertQuestion " + q + " 1 5"},
        {"enhanced,numericQuestion,1,2,3,q,0,0,0,4," + t, "sendEnhancedNumericQuestion " + q + " 4 \"a,b\""},
        {"enhanced,textQuestion,1,2,3,q,0,0,0,4," + t + ",1", "sendEnhancedTextQuestion " + q + " 4 \"a,b\" true"},
        {"enhanced,sortInOrderQuestion,1,2,3,q,0,0,0,4,1,2," + t,
         "sendEnhancedSortInOrderQuestion " + q + " 4 1 2 \"" + t + "\""},
        {"enhanced,message,1,2,3," + t, "sendEnhancedMessage 1 2 3 \"a,b\""},
        {"enhanced,popup,1,2,1," + t, "sendEnhancedPopup 1 2 true \"a,b\""},
        {"enhanced,noMoreQuestions,1,2," + t, "sendNoMoreQuestions 1 2 \"a,b\""},
    };
}

using EveryCommand = ::testing::TestWithParam<Case>;

// One argument short, the same packet is dropped: the table's least count is
// neither more nor less than what the command reads.
TEST_P(EveryCommand, MakesItsOneCallAndNoneOneArgumentShort)
{
    const QString &packet = GetParam().packet;
    EXPECT_EQ(dispatched(packet), QStringList{GetParam().call});
    if (packet.count(',') > 1)
        EXPECT_EQ(dispatched(packet.left(packet.lastIndexOf(','))), QStringList());
}

INSTANTIATE_TEST_SUITE_P(CommandTable, EveryCommand, ::testing::ValuesIn(everyCommand()), [](const auto &info) {
    return info.param.packet.section(',', 0, 1).replace(',', '_').toStdString();
});

// Each row is found by its own words (so no two rows share them) and has its
// case above.
TEST(CommandTable, EveryRowIsReachableAndHasItsCase)
{
    std::set<CommandCode> cased;
    for (const Case &c : everyCommand())
        cased.insert(lookupCommand(c.packet.section(',', 0, 0), c.packet.section(',', 1, 1)));
    for (const CommandRow &row : commandTable())
        EXPECT_EQ(cased.count(row.code), 1u) << row.group << "," << row.command;
    EXPECT_FALSE(hasEnoughArguments(static_cast<CommandCode>(CommandCount + 1), 40));
}

using Packet = ::testing::TestWithParam<Case>;

QString unknown(const QString &quoted)
{
    return "command dropped: " + quoted + " is no command (the words are matched exactly, case included)";
}

TEST_P(Packet, IsCarriedOutAsClientsRelyOn)
{
    RecordingRelayClient client;
    const Case &c = GetParam();
    const Dispatch dispatch = dispatchCommand(client, c.packet);
    EXPECT_EQ(client.calls, c.call.isEmpty() ? QStringList() : QStringList{c.call});
    EXPECT_EQ(bool(dispatch), !c.call.isEmpty());
    if (!dispatch)
        EXPECT_EQ(describeRefusal(dispatch, c.packet), c.why);
}

INSTANTIATE_TEST_SUITE_P(
    CommandDispatch, Packet,
    ::testing::Values(
        // Dropped: too few fields, unknown words (matched exactly and by case,
        // a line end included), too few arguments. The log says why, and
        // names the command a slip may have meant.
        Case{"", "", "command dropped: \"\" has no command word (a command is group,command[,arguments])"},
        Case{"hub", "", "command dropped: \"hub\" has no command word (a command is group,command[,arguments])"},
        Case{"Hub,count", "", unknown("\"Hub,count\"") + "; did you mean hub,count?"},
        Case{"board,count", "", unknown("\"board,count\"")},
        Case{"hub,count\n", "", unknown("\"hub,count\\x0a\"") + "; did you mean hub,count?"},
        Case{"hub," + QString(96, 'x'), "", unknown("\"hub," + QString(76, 'x') + "\" (100 characters in all)")},
        Case{"hub,changeBacklight,3", "",
             "command dropped: hub,changeBacklight needs 2 argument(s) (level, colour) and has 1: "
             "\"hub,changeBacklight,3\""},
        // Unreadable numbers are 0: empty, not a number, or out of range.
        Case{"window,position,,x,12abc,99999999999", "setWindowPosition 0 0 0 0"},
        // Extra fields are ignored; an empty trailing field still counts.
        Case{"hub,getState,1,2", "getState"}, Case{"hub,count,", "queryHubCount"},
        // The private flags are true only for exactly "1".
        Case{"pen,private,1,3", "setPenPrivate true 3"}, Case{"pen,private,true", "setPenPrivate false 0"},
        Case{"pen,private,01", "setPenPrivate false 0"}, Case{"touch,private,2", "setTouchPrivate false"},
        // A uid the relay wrote unsigned comes back as the same uid; a negative
        // one keeps its two's complement reading.
        Case{"hub,removeVelaDevice,-1,3", "removeVelaDevice 4294967295 3"},
        Case{"hub,removeVelaDevice,4294967296,3", "removeVelaDevice 0 3"},
        // The question bit set: a3 bits, set where a6 has a "1".
        Case{"enhanced,sessionParameters,1,2,5,0,1,1,3", "sendEnhancedSessionParameters 1 2 5 0 true \"10000\" 3"},
        Case{"enhanced,sessionParameters,1,2,3,0,1,11111,3", "sendEnhancedSessionParameters 1 2 3 0 true \"111\" 3"},
        Case{"enhanced,sessionParameters,1,2,-1,0,1,11111,3", "sendEnhancedSessionParameters 1 2 -1 0 true \"\" 3"},
        Case{"enhanced,sessionParameters,1,2,4,0,1,1x21,3", "sendEnhancedSessionParameters 1 2 4 0 true \"1001\" 3"}));

} // namespace
