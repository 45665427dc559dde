#include "HubAdapterFixture.h"

namespace {

TEST_F(VotingHub, NamingOfAnEarlierVotingHubEndsThereBeforeNewNamingStarts)
{
    QSignalSpy announced(client.get(), &IVelaRelayClient::hubConnected);
    client->startTeacherNamingSession();
    client->startStudentNamingSession(1, 2, 10, 1);
    sim(QStringLiteral("hub add 2 type=2"));
    ASSERT_TRUE(arrived(announced));
    journal();

    client->startTeacherNamingSession();
    client->stopExpressionEndUserNamingSession();
    EXPECT_EQ(
        journal(),
        (QStringList{"naming stopExpressionNamingSession 1", "system stopVelahubExpressionNamingSession 1",
                     "system startVelahubExpressionNamingSession 2", "hub stopExpressionEndUserNamingSession 1"}));
}

} // namespace
