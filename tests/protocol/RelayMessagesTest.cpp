#include "RelayMessages.h"
#include "QtPrinters.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

// The one place that pins the exact text of every outgoing message.
namespace {

using namespace RelayMessages;

constexpr qint64 T = 1765000000123;
const QString US = QString(QChar(0x1F));

// In field order, every number distinct, so a value written in the wrong place
// shows.
const QuestionCapabilities caps{true, false, true, false, true, false, true, 1,    6,    2,
                                5,    3,     8,    4,     7,    -3,    9,    true, false};
const QString groups = "multipleChoice:1:1:6:2:5,sortInOrder:0:3:8:4:7,likert:1:-3:9,yesNo:0:1,trueFalse:1:0,"
                       "numeric:0,text:1";

// The expected text writes the timestamp as the field T, as the protocol's
// own examples do.
struct Row
{
    QString built;
    QString expected;
};

using Wire = ::testing::TestWithParam<Row>;

TEST_P(Wire, CharacterForCharacter)
{
    QStringList fields = GetParam().expected.split(',');
    std::replace(fields.begin(), fields.end(), QStringLiteral("T"), QString::number(T));
    EXPECT_EQ(GetParam().built, fields.join(','));
}

std::vector<Row> rows()
{
    return {
        {greeting(), "o"},
        {addressPrefix("192.0.2.7"), "192.0.2.7,"},
        {keepAlive(), "keepAlive5"},
        {board(T, 4, 10), "board,T,10,4"},
        {eraseCount(T, 2), "eraseCount,T,2"},
        {hubConnection(T), "hubConnection,T,1,1,1"},
        {boardDisconnect(T, 4, 10), "boardDisconnect,T,10,4"},
        {hubCount(T, -1), "hubCount,T,-1"},
        {pen(T, {1, 16000, 9000, true, false}), "pen,1,T,16000,9000,1,0"},
        {touch(T, {{3, 1200, 900, 1}, {4, 1300, 950, 0}}), "touch,T,3:1200:900:1,4:1300:950:0"},
        {touch(T, {}), "touch,T"},
        {eraser(T, {{1, 5000, 6000, 300, 200, 1}}), "eraser,T,1:5000:6000:300:200:1"},
        {questionSession(T, true), "questionSession,T,1"},
        {questionResponse(T, {-1, 4294967295u, "Smith, Jane", "a,b"}),
         "questionResponse,T,-1,4294967295,Smith" + US + " Jane,a" + US + "b"},
        {questionDevices(T, {{101, "Ann"}, {102, ""}, {4294967295u, "Smith, Jane"}}),
         "questionDevices,T,101:Ann,102:,4294967295:Smith" + US + " Jane"},
        {questionDevices(T, {}), "questionDevices,T"},
        {allCapabilities(T, 4, 10, caps), "allCapabilities,T,10,4," + groups},
        {boardCapabilities(T, 4, 10), "boardCapabilities,T,10,4"},
        {questionCapabilities(T, caps), "questionCapabilities,T," + groups},
        {error(T, SCRIBA_RUNNING), "error,T,SCRIBA_RUNNING"},
        {error(T, UNSUPPORTED_QUESTION), "error,T,UNSUPPORTED_QUESTION"},
        {error(T, CLIENT_UNRESPONSIVE), "error,T,CLIENT_UNRESPONSIVE"},
        {error(T, static_cast<VelaRelayErrorType>(7)), "error,T,UNDEFINED"},
        {information(T, FOCUS_LOST), "information,T,FOCUS_LOST"},
        {information(T, static_cast<VelaRelayInformationType>(1)), "information,T,UNDEFINED"},
        {enhancedSessionGetSessionParameters(T, 1, 101, 1033), "enhancedSessionGetSessionParameters,T,1,101,1033"},
        {enhancedSessionGetQuestion(T, 1, 101, 3), "enhancedSessionGetQuestion,T,1,101,3"},
        {enhancedSessionMultichoiceAnswer(T, 1, 101, 3, "A,C"), "enhancedSessionMultichoiceAnswer,T,1,101,3,A,C"},
        {enhancedSessionYesNoAnswer(T, 1, 101, 3, 2), "enhancedSessionYesNoAnswer,T,1,101,3,2"},
        {enhancedSessionTrueFalseAnswer(T, 1, 101, 3, 0), "enhancedSessionTrueFalseAnswer,T,1,101,3,0"},
        {enhancedSessionLikertAnswer(T, 1, 101, 3, -7), "enhancedSessionLikertAnswer,T,1,101,3,-7"},
        {enhancedSessionNumericAnswer(T, 1, 101, 3, "3,14"), "enhancedSessionNumericAnswer,T,1,101,3,3" + US + "14"},
        {enhancedSessionTextAnswer(T, 1, 101, 3, "yes, no", true),
         "enhancedSessionTextAnswer,T,1,101,3,yes" + US + " no,1"},
        {enhancedSessionSortInOrderAnswer(T, 4294967295u, 101, 3, "B,A"),
         "enhancedSessionSortInOrderAnswer,T,4294967295,101,3,B,A"},
        {enhancedSessionDeviceShutDown(T, 1, 101), "enhancedSessionDeviceShutDown,T,1,101"},
        {hubState(T, 4294967295u), "hubState,T,4294967295"},
        {enhancedSessionID(T, 0), "enhancedSessionID,T,0"},
        {resetHubSessionResult(T, 1), "resetHubSessionResult,T,1"},
        {registrationComplete(T, 2), "registrationComplete,T,2"},
        {namingSessionStatus(T, 1), "namingSessionStatus,T,1"},
        {expressionName(T, 101, "Smith, Jane"), "expressionName,T,101,Smith" + US + " Jane"},
        {expressionDeviceRegistered(T, "Ann, B", 101, 5, 2), "expressionDeviceRegistered,T,Ann" + US + " B,101,5,2"},
        {removeVelaDevice(T, 101, 255, false), "removeVelaDevice,T,101,255,0"},
    };
}

INSTANTIATE_TEST_SUITE_P(RelayMessages, Wire, ::testing::ValuesIn(rows()));

// The table is what the protocol reference prints: every row is built above,
// with as many fields as it documents (more where raw text holds a comma or a
// list repeats, none where a list is empty).
TEST(MessageTable, EveryRowIsBuiltWithTheFieldsItDocuments)
{
    std::set<MessageCode> built;
    for (const Row &r : rows()) {
        const QStringList fields = r.expected.split(',');
        for (const MessageRow &m : messageTable()) {
            if (fields.first() != QLatin1String(m.keyword.data(), static_cast<int>(m.keyword.size())))
                continue;
            built.insert(m.code);
            int documented = 0;
            bool variable = false;
            for (const MessageField &f : m.fields) {
                documented += f.name ? 1 : 0;
                variable = variable || (f.name && (f.type == FieldType::List || f.type == FieldType::RawText));
            }
            if (variable)
                EXPECT_GE(fields.size(), documented) << r.expected.toStdString();
            else
                EXPECT_EQ(fields.size() - 1, documented) << r.expected.toStdString();
        }
    }
    EXPECT_EQ(built.size(), messageTable().size());
}

} // namespace
