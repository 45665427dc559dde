#include "RelayMessages.h"

#include <gtest/gtest.h>

namespace {

using namespace RelayMessages;

constexpr qint64 T = 1765000000123;
const QString US = QString(QChar(0x1F));

QuestionCapabilities fullCapabilities()
{
    QuestionCapabilities c;
    c.multipleChoice = c.sortInOrder = c.likert = c.yesNo = c.trueFalse = c.numeric = c.text = true;
    c.multipleChoiceMinOptions = 1;
    c.multipleChoiceMaxOptions = 6;
    c.multipleChoiceMinResponses = 1;
    c.multipleChoiceMaxResponses = 6;
    c.sortInOrderMinOptions = 1;
    c.sortInOrderMaxOptions = 6;
    c.sortInOrderMinResponses = 1;
    c.sortInOrderMaxResponses = 6;
    c.likertMinScale = 4;
    c.likertMaxScale = 9;
    return c;
}

struct Row
{
    QString built;
    QString expected;
};

TEST(RelayMessages, EveryMessageCharacterForCharacter)
{
    QuestionCapabilities mixed = fullCapabilities();
    mixed.sortInOrder = mixed.numeric = false;
    mixed.likertMinScale = -3;
    mixed.yesNoDontKnow = mixed.trueFalseDontKnow = true;
    const QString groups = "multipleChoice:1:1:6:1:6,sortInOrder:1:1:6:1:6,likert:1:4:9,yesNo:1:0,"
                           "trueFalse:1:0,numeric:1,text:1";

    const std::vector<Row> rows = {
        {keepAlive(), "keepAlive5"},
        {board(T, 4, 10), "board,1765000000123,10,4"},
        {eraseCount(T, 2), "eraseCount,1765000000123,2"},
        {hubConnection(T), "hubConnection,1765000000123,1,1,1"},
        {boardDisconnect(T, 4, 10), "boardDisconnect,1765000000123,10,4"},
        {hubCount(T, -1), "hubCount,1765000000123,-1"},
        {pen(T, {1, 16000, 9000, true, false}), "pen,1,1765000000123,16000,9000,1,0"},
        {touch(T, {{3, 1200, 900, 1}, {4, 1300, 950, 0}}), "touch,1765000000123,3:1200:900:1,4:1300:950:0"},
        {touch(T, {}), "touch,1765000000123"},
        {eraser(T, {{1, 5000, 6000, 300, 200, 1}}), "eraser,1765000000123,1:5000:6000:300:200:1"},
        {eraser(T, {}), "eraser,1765000000123"},
        {questionSession(T, true), "questionSession,1765000000123,1"},
        {questionResponse(T, {7, 101, "Ann", "B"}), "questionResponse,1765000000123,7,101,Ann,B"},
        {questionResponse(T, {-1, 4294967295u, "Smith, Jane", "a,b"}),
         "questionResponse,1765000000123,-1,4294967295,Smith" + US + " Jane,a" + US + "b"},
        {questionDevices(T, {{101, "Ann"}, {102, ""}, {4294967295u, "Smith, Jane"}}),
         "questionDevices,1765000000123,101:Ann,102:,4294967295:Smith" + US + " Jane"},
        {questionDevices(T, {}), "questionDevices,1765000000123"},
        {allCapabilities(T, 4, 10, fullCapabilities()), "allCapabilities,1765000000123,10,4," + groups},
        {boardCapabilities(T, 4, 10), "boardCapabilities,1765000000123,10,4"},
        {questionCapabilities(T, fullCapabilities()), "questionCapabilities,1765000000123," + groups},
        {questionCapabilities(T, mixed),
         "questionCapabilities,1765000000123,multipleChoice:1:1:6:1:6,sortInOrder:0:1:6:1:6,likert:1:-3:9,"
         "yesNo:1:1,trueFalse:1:1,numeric:0,text:1"},
        {questionCapabilities(T, {}),
         "questionCapabilities,1765000000123,multipleChoice:0:0:0:0:0,sortInOrder:0:0:0:0:0,likert:0:0:0,"
         "yesNo:0:0,trueFalse:0:0,numeric:0,text:0"},
        {error(T, SCRIBA_RUNNING), "error,1765000000123,SCRIBA_RUNNING"},
        {error(T, UNSUPPORTED_QUESTION), "error,1765000000123,UNSUPPORTED_QUESTION"},
        {error(T, CLIENT_UNRESPONSIVE), "error,1765000000123,CLIENT_UNRESPONSIVE"},
        {error(T, static_cast<VelaRelayErrorType>(7)), "error,1765000000123,UNDEFINED"},
        {information(T, FOCUS_LOST), "information,1765000000123,FOCUS_LOST"},
        {information(T, static_cast<VelaRelayInformationType>(1)), "information,1765000000123,UNDEFINED"},
        {enhancedSessionGetSessionParameters(T, 1, 101, 1033),
         "enhancedSessionGetSessionParameters,1765000000123,1,101,1033"},
        {enhancedSessionGetQuestion(T, 1, 101, 3), "enhancedSessionGetQuestion,1765000000123,1,101,3"},
        {enhancedSessionMultichoiceAnswer(T, 1, 101, 3, "A,C"),
         "enhancedSessionMultichoiceAnswer,1765000000123,1,101,3,A,C"},
        {enhancedSessionYesNoAnswer(T, 1, 101, 3, 2), "enhancedSessionYesNoAnswer,1765000000123,1,101,3,2"},
        {enhancedSessionTrueFalseAnswer(T, 1, 101, 3, 0), "enhancedSessionTrueFalseAnswer,1765000000123,1,101,3,0"},
        {enhancedSessionLikertAnswer(T, 1, 101, 3, -7), "enhancedSessionLikertAnswer,1765000000123,1,101,3,-7"},
        {enhancedSessionNumericAnswer(T, 1, 101, 3, "3,14"),
         "enhancedSessionNumericAnswer,1765000000123,1,101,3,3" + US + "14"},
        {enhancedSessionTextAnswer(T, 1, 101, 3, "yes, no", true),
         "enhancedSessionTextAnswer,1765000000123,1,101,3,yes" + US + " no,1"},
        {enhancedSessionSortInOrderAnswer(T, 4294967295u, 101, 3, "B,A"),
         "enhancedSessionSortInOrderAnswer,1765000000123,4294967295,101,3,B,A"},
        {enhancedSessionDeviceShutDown(T, 1, 101), "enhancedSessionDeviceShutDown,1765000000123,1,101"},
        {hubState(T, 4294967295u), "hubState,1765000000123,4294967295"},
        {enhancedSessionID(T, 0), "enhancedSessionID,1765000000123,0"},
        {resetHubSessionResult(T, 1), "resetHubSessionResult,1765000000123,1"},
        {registrationComplete(T, 2), "registrationComplete,1765000000123,2"},
        {namingSessionStatus(T, 1), "namingSessionStatus,1765000000123,1"},
        {expressionName(T, 101, "Smith, Jane"), "expressionName,1765000000123,101,Smith" + US + " Jane"},
        {expressionDeviceRegistered(T, "Ann, B", 101, 5, 2),
         "expressionDeviceRegistered,1765000000123,Ann" + US + " B,101,5,2"},
        {removeVelaDevice(T, 101, 255, true), "removeVelaDevice,1765000000123,101,255,1"},
        {removeVelaDevice(T, 101, 6, false), "removeVelaDevice,1765000000123,101,6,0"},
    };
    for (const Row &row : rows)
        EXPECT_EQ(row.built.toStdString(), row.expected.toStdString());
}

TEST(RelayMessages, EscapedNamesKeepTheFieldCount)
{
    const QString message = questionResponse(T, {7, 101, "Smith, Jane", "B"});
    EXPECT_EQ(message.split(QLatin1Char(',')).size(), 6);
}

} // namespace
