#include "VelaRelayListener.h"
#include "RecordingRelayClient.h"

#include <QSignalSpy>
#include <gtest/gtest.h>

namespace {

qint64 fixedClock()
{
    return 42;
}

class Listener : public ::testing::Test
{
protected:
    QStringList take()
    {
        QStringList messages;
        for (const QList<QVariant> &args : sent)
            messages << args.at(0).toString();
        sent.clear();
        return messages;
    }

    RecordingRelayClient *client = new RecordingRelayClient;
    VelaRelayListener listener{client, nullptr, 60000, fixedClock};
    QSignalSpy sent{&listener, &VelaRelayListener::messageReady};
};

TEST_F(Listener, EveryHubSideEventBecomesOneMessage)
{
    IVelaRelayClient *c = client;
    emit c->penAndTouchCount(4, 10);
    emit c->erasesCount(2);
    emit c->hubConnected();
    emit c->boardDisconnected(4, 10);
    emit c->pen(PenData{2, 100, 200, true, true});
    emit c->touch({TouchData{1, 5, 6, 1}});
    emit c->eraser({EraserData{1, 5, 6, 7, 8, 0}});
    emit c->questionSession(false);
    emit c->questionResponse(101, 7, QStringLiteral("B"), QStringLiteral("Ann"));
    emit c->boardCapabilities(4, 10);
    emit c->error(CLIENT_UNRESPONSIVE);
    emit c->information(FOCUS_LOST);
    emit c->sendGetSessionParameters(1, 101, 1033);
    emit c->sendGetQuestion(1, 101, 2);
    emit c->sendMultichoiceAnswer(1, 101, 2, QStringLiteral("A,B"));
    emit c->sendYesNoAnswer(1, 101, 2, 1);
    emit c->sendTrueFalseAnswer(1, 101, 2, 0);
    emit c->sendLikertAnswer(1, 101, 2, 5);
    emit c->sendNumericAnswer(1, 101, 2, QStringLiteral("3,5"));
    emit c->sendTextAnswer(1, 101, 2, QStringLiteral("hi"), true);
    emit c->sendSortInOrderAnswer(1, 101, 2, QStringLiteral("C,A"));
    emit c->sendDeviceShutDown(1, 101);
    emit c->sendHubState(3);
    emit c->sendEnhancedSessionID(1);
    emit c->sendResetHubSessionResult(1);
    emit c->sendRegistrationComplete(2);
    emit c->sendNamingSessionStatus(1);
    emit c->updateExpressionName(101, QStringLiteral("Ann"));
    emit c->sendExpressionDeviceRegistered(QStringLiteral("Ann"), 101, 5, 1);
    emit c->sendRemoveVelaDevice(101, 5, true);

    const QString us = QString(QChar(0x1F));
    EXPECT_EQ(take(),
              (QStringList{
                  "board,42,10,4",
                  "eraseCount,42,2",
                  "hubConnection,42,1,1,1",
                  "boardDisconnect,42,10,4",
                  "pen,2,42,100,200,1,1",
                  "touch,42,1:5:6:1",
                  "eraser,42,1:5:6:7:8:0",
                  "questionSession,42,0",
                  "questionResponse,42,7,101,Ann,B",
                  "boardCapabilities,42,10,4",
                  "error,42,CLIENT_UNRESPONSIVE",
                  "information,42,FOCUS_LOST",
                  "enhancedSessionGetSessionParameters,42,1,101,1033",
                  "enhancedSessionGetQuestion,42,1,101,2",
                  "enhancedSessionMultichoiceAnswer,42,1,101,2,A,B",
                  "enhancedSessionYesNoAnswer,42,1,101,2,1",
                  "enhancedSessionTrueFalseAnswer,42,1,101,2,0",
                  "enhancedSessionLikertAnswer,42,1,101,2,5",
                  "enhancedSessionNumericAnswer,42,1,101,2,3" + us + "5",
                  "enhancedSessionTextAnswer,42,1,101,2,hi,1",
                  "enhancedSessionSortInOrderAnswer,42,1,101,2,C,A",
                  "enhancedSessionDeviceShutDown,42,1,101",
                  "hubState,42,3",
                  "enhancedSessionID,42,1",
                  "resetHubSessionResult,42,1",
                  "registrationComplete,42,2",
                  "namingSessionStatus,42,1",
                  "expressionName,42,101,Ann",
                  "expressionDeviceRegistered,42,Ann,101,5,1",
                  "removeVelaDevice,42,101,5,1",
              }));
}

TEST_F(Listener, AccumulatedAnswersAreSentAsReceivedAndThenCleared)
{
    IVelaRelayClient *c = client;
    emit c->hubCount(2);
    emit c->hubCount(3);
    emit c->questionDevices({QuestionDevice{101, QStringLiteral("Ann")}});
    emit c->questionDevices({QuestionDevice{102, QString()}});

    QuestionCapabilities caps;
    caps.yesNo = caps.text = true;
    caps.likertMinScale = -4;
    caps.likertMaxScale = 9;
    caps.yesNoDontKnow = caps.trueFalseDontKnow = true;
    emit c->questionCapabilities(caps);
    emit c->allCapabilities(4, 10, caps);
    emit c->allCapabilities(1, 0, QuestionCapabilities());

    const QString groups = QStringLiteral("multipleChoice:0:0:0:0:0,sortInOrder:0:0:0:0:0,likert:0:0:9,"
                                          "yesNo:1:0,trueFalse:0:0,numeric:0,text:1");
    EXPECT_EQ(take(),
              (QStringList{
                  "hubCount,42,2",
                  "hubCount,42,3",
                  "questionDevices,42,101:Ann",
                  "questionDevices,42,102:",
                  "questionCapabilities,42," + groups,
                  "allCapabilities,42,10,4," + groups,
                  "allCapabilities,42,0,1,multipleChoice:0:0:0:0:0,sortInOrder:0:0:0:0:0,likert:0:0:0,"
                  "yesNo:0:0,trueFalse:0:0,numeric:0,text:0",
              }));
}

TEST_F(Listener, CapabilityQueriesAndConnectionCountsGoToTheHubSide)
{
    emit client->queryCapabilities();
    listener.onSetNumConnections(0);
    EXPECT_EQ(client->calls, (QStringList{"sendCapabilities", "setNumConnections 0"}));
    EXPECT_TRUE(take().isEmpty());
}

TEST(ListenerKeepAlive, SentEveryIntervalWithNobodyListening)
{
    VelaRelayListener listener(new RecordingRelayClient, nullptr, 20, fixedClock);
    QSignalSpy sent(&listener, &VelaRelayListener::messageReady);
    while (sent.count() < 3)
        ASSERT_TRUE(sent.wait(2000));
    for (const QList<QVariant> &args : sent)
        EXPECT_EQ(args.at(0).toString(), QStringLiteral("keepAlive5"));
}

} // namespace
