#include "HubAdapterFixture.h"

#include <velasystem/VelaSystem.h>

#include <QThread>

#include <mutex>

namespace {

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

TEST_F(HubAdapter, FollowsHubsAndCountsOverAllOfThem)
{
    sim(QStringLiteral("hub add 0 pens=4 touches=10 erasers=2"));
    sim(QStringLiteral("hub add 1 pens=6 touches=20 erasers=3 virtual=1"));
    start();
    QSignalSpy counts(client.get(), &IVelaRelayClient::penAndTouchCount);
    QSignalSpy hubs(client.get(), &IVelaRelayClient::hubCount);
    QSignalSpy all(client.get(), &IVelaRelayClient::allCapabilities);
    QSignalSpy voting(client.get(), &IVelaRelayClient::hubConnected);
    QSignalSpy capabilities(client.get(), &IVelaRelayClient::queryCapabilities);
    QSignalSpy gone(client.get(), &IVelaRelayClient::boardDisconnected);

    client->queryPenAndTouchCount();
    client->queryHubCount();
    client->getAllCapabilities();
    EXPECT_EQ(counts.at(0), (QList<QVariant>{6, 20}));
    EXPECT_EQ(hubs.at(0), QList<QVariant>{2});
    // Only boards: no question types.
    EXPECT_FALSE(all.at(0).at(2).value<QuestionCapabilities>().multipleChoice);

    // A virtual hub is announced to nobody; a hub without a board is
    // announced as such and offers questions.
    sim(QStringLiteral("hub add 3 pens=2 virtual=1"));
    sim(QStringLiteral("hub add 2 type=2"));
    ASSERT_TRUE(arrived(voting));
    EXPECT_EQ(capabilities.count(), 1);
    client->getAllCapabilities();
    EXPECT_TRUE(all.at(1).at(2).value<QuestionCapabilities>().multipleChoice);

    sim(QStringLiteral("hub remove 0"));
    ASSERT_TRUE(arrived(gone));
    EXPECT_EQ(gone.at(0), (QList<QVariant>{4, 10}));
    EXPECT_EQ(capabilities.count(), 2);
}

TEST_F(HubAdapter, ReportModesReachEveryRealBoard)
{
    sim(QStringLiteral("hub add 0 pens=4 touches=10 erasers=2"));
    sim(QStringLiteral("hub add 1 pens=2 touches=0 erasers=1"));
    sim(QStringLiteral("hub add 2 pens=4 touches=10 erasers=2 virtual=1"));
    start();

    // Only boards with that pen.
    client->setPenPrivate(true, 2);
    EXPECT_EQ(journal(),
              (QStringList{"hub setPenHardwareMode 0 2 5002", "hub setPenReportMode 0 2 6001",
                           "hub setPenHardwareMode 1 2 5002", "hub setPenReportMode 1 2 6001"}));
    client->setPenPrivate(false, 3);
    EXPECT_EQ(journal(), (QStringList{"hub setPenHardwareMode 0 3 5002", "hub setPenReportMode 0 3 6000"}));
    client->setTouchPrivate(true);
    EXPECT_EQ(journal(), QStringList{"hub setTouchReportMode 0 1"});
    client->setErasePrivate(true);
    EXPECT_EQ(journal(), (QStringList{"hub setEraseReportMode 0 1", "hub setEraseReportMode 1 1"}));
}

TEST_F(Board, InputGoesOutInHubCoordinatesWithItsFields)
{
    QSignalSpy pen(client.get(), &IVelaRelayClient::pen);
    QSignalSpy touch(client.get(), &IVelaRelayClient::touch);
    QSignalSpy eraser(client.get(), &IVelaRelayClient::eraser);
    client->setScreenSize(16383, 16383); // half the hub's range
    sim(QStringLiteral("pen 0 3 2400 2400 1 1"));
    sim(QStringLiteral("touch 0 1:2400:2400:1 2:2500:2400:1"));
    sim(QStringLiteral("eraser 0 5:2400:2400:30:20:1"));
    ASSERT_TRUE(arrived(pen) && arrived(touch) && arrived(eraser));

    const PenData p = pen.at(0).at(0).value<PenData>();
    EXPECT_TRUE(p.id == 3 && p.x == 2400 && p.y == 2400 && p.tip && p.barrel);
    const TouchData t = touch.at(0).at(0).value<QList<TouchData>>().value(1);
    EXPECT_TRUE(t.id == 2 && t.x == 2500 && t.y == 2400 && t.down);
    const EraserData e = eraser.at(0).at(0).value<QList<EraserData>>().value(0);
    EXPECT_TRUE(e.id == 5 && e.x == 2400 && e.width == 30 && e.height == 20 && e.down);
}

TEST_F(Board, APenDownOutsideInPrivateModeHandsTheBoardsBack)
{
    QSignalSpy info(client.get(), &IVelaRelayClient::information);
    client->setPenPrivate(true, 0);
    journal();
    sim(QStringLiteral("pen 0 1 5000 5000 1 0"));
    ASSERT_TRUE(arrived(info));
    EXPECT_EQ(info.at(0).at(0).value<VelaRelayInformationType>(), FOCUS_LOST);
    const QStringList calls = journal();
    EXPECT_TRUE(calls.contains(QStringLiteral("hub setPenReportMode 0 4 6000")));
    EXPECT_EQ(calls.last(), QStringLiteral("hub setTouchReportMode 0 0"));
}

TEST_F(Board, InputIsIgnoredWithoutAClient)
{
    QSignalSpy pen(client.get(), &IVelaRelayClient::pen);
    QSignalSpy touch(client.get(), &IVelaRelayClient::touch);
    QSignalSpy eraser(client.get(), &IVelaRelayClient::eraser);
    QSignalSpy announced(client.get(), &IVelaRelayClient::hubConnected);
    client->setNumConnections(0);
    sim(QStringLiteral("pen 0 1 1500 1500 1 0"));
    sim(QStringLiteral("touch 0 1:1500:1500:1"));
    sim(QStringLiteral("eraser 0 1:1500:1500:10:10:1"));
    // The next hub's announcement reaches the adapter behind the input.
    sim(QStringLiteral("hub add 1 type=2"));
    ASSERT_TRUE(arrived(announced));
    EXPECT_EQ(pen.count() + touch.count() + eraser.count(), 0);
}

TEST_F(Board, AHubAnnouncedTwiceDeliversEachEventOnce)
{
    QList<Velasystem::Hub *> hubs;
    Velasystem::VelaSystem::instance()->getHubList(hubs);
    ASSERT_EQ(hubs.size(), 1);
    // The simulator announces each hub once; a library may do so again.
    emit Velasystem::VelaSystem::instance()->newHubConnected(hubs.first());

    QSignalSpy spy(client.get(), &IVelaRelayClient::pen);
    sim(QStringLiteral("pen 0 1 1100 1100 0 0"));
    sim(QStringLiteral("pen 0 1 1200 1100 0 0"));
    ASSERT_TRUE(arrived(spy, 2));
    EXPECT_EQ(spy.at(0).at(0).value<PenData>().x, 1100);
    EXPECT_EQ(spy.at(1).at(0).value<PenData>().x, 1200);
}

// The relay's main thread holds its gate whenever it works. Here this thread
// takes it only where a test says so; the library's thread runs only inside
// sim(), so nothing else runs beside it.
class GatedBoard : public HubAdapter
{
protected:
    void SetUp() override
    {
        HubAdapter::SetUp();
        sim(QStringLiteral("hub add 0 pens=4 touches=10 erasers=2"));
        start(&gate);
        client->setScreenSize(32767, 32767);
        client->setWindowPosition(1000, 1000, 1000, 1000);
        // Direct: what is seen, where it is emitted.
        const auto note = [this](const char *what) {
            std::lock_guard<std::mutex> lock(mutex);
            seen << QStringLiteral("%1 on %2").arg(what, QThread::currentThread() == thread ? "main" : "library");
        };
        QObject::connect(client.get(), &IVelaRelayClient::pen, [note] { note("pen"); });
        QObject::connect(client.get(), &IVelaRelayClient::touch, [note] { note("touch"); });
        QObject::connect(client.get(), &IVelaRelayClient::information, [note] { note("focus lost"); });
    }

    // The next pen sample comes alone, more than a millisecond after the last.
    static void pause()
    {
        QElapsedTimer lone;
        lone.start();
        QTest::qWaitFor([&] { return lone.nsecsElapsed() > 2'000'000; });
    }

    QStringList waitFor(int count)
    {
        QStringList copy;
        QTest::qWaitFor([&] {
            std::lock_guard<std::mutex> lock(mutex);
            copy = seen;
            return copy.size() >= count;
        });
        return copy;
    }

    MainLoopGate gate;
    QThread *const thread = QThread::currentThread();
    std::mutex mutex;
    QStringList seen;
};

TEST_F(GatedBoard, ALonePenSampleLeavesFromTheLibraryThreadWhileTheMainThreadSleeps)
{
    sim(QStringLiteral("pen 0 1 1500 1500 1 0"));
    EXPECT_EQ(waitFor(1), QStringList{"pen on library"});

    pause();
    gate.enter();
    sim(QStringLiteral("pen 0 1 1600 1500 1 0"));
    gate.leave();
    EXPECT_EQ(waitFor(2), (QStringList{"pen on library", "pen on main"}));
}

TEST_F(GatedBoard, APenSampleNeitherPassesATouchReportNorCallsTheLibraryFromItsThread)
{
    sim(QStringLiteral("touch 0 1:1500:1500:1"));
    sim(QStringLiteral("pen 0 1 1500 1500 1 0"));
    EXPECT_EQ(waitFor(2), (QStringList{"touch on main", "pen on main"}));

    // Losing the focus resets the boards' modes through the library.
    client->setPenPrivate(true, 0);
    journal();
    pause();
    sim(QStringLiteral("pen 0 2 5000 5000 1 0"));
    EXPECT_EQ(waitFor(3).last(), QStringLiteral("focus lost on main"));
    EXPECT_TRUE(journal().contains(QStringLiteral("hub setPenReportMode 0 4 6000")));
}

TEST_F(VotingHub, WhatRanOnAVotingHubThatWentEndsAndNothingReachesIt)
{
    QSignalSpy session(client.get(), &IVelaRelayClient::questionSession);
    QSignalSpy enhanced(client.get(), &IVelaRelayClient::sendEnhancedSessionID);
    QSignalSpy registered(client.get(), &IVelaRelayClient::sendRegistrationComplete);
    QSignalSpy capabilities(client.get(), &IVelaRelayClient::queryCapabilities);
    ask(7);
    client->startEnhancedSession(1);
    client->startRegistrationSession(3, 0, 0, QStringLiteral("X"), 0, 0, 0);
    sim(QStringLiteral("register 2001 5 Cy"));
    // The voting role passes back to the voting hub still there.
    sim(QStringLiteral("hub add 2 type=2"));
    sim(QStringLiteral("hub remove 2"));
    ASSERT_TRUE(arrived(capabilities, 2));
    journal();
    client->changeBacklight(3, 1);
    EXPECT_EQ(journal(), QStringList{"hub setBacklight 1 3 1"});

    sim(QStringLiteral("hub remove 1"));
    ASSERT_TRUE(arrived(registered));
    EXPECT_EQ(session.last(), QList<QVariant>{false});
    EXPECT_EQ(enhanced.last(), QList<QVariant>{0u});
    EXPECT_EQ(registered.last(), QList<QVariant>{1u});
    QSignalSpy state(client.get(), &IVelaRelayClient::sendHubState);
    client->changeBacklight(3, 1);
    client->getState();
    client->resetSession();
    client->startEnhancedSession(1);
    EXPECT_EQ(journal(), QStringList{"system stopVelahubRegistrationSession 1"});
    EXPECT_EQ(state.count(), 0);

    // A new voting hub takes questions at once.
    QSignalSpy announced(client.get(), &IVelaRelayClient::hubConnected);
    sim(QStringLiteral("hub add 3 type=2"));
    ASSERT_TRUE(arrived(announced));
    ask(9);
    EXPECT_EQ(session.last(), QList<QVariant>{true});
    EXPECT_EQ(journal(), (QStringList{"hub stopSession 3", "hub startYesNoSession 3 9 0 0 0"}));
}

} // namespace
