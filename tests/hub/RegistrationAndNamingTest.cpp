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

TEST_F(VotingHub, AClearOrARemovalDuringARegistrationLeavesItToEndWithItsReport)
{
    QSignalSpy registered(client.get(), &IVelaRelayClient::sendExpressionDeviceRegistered);
    QSignalSpy complete(client.get(), &IVelaRelayClient::sendRegistrationComplete);
    client->startRegistrationSession(3, 0, 0, QStringLiteral("X"), 0, 0, 0);
    sim(QStringLiteral("register 2001 5 Cy"));
    ASSERT_TRUE(arrived(registered));
    journal();
    QSignalSpy removed(client.get(), &IVelaRelayClient::sendRemoveVelaDevice);
    client->removeVelaDevice(1001, 5);
    EXPECT_EQ(journal(), QStringList{"registration removeVelaexpression 1 1001"});
    EXPECT_TRUE(removed.last().at(2).toBool());
    client->clearExpressions();
    EXPECT_EQ(journal(), QStringList{"registration clearHubOfExpressions 1"});
    sim(QStringLiteral("register 2002 5 Di"));
    ASSERT_TRUE(arrived(registered, 2));
    client->stopRegistrationSession();
    EXPECT_EQ(complete.count(), 1);
    EXPECT_EQ(complete.last(), QList<QVariant>{2u});

    // One of an earlier voting hub ends, with its report, before another is cleared.
    QSignalSpy announced(client.get(), &IVelaRelayClient::hubConnected);
    client->startRegistrationSession(3, 0, 0, QStringLiteral("X"), 0, 0, 0);
    sim(QStringLiteral("hub add 2 type=2"));
    ASSERT_TRUE(arrived(announced));
    client->clearExpressions();
    EXPECT_EQ(complete.last(), QList<QVariant>{0u});
    EXPECT_EQ(journal().mid(5),
              (QStringList{"registration stopExpressionRegistrationSession 1",
                           "system stopVelahubRegistrationSession 1", "system startVelahubRegistrationSession 2",
                           "registration clearHubOfExpressions 2", "system stopVelahubRegistrationSession 2"}));
}

} // namespace
