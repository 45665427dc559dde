#include "RecordingRelayClient.h"
#include "RelayCommands.h"
#include "VelaRelayListener.h"

#include <QSignalSpy>
#include <gtest/gtest.h>

#include <set>

namespace {

const QString US = QString(QChar(0x1F));

struct DispatchCase
{
    CommandCode code;
    QString packet; // carries exactly the least number of arguments
    QString call;
};

std::vector<DispatchCase> everyCommand()
{
    const QString t = QStringLiteral("a") + US + QStringLiteral("b");
    return {
        {CommandCode::BoardTouchAndPenCount, "board,touchAndPenCount", "queryPenAndTouchCount"},
        {CommandCode::EraseCount, "erase,count", "queryErasesCount"},
        {CommandCode::HubCount, "hub,count", "queryHubCount"},
        {CommandCode::HubResetSession, "hub,resetSession", "resetSession"},
        {CommandCode::HubChangeBacklight, "hub,changeBacklight,3,1", "changeBacklight 3 1"},
        {CommandCode::HubGetState, "hub,getState", "getState"},
        {CommandCode::HubClearExpressions, "hub,clearExpressions", "clearExpressions"},
        {CommandCode::HubStopRegistrationSession, "hub,stopRegistrationSession", "stopRegistrationSession"},
        {CommandCode::HubStartRegistrationSession, "hub,startRegistrationSession,2,3,4," + t + ",5,6,7",
         "startRegistrationSession 2 3 4 \"a" + US + "b\" 5 6 7"},
        {CommandCode::HubStartStudentNamingSession, "hub,startStudentNamingSession,1,511,3,4",
         "startStudentNamingSession 1 -1 3 4"},
        {CommandCode::HubStartTeacherNamingSession, "hub,startTeacherNamingSession", "startTeacherNamingSession"},
        {CommandCode::HubNameExpression, "hub,nameExpression,101," + t, "nameExpression 101 \"a,b\""},
        {CommandCode::HubStartExpressionNamingSession, "hub,startExpressionNamingSession",
         "startExpressionNamingSession"},
        {CommandCode::HubStopExpressionNamingSession, "hub,stopExpressionNamingSession", "stopExpressionNamingSession"},
        {CommandCode::HubStopExpressionEndUserNamingSession, "hub,stopExpressionEndUserNamingSession",
         "stopExpressionEndUserNamingSession"},
        {CommandCode::HubRemoveVelaDevice, "hub,removeVelaDevice,4294967295,5", "removeVelaDevice 4294967295 5"},
        {CommandCode::PenPrivate, "pen,private,1", "setPenPrivate true 0"},
        {CommandCode::TouchPrivate, "touch,private,1", "setTouchPrivate true"},
        {CommandCode::ErasePrivate, "erase,private,1", "setErasePrivate true"},
        {CommandCode::ScreenSize, "screen,size,1920,1080", "setScreenSize 1920 1080"},
        {CommandCode::WindowPosition, "window,position,10,20,300,-4", "setWindowPosition 10 20 300 -4"},
        {CommandCode::QuestionAskMultipleChoice, "question,askMultipleChoiceQuestion,7,4,1",
         "askQuestion 0 7 4 1 false"},
        {CommandCode::QuestionAskSortInOrder, "question,askSortInOrderQuestion,7,4,2", "askQuestion 1 7 4 2 false"},
        {CommandCode::QuestionAskLikert, "question,askLikertQuestion,7,5", "askQuestion 2 7 5 0 false"},
        {CommandCode::QuestionAskYesNo, "question,askYesNoQuestion,5,1", "askQuestion 3 5 0 0 true"},
        {CommandCode::QuestionAskTrueFalse, "question,askTrueFalseQuestion,5,0", "askQuestion 4 5 0 0 false"},
        {CommandCode::QuestionAskNumeric, "question,askNumericQuestion,9", "askQuestion 5 9 0 0 false"},
        {CommandCode::QuestionAskText, "question,askTextQuestion,9", "askQuestion 6 9 0 0 false"},
        {CommandCode::QuestionStop, "question,stopQuestion", "stopQuestion"},
        {CommandCode::QuestionGetRegisteredDevices, "question,getRegisteredDevices", "getRegisteredDevices"},
        {CommandCode::CapabilitiesGetAll, "capabilities,getAll", "getAllCapabilities"},
        {CommandCode::CapabilitiesGetBoard, "capabilities,getBoard", "getBoardCapabilities"},
        {CommandCode::CapabilitiesGetQuestion, "capabilities,getQuestion", "getQuestionCapabilities"},
        {CommandCode::CapabilitiesSetMode, "capabilities,setMode,2", "setCapabilitiesMode 2"},
        {CommandCode::RelayIntelligence, "relay,intelligence,2", "setIntelligence true"},
        {CommandCode::RelayKeepAlive, "relay,keepAlive", "keepAlive"},
        {CommandCode::RelayFocus, "relay,focus,abc", "setFocus false"},
        {CommandCode::EnhancedStartSession, "enhanced,startSession,257", "startEnhancedSession 1"},
        {CommandCode::EnhancedSessionParameters, "enhanced,sessionParameters,1,2,5,0,1,10110,3",
         "sendEnhancedSessionParameters 1 2 5 0 true \"10110\" 3"},
        {CommandCode::EnhancedMultichoiceQuestion, "enhanced,multichoiceQuestion,1,2,3," + t + ",1,0,7,4,1,2," + t,
         "sendEnhancedMultichoiceQuestion {1 2 3 \"a,b\" true false true} 4 1 2 \"a" + US + "b\""},
        {CommandCode::EnhancedYesNoDontKnowQuestion, "enhanced,yesNoDontKnowQuestion,1,2,3,q,0,0,0,1,6",
         "sendEnhancedYesNoQuestion {1 2 3 \"q\" false false false} true 6"},
        {CommandCode::EnhancedTrueFalseDontKnowQuestion, "enhanced,trueFalseDontKnowQuestion,1,2,3,q,1,1,1,0,6",
         "sendEnhancedTrueFalseQuestion {1 2 3 \"q\" true true true} false 6"},
        {CommandCode::EnhancedLikertQuestion, "enhanced,likertQuestion,1,2,3,q,0,0,0,1,5",
         "sendEnhancedLikertQuestion {1 2 3 \"q\" false false false} 1 5"},
        {CommandCode::EnhancedNumericQuestion, "enhanced,numericQuestion,1,2,3,q,0,0,0,4," + t,
         "sendEnhancedNumericQuestion {1 2 3 \"q\" false false false} 4 \"a,b\""},
        {CommandCode::EnhancedTextQuestion, "enhanced,textQuestion,1,2,3,q,0,0,0,4," + t + ",1",
         "sendEnhancedTextQuestion {1 2 3 \"q\" false false false} 4 \"a,b\" true"},
        {CommandCode::EnhancedSortInOrderQuestion, "enhanced,sortInOrderQuestion,1,2,3,q,0,0,0,4,1,2," + t,
         "sendEnhancedSortInOrderQuestion {1 2 3 \"q\" false false false} 4 1 2 \"a" + US + "b\""},
        {CommandCode::EnhancedMessage, "enhanced,message,1,2,3," + t, "sendEnhancedMessage 1 2 3 \"a,b\""},
        {CommandCode::EnhancedPopup, "enhanced,popup,1,2,1," + t, "sendEnhancedPopup 1 2 true \"a,b\""},
        {CommandCode::EnhancedNoMoreQuestions, "enhanced,noMoreQuestions,1,2," + t, "sendNoMoreQuestions 1 2 \"a,b\""},
    };
}

QStringList dispatched(const QString &packet)
{
    RecordingRelayClient client;
    dispatchCommand(client, packet);
    return client.calls;
}

TEST(CommandTable, RowsAreUniqueAndFoundByTheirWords)
{
    std::set<std::pair<std::string, std::string>> names;
    for (const CommandRow &row : commandTable()) {
        EXPECT_TRUE(names.insert({row.group, row.command}).second) << row.group << "," << row.command;
        EXPECT_EQ(lookupCommand(row.group, row.command), row.code) << row.group << "," << row.command;
        EXPECT_TRUE(hasEnoughArguments(row.code, 2 + row.minArguments));
        EXPECT_FALSE(hasEnoughArguments(row.code, 1 + row.minArguments)) << row.group << "," << row.command;
    }
    EXPECT_EQ(names.size(), 49u);
    EXPECT_FALSE(hasEnoughArguments(CommandCode::Unknown, 40));
    EXPECT_FALSE(hasEnoughArguments(static_cast<CommandCode>(50), 40));
}

TEST(CommandTable, EveryCommandMakesItsOneCallWithConvertedArguments)
{
    std::set<CommandCode> covered;
    for (const DispatchCase &c : everyCommand()) {
        covered.insert(c.code);
        EXPECT_EQ(dispatched(c.packet), QStringList{c.call}) << c.packet.toStdString();

        // One argument short of the least count: dropped without a call.
        const int minArguments = commandTable()[static_cast<size_t>(c.code)].minArguments;
        if (minArguments > 0) {
            const QString shorter = c.packet.left(c.packet.lastIndexOf(QLatin1Char(',')));
            EXPECT_TRUE(dispatched(shorter).isEmpty()) << shorter.toStdString();
        }
    }
    EXPECT_EQ(covered.size(), size_t(CommandCount)) << "a command without a dispatch case";
}

TEST(CommandDispatch, DropsMalformedPackets)
{
    for (const char *packet :
         {"", "hub", "Hub,count", "hub,Count", "board,count", "erase,touchAndPenCount", "hub,count\n",
          "hub,changeBacklight,3", "nothing,here", "relay,focus", " hub,count", "hub ,count"}) {
        EXPECT_TRUE(dispatched(QString::fromLatin1(packet)).isEmpty()) << packet;
    }
}

TEST(CommandDispatch, ConvertsArgumentsTheWayClientsRelyOn)
{
    const std::vector<std::pair<QString, QString>> cases = {
        // Unreadable numbers are 0.
        {"hub,changeBacklight,12abc,99999999999", "changeBacklight 0 0"},
        {"hub,changeBacklight,,x", "changeBacklight 0 0"},
        {"hub,changeBacklight,-7,+8", "changeBacklight -7 8"},
        // Extra fields are ignored; an empty trailing field still counts.
        {"hub,getState,1,2", "getState"},
        {"hub,count,", "queryHubCount"},
        // The private flags are true only for exactly "1".
        {"pen,private,1,3", "setPenPrivate true 3"},
        {"pen,private,true", "setPenPrivate false 0"},
        {"pen,private,01", "setPenPrivate false 0"},
        {"touch,private,2", "setTouchPrivate false"},
        {"relay,intelligence,abc", "setIntelligence false"},
        // A uid written unsigned by the relay comes back as the same uid; a
        // negative one keeps its two's complement reading.
        {"hub,removeVelaDevice,-1,3", "removeVelaDevice 4294967295 3"},
        {"hub,removeVelaDevice,4294967296,3", "removeVelaDevice 0 3"},
        // The question bit set: a3 bits, set where a6 has a "1".
        {"enhanced,sessionParameters,1,2,5,0,1,1,3", "sendEnhancedSessionParameters 1 2 5 0 true \"10000\" 3"},
        {"enhanced,sessionParameters,1,2,3,0,1,11111,3", "sendEnhancedSessionParameters 1 2 3 0 true \"111\" 3"},
        {"enhanced,sessionParameters,1,2,-1,0,1,11111,3", "sendEnhancedSessionParameters 1 2 -1 0 true \"\" 3"},
        {"enhanced,sessionParameters,1,2,4,0,1,1x21,3", "sendEnhancedSessionParameters 1 2 4 0 true \"1001\" 3"},
    };
    for (const auto &[packet, call] : cases)
        EXPECT_EQ(dispatched(packet), QStringList{call}) << packet.toStdString();
}

TEST(CommandDispatch, BoundsTheQuestionBitSetAClientSizes)
{
    EXPECT_EQ(sessionQuestionBits(2147483647, QStringLiteral("11")).size(), 1 << 20);
    EXPECT_EQ(sessionQuestionBits(2147483647, QStringLiteral("11")).count(true), 2);
}

TEST(VelaRelayListener, AnnouncesEachPacketCarriedOutOnce)
{
    auto *client = new RecordingRelayClient;
    VelaRelayListener listener{std::unique_ptr<IVelaRelayClient>(client)};
    QSignalSpy announced(&listener, &VelaRelayListener::relayMessageReceived);

    for (const char *packet : {"hub,count", "hub", "Hub,count", "hub,changeBacklight,3", "relay,keepAlive,x"})
        listener.onRelayMessageReceived(QString::fromLatin1(packet));

    ASSERT_EQ(announced.count(), 2);
    EXPECT_EQ(announced.at(0).at(0).toString(), QStringLiteral("hub,count"));
    EXPECT_EQ(announced.at(1).at(0).toString(), QStringLiteral("relay,keepAlive,x"));
    EXPECT_EQ(client->calls, (QStringList{"queryHubCount", "keepAlive"}));
}

} // namespace
