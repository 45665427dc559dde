#include "HubAdapterFixture.h"

#include <velasystem/VelaSystem.h>

#include <climits>

qint64 HubAdapter::now = 0;

namespace {

QString pens(const QSignalSpy &spy)
{
    QStringList out;
    for (const QList<QVariant> &args : spy) {
        const PenData p = args.at(0).value<PenData>();
        out << QStringLiteral("%1@%2,%3%4").arg(p.id).arg(p.x).arg(p.y).arg(p.tip ? "v" : "^");
    }
    return out.join(QLatin1Char(' '));
}

QString touches(const QSignalSpy &spy)
{
    QStringList batches;
    for (const QList<QVariant> &args : spy) {
        QStringList points;
        for (const TouchData &t : args.at(0).value<QList<TouchData>>())
            points << QStringLiteral("%1:%2:%3:%4").arg(t.id).arg(t.x).arg(t.y).arg(t.down);
        batches << points.join(QLatin1Char(','));
    }
    return batches.join(QLatin1Char(' '));
}

// With a screen of 32767 x 32767 hub coordinates are screen pixels.
class Board : public HubAdapter
{
protected:
    void SetUp() override
    {
        HubAdapter::SetUp();
        sim(QStringLiteral("hub add 0 pens=4 touches=10 erasers=2"));
        start();
        client->setScreenSize(32767, 32767);
        client->setWindowPosition(1000, 1000, 1000, 1000);
    }
};

TEST_F(HubAdapter, FollowsHubsPresentAtStartAndAddedLater)
{
    sim(QStringLiteral("hub add 0 pens=4 touches=10 erasers=2"));
    client = std::make_unique<VelaSystemClient>(clock);
    QSignalSpy board(client.get(), &IVelaRelayClient::penAndTouchCount);
    QSignalSpy voting(client.get(), &IVelaRelayClient::hubConnected);
    QSignalSpy capabilities(client.get(), &IVelaRelayClient::queryCapabilities);
    QSignalSpy gone(client.get(), &IVelaRelayClient::boardDisconnected);

    sim(QStringLiteral("hub add 1 type=2"));
    sim(QStringLiteral("hub add 2 pens=2 virtual=1"));
    EXPECT_EQ(board.count(), 0);
    EXPECT_EQ(voting.count(), 1);
    EXPECT_EQ(capabilities.count(), 1);

    sim(QStringLiteral("hub add 3 pens=6 touches=0"));
    ASSERT_EQ(board.count(), 1);
    EXPECT_EQ(board.at(0), (QList<QVariant>{6, 10}));

    sim(QStringLiteral("hub remove 3"));
    ASSERT_EQ(gone.count(), 1);
    EXPECT_EQ(gone.at(0), (QList<QVariant>{6, 0}));
    EXPECT_EQ(capabilities.count(), 3);
}

TEST_F(HubAdapter, CountsAndCapabilitiesOverAllHubs)
{
    sim(QStringLiteral("hub add 0 pens=4 touches=10 erasers=2"));
    sim(QStringLiteral("hub add 1 pens=6 touches=20 erasers=3 virtual=1"));
    start();
    QSignalSpy counts(client.get(), &IVelaRelayClient::penAndTouchCount);
    QSignalSpy erasers(client.get(), &IVelaRelayClient::erasesCount);
    QSignalSpy hubs(client.get(), &IVelaRelayClient::hubCount);
    QSignalSpy all(client.get(), &IVelaRelayClient::allCapabilities);

    client->queryPenAndTouchCount();
    client->queryErasesCount();
    client->queryHubCount();
    client->getAllCapabilities();
    EXPECT_EQ(counts.at(0), (QList<QVariant>{6, 20}));
    EXPECT_EQ(erasers.at(0), QList<QVariant>{3});
    EXPECT_EQ(hubs.at(0), QList<QVariant>{2});
    // Only boards: no question types.
    EXPECT_FALSE(all.at(0).at(2).value<QuestionCapabilities>().multipleChoice);

    sim(QStringLiteral("hub add 2 type=2"));
    client->getAllCapabilities();
    const QuestionCapabilities caps = all.at(1).at(2).value<QuestionCapabilities>();
    EXPECT_TRUE(caps.multipleChoice && caps.sortInOrder && caps.likert && caps.yesNo && caps.trueFalse && caps.numeric
                && caps.text);
    EXPECT_EQ(caps.multipleChoiceMaxOptions, 6);
    EXPECT_EQ(caps.likertMinScale, 4);
    EXPECT_EQ(caps.likertMaxScale, 9);
    EXPECT_TRUE(caps.yesNoDontKnow && caps.trueFalseDontKnow);

    sim(QStringLiteral("fail getHubList"));
    client->queryHubCount();
    EXPECT_EQ(hubs.at(1), QList<QVariant>{0});
}

TEST_F(HubAdapter, ReportModesReachEveryRealBoard)
{
    sim(QStringLiteral("hub add 0 pens=4 touches=10 erasers=2"));
    sim(QStringLiteral("hub add 1 pens=2 touches=0 erasers=1"));
    sim(QStringLiteral("hub add 2 pens=4 touches=10 erasers=2 virtual=1"));
    start();

    client->setPenPrivate(true, 2);
    EXPECT_EQ(journal(),
              (QStringList{"hub setPenHardwareMode 0 2 5002", "hub setPenReportMode 0 2 6001",
                           "hub setPenHardwareMode 1 2 5002", "hub setPenReportMode 1 2 6001"}));
    client->setPenPrivate(false, 0);
    EXPECT_EQ(journal(),
              (QStringList{"hub setPenHardwareMode 0 1 5002", "hub setPenReportMode 0 1 6000",
                           "hub setPenHardwareMode 1 1 5002", "hub setPenReportMode 1 1 6000",
                           "hub setPenHardwareMode 0 2 5002", "hub setPenReportMode 0 2 6000",
                           "hub setPenHardwareMode 1 2 5002", "hub setPenReportMode 1 2 6000",
                           "hub setPenHardwareMode 0 3 5002", "hub setPenReportMode 0 3 6000",
                           "hub setPenHardwareMode 0 4 5002", "hub setPenReportMode 0 4 6000"}));
    client->setTouchPrivate(true);
    EXPECT_EQ(journal(), QStringList{"hub setTouchReportMode 0 1"});
    client->setErasePrivate(true);
    EXPECT_EQ(journal(), (QStringList{"hub setEraseReportMode 0 1", "hub setEraseReportMode 1 1"}));

    // Supervision switches all pens and touch, never the erasers.
    client->setIntelligence(true);
    client->setFocus(true);
    const QStringList privateModes = journal();
    EXPECT_EQ(privateModes.size(), 6 * 2 + 1);
    EXPECT_TRUE(privateModes.contains(QStringLiteral("hub setPenReportMode 0 4 6001")));
    EXPECT_EQ(privateModes.last(), QStringLiteral("hub setTouchReportMode 0 1"));
    client->setFocus(false);
    EXPECT_EQ(journal().last(), QStringLiteral("hub setTouchReportMode 0 0"));
}

TEST_F(Board, WindowTestIncludesItsEdges)
{
    QSignalSpy spy(client.get(), &IVelaRelayClient::pen);
    for (int x : {999, 1000, 1999, 2000})
        sim(QStringLiteral("pen 0 1 %1 1500 0 0").arg(x));
    for (int y : {999, 1000, 1999, 2000})
        sim(QStringLiteral("pen 0 1 1500 %1 0 0").arg(y));
    EXPECT_EQ(pens(spy), QStringLiteral("1@1000,1500^ 1@1999,1500^ 1@1500,1000^ 1@1500,1999^"));
}

TEST_F(Board, ScalesClientNumbersWithoutOverflow)
{
    QSignalSpy spy(client.get(), &IVelaRelayClient::pen);
    client->setScreenSize(INT_MAX, INT_MAX);
    client->setWindowPosition(INT_MAX - 10, INT_MAX - 10, INT_MAX, INT_MAX);
    sim(QStringLiteral("pen 0 1 32767 32767 0 0"));
    sim(QStringLiteral("pen 0 1 0 0 0 0"));
    EXPECT_EQ(pens(spy), QStringLiteral("1@32767,32767^"));
}

TEST_F(Board, PenStrokesThrottleOnlyOnceAPenAbove1WasSeen)
{
    QSignalSpy spy(client.get(), &IVelaRelayClient::pen);
    // Pen 1 alone: every sample of a stroke goes out.
    sim(QStringLiteral("stroke 0 1 1100 1100 1120 1100 4"));
    EXPECT_EQ(spy.count(), 5);

    sim(QStringLiteral("pen 0 2 1500 1500 0 0"));
    spy.clear();
    sim(QStringLiteral("pen 0 1 1100 1100 1 0"));
    sim(QStringLiteral("pen 0 1 1110 1100 1 0")); // 10 away, same moment: dropped
    sim(QStringLiteral("pen 0 1 1200 1100 1 0")); // 100 away: goes out
    now += 20;
    sim(QStringLiteral("pen 0 1 1201 1100 1 0")); // 20 ms later: goes out
    sim(QStringLiteral("pen 0 1 1202 1100 0 0")); // the lift always goes out
    EXPECT_EQ(pens(spy), QStringLiteral("1@1100,1100v 1@1200,1100v 1@1201,1100v 1@1202,1100^"));
}

TEST_F(Board, PenIdsWithoutABoardSlotAreHandledLikeAnyOther)
{
    QSignalSpy spy(client.get(), &IVelaRelayClient::pen);
    sim(QStringLiteral("pen 0 0 1500 1500 1 0"));
    sim(QStringLiteral("pen 0 255 1500 1500 1 0"));
    sim(QStringLiteral("pen 0 255 1500 1500 0 0"));
    EXPECT_EQ(pens(spy), QStringLiteral("0@1500,1500v 255@1500,1500v 255@1500,1500^"));
}

TEST_F(Board, PenDownOutsideLosesFocusOnlyInPrivateMode)
{
    QSignalSpy info(client.get(), &IVelaRelayClient::information);
    sim(QStringLiteral("pen 0 1 5000 5000 1 0"));
    EXPECT_EQ(info.count(), 0);

    client->setPenPrivate(true, 0);
    journal();
    sim(QStringLiteral("pen 0 1 5000 5000 1 0"));
    sim(QStringLiteral("pen 0 1 5010 5000 1 0"));
    EXPECT_EQ(info.count(), 2);
    EXPECT_EQ(info.at(0).at(0).value<VelaRelayInformationType>(), FOCUS_LOST);
    const QStringList calls = journal();
    EXPECT_TRUE(calls.contains(QStringLiteral("hub setPenReportMode 0 4 6000")));
    EXPECT_TRUE(calls.contains(QStringLiteral("hub setTouchReportMode 0 0")));

    // A stroke that began inside and leaves the window ends quietly.
    sim(QStringLiteral("pen 0 1 1500 1500 1 0"));
    sim(QStringLiteral("pen 0 1 5000 5000 1 0"));
    EXPECT_EQ(info.count(), 2);
}

TEST_F(Board, InputIsIgnoredWithoutAClient)
{
    QSignalSpy pen(client.get(), &IVelaRelayClient::pen);
    QSignalSpy touch(client.get(), &IVelaRelayClient::touch);
    QSignalSpy eraser(client.get(), &IVelaRelayClient::eraser);
    client->setNumConnections(0);
    sim(QStringLiteral("pen 0 1 1500 1500 1 0"));
    sim(QStringLiteral("touch 0 1:1500:1500:1"));
    sim(QStringLiteral("eraser 0 1:1500:1500:10:10:1"));
    EXPECT_EQ(pen.count() + touch.count() + eraser.count(), 0);
}

TEST_F(Board, TouchBatchesDropSmallMovesAndThrottleMovesOnly)
{
    QSignalSpy spy(client.get(), &IVelaRelayClient::touch);
    sim(QStringLiteral("pen 0 2 1500 1500 0 0")); // throttling on
    sim(QStringLiteral("touch 0 1:1100:1100:1 2:1200:1100:1"));
    sim(QStringLiteral("touch 0 1:1101:1100:1"));               // a 1-unit move: nothing
    sim(QStringLiteral("touch 0 1:1110:1100:1"));               // moves only, soon, small: dropped
    sim(QStringLiteral("touch 0 1:1110:1100:1 2:1200:1100:0")); // a lift is never throttled; 1 has not moved
    now += 20;
    sim(QStringLiteral("touch 0 1:1130:1100:1"));
    sim(QStringLiteral("touch 0 1:1200:1100:1")); // 70 away: goes out at once
    EXPECT_EQ(touches(spy), QStringLiteral("1:1100:1100:1,2:1200:1100:1 2:1200:1100:0 1:1130:1100:1 1:1200:1100:1"));
}

TEST_F(Board, TouchesThatWentDownOutsideStayOutUntilLifted)
{
    QSignalSpy spy(client.get(), &IVelaRelayClient::touch);
    QSignalSpy info(client.get(), &IVelaRelayClient::information);
    // Outside with nothing under way: the whole report is dropped.
    sim(QStringLiteral("touch 0 2:5000:5000:1 1:1500:1500:1"));
    EXPECT_EQ(spy.count(), 0);

    client->setTouchPrivate(true);
    sim(QStringLiteral("touch 0 3:5000:5000:1"));
    EXPECT_EQ(info.count(), 1);

    sim(QStringLiteral("touch 0 1:1500:1500:1"));
    sim(QStringLiteral("touch 0 1:1600:1500:1 4:5000:5000:1")); // 4 goes down outside
    sim(QStringLiteral("touch 0 4:1500:1500:1"));               // and stays out inside
    sim(QStringLiteral("touch 0 4:1500:1500:0"));               // until lifted
    sim(QStringLiteral("touch 0 4:1520:1500:1"));
    EXPECT_EQ(touches(spy), QStringLiteral("1:1500:1500:1 1:1600:1500:1 4:1520:1500:1"));
    EXPECT_EQ(info.count(), 1);
}

TEST_F(Board, ErasersSkipEmptyContactsAndNeverLoseFocus)
{
    QSignalSpy spy(client.get(), &IVelaRelayClient::eraser);
    QSignalSpy info(client.get(), &IVelaRelayClient::information);
    client->setWindowPosition(0, 0, 3000, 3000);
    client->setPenPrivate(true, 0);
    client->setTouchPrivate(true);
    sim(QStringLiteral("eraser 0 1:0:0:0:0:1 2:100:100:30:20:1"));
    sim(QStringLiteral("eraser 0 3:5000:5000:30:20:1"));
    ASSERT_EQ(spy.count(), 1);
    const QList<EraserData> contacts = spy.at(0).at(0).value<QList<EraserData>>();
    ASSERT_EQ(contacts.size(), 1);
    EXPECT_EQ(contacts.at(0).id, 2);
    EXPECT_EQ(contacts.at(0).width, 30);
    EXPECT_EQ(contacts.at(0).height, 20);
    EXPECT_EQ(info.count(), 0);
}

TEST_F(HubAdapter, AHubAnnouncedTwiceDeliversEachEventOnce)
{
    sim(QStringLiteral("hub add 0 pens=4 touches=10"));
    start();
    client->setScreenSize(32767, 32767);
    client->setWindowPosition(0, 0, 32767, 32767);
    QList<Velasystem::Hub *> hubs;
    Velasystem::VelaSystem::instance()->getHubList(hubs);
    ASSERT_EQ(hubs.size(), 1);
    client->onHubConnected(hubs.first());

    QSignalSpy spy(client.get(), &IVelaRelayClient::pen);
    sim(QStringLiteral("pen 0 1 100 100 0 0"));
    EXPECT_EQ(spy.count(), 1);
}

TEST_F(HubAdapter, NoCallReachesAVotingHubThatHasGone)
{
    sim(QStringLiteral("hub add 1 type=2"));
    sim(QStringLiteral("hub add 2 type=2"));
    start();
    sim(QStringLiteral("hub remove 2"));
    journal();
    client->changeBacklight(3, 1);
    EXPECT_EQ(journal(), QStringList{"hub setBacklight 1 3 1"});

    sim(QStringLiteral("hub remove 1"));
    QSignalSpy state(client.get(), &IVelaRelayClient::sendHubState);
    client->changeBacklight(3, 1);
    client->getState();
    client->resetSession();
    client->startEnhancedSession(1);
    EXPECT_TRUE(journal().isEmpty());
    EXPECT_EQ(state.count(), 0);
}

} // namespace
