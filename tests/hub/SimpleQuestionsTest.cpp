#include "HubAdapterFixture.h"

namespace {

TEST_F(VotingHub, AnAnswerHandledAfterItsQuestionEndedDoesNotCountForTheNext)
{
    QSignalSpy responses(client.get(), &IVelaRelayClient::questionResponse);
    ask(7);
    // The answer arrives on the library's thread before the client's next
    // commands are carried out, and is handled after them.
    sim(QStringLiteral("answer 1 yesno 1001 7 1"));
    client->stopQuestion();
    ask(8);
    sim(QStringLiteral("answer 1 yesno 1001 8 0"));
    ASSERT_TRUE(arrived(responses));
    EXPECT_EQ(responses.at(0), (QList<QVariant>{1001u, 8, QStringLiteral("No"), QStringLiteral("Ann")}));
}

TEST_F(VotingHub, AQuestionCanBeAskedOnceTheHubWasReset)
{
    ask(7);
    client->resetSession();
    ask(8);
    EXPECT_EQ(journal().mid(2),
              (QStringList{"hub resetHubSession 1", "hub stopSession 1", "hub startYesNoSession 1 8 0 0 0"}));
}

// A true/false answer reaches the clients as a word.
TEST_F(VotingHub, TrueFalseAnswersReadAsWords)
{
    QSignalSpy responses(client.get(), &IVelaRelayClient::questionResponse);
    const QStringList words{"False", "True", "Don't Know"};
    for (int value = 0; value < 3; ++value) {
        client->askQuestion(TrueFalse, {value});
        sim(QStringLiteral("answer 1 truefalse 1001 %1 %1").arg(value));
        ASSERT_TRUE(arrived(responses, value + 1));
        EXPECT_EQ(responses.at(value).at(2).toString(), words.at(value));
    }
}

} // namespace
