#include "HubAdapterFixture.h"

namespace {

class VotingHub : public HubAdapter
{
protected:
    void SetUp() override
    {
        HubAdapter::SetUp();
        sim(QStringLiteral("hub add 1 type=2"));
        sim(QStringLiteral("device add 1 1001 5 Ann"));
        sim(QStringLiteral("device add 1 1002 5 Bo"));
        start();
    }

    void ask(int questionId)
    {
        QuestionParameters p;
        p.questionId = questionId;
        client->askQuestion(YesNo, p);
    }
};

TEST_F(VotingHub, AnAnswerHandledAfterItsQuestionEndedDoesNotCountForTheNext)
{
    QSignalSpy responses(client.get(), &IVelaRelayClient::questionResponse);
    ask(7);
    // The answer arrives on the library's thread before the client's next
    // commands are carried out, and is handled after them.
    Velasystem::Simulator::execute(QStringLiteral("answer 1 yesno 1001 7 1"));
    client->stopQuestion();
    ask(8);
    settle();
    EXPECT_EQ(responses.count(), 0);

    sim(QStringLiteral("answer 1 yesno 1001 8 0"));
    ASSERT_EQ(responses.count(), 1);
    EXPECT_EQ(responses.at(0), (QList<QVariant>{1001u, 8, QStringLiteral("No"), QStringLiteral("Ann")}));
}

TEST_F(VotingHub, WhatRanOnAVotingHubThatWentEndsForTheClients)
{
    QSignalSpy session(client.get(), &IVelaRelayClient::questionSession);
    QSignalSpy enhanced(client.get(), &IVelaRelayClient::sendEnhancedSessionID);
    QSignalSpy registered(client.get(), &IVelaRelayClient::sendRegistrationComplete);
    ask(7);
    client->startEnhancedSession(1);
    client->startRegistrationSession(3, 0, 0, QStringLiteral("X"), 0, 0, 0);
    sim(QStringLiteral("register 2001 5 Cy"));
    journal();

    sim(QStringLiteral("hub remove 1"));
    EXPECT_EQ(session.last(), QList<QVariant>{false});
    EXPECT_EQ(enhanced.last(), QList<QVariant>{0u});
    EXPECT_EQ(registered.last(), QList<QVariant>{1u});
    for (const QString &call : journal())
        EXPECT_FALSE(call.startsWith(QLatin1String("hub ")) || call.startsWith(QLatin1String("enhanced ")))
            << call.toStdString();

    // A new voting hub takes questions at once.
    sim(QStringLiteral("hub add 2 type=2"));
    ask(9);
    EXPECT_EQ(session.last(), QList<QVariant>{true});
    EXPECT_EQ(journal(), (QStringList{"hub stopSession 2", "hub startYesNoSession 2 9 0 0 0"}));
}

TEST_F(VotingHub, SessionsOfAnEarlierVotingHubEndBeforeNewOnesStart)
{
    client->startEnhancedSession(1);
    client->startTeacherNamingSession();
    client->startStudentNamingSession(1, 2, 10, 1);
    sim(QStringLiteral("hub add 2 type=2"));
    journal();

    client->startEnhancedSession(1);
    client->startTeacherNamingSession();
    client->stopExpressionEndUserNamingSession();
    EXPECT_EQ(
        journal(),
        (QStringList{"enhanced stopSession 1", "enhanced startSession 2 0", "naming stopExpressionNamingSession 1",
                     "system stopVelahubExpressionNamingSession 1", "system startVelahubExpressionNamingSession 2",
                     "hub stopExpressionEndUserNamingSession 1"}));
}

} // namespace
