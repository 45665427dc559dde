#include "HubAdapterFixture.h"

namespace {

TEST_F(VotingHub, ASessionOfAnEarlierVotingHubEndsAndIsHeardNoMore)
{
    QSignalSpy requests(client.get(), &IVelaRelayClient::sendGetQuestion);
    QSignalSpy announced(client.get(), &IVelaRelayClient::hubConnected);
    client->startEnhancedSession(1);
    sim(QStringLiteral("hub add 2 type=2"));
    sim(QStringLiteral("device add 2 2001 5 Di"));
    ASSERT_TRUE(arrived(announced));
    journal();

    client->startEnhancedSession(1);
    EXPECT_EQ(journal(), (QStringList{"enhanced stopSession 1", "enhanced startSession 2 0"}));
    sim(QStringLiteral("enhanced 1 getQuestion 1001 3"));
    sim(QStringLiteral("enhanced 2 getQuestion 2001 4"));
    ASSERT_TRUE(arrived(requests));
    EXPECT_EQ(requests.at(0), (QList<QVariant>{2u, 2001u, 4}));
}

} // namespace
