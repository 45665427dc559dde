#include "VelaSystemClient.h"
#include "SimulatorTest.h"

#include <QSignalSpy>
#include <QThread>

#include <memory>
#include <mutex>
#include <optional>

namespace {

// The adapter against the simulated hub library in this process: commands
// run on the library's thread, and what the hubs emit reaches the adapter
// only as this thread handles events, as it does in the relay. Tests wait
// for what they expect to arrive; where something must not arrive, they wait
// for a later event that travels the same way.
class HubAdapter : public SimulatorTest
{
protected:
    void TearDown() override
    {
        client.reset();
        Velasystem::Simulator::reset();
    }

    // Builds the adapter over the hubs the simulator has at that moment.
    void start(MainLoopGate *gate = nullptr)
    {
        client = std::make_unique<VelaSystemClient>(nullptr, RelayIntelligenceManager::DefaultKeepAliveTimeoutMs, gate);
        client->setNumConnections(1);
        calls();
    }

    // Handles events until the spy has seen at least count signals.
    static bool arrived(const QSignalSpy &spy, int count = 1)
    {
        return QTest::qWaitFor([&] { return spy.count() >= count; });
    }

    // With a screen of 32767 x 32767 hub coordinates are screen pixels.
    void startBoard(MainLoopGate *gate = nullptr)
    {
        must("hub add 0 pens=4 touches=10 erasers=2");
        start(gate);
        client->setScreenSize(32767, 32767);
        client->setWindowPosition(1000, 1000, 1000, 1000);
    }

    // Connects a voting hub and waits until the adapter has heard of it.
    bool votingHubAdded(int index)
    {
        QSignalSpy announced(client.get(), &IVelaRelayClient::hubConnected);
        must(QString("hub add %1 type=2").arg(index));
        return arrived(announced);
    }

    std::unique_ptr<VelaSystemClient> client;
};

// A voting hub with a registered expression device.
class VotingHub : public HubAdapter
{
protected:
    void SetUp() override
    {
        HubAdapter::SetUp();
        must("hub add 1 type=2");
        must("device add 1 1001 5 Ann");
        start();
    }

    void ask(int questionId) { client->askQuestion(YesNo, {questionId}); }
};

class Board : public HubAdapter
{
protected:
    void SetUp() override
    {
        HubAdapter::SetUp();
        startBoard();
        pen.emplace(client.get(), &IVelaRelayClient::pen);
        touch.emplace(client.get(), &IVelaRelayClient::touch);
        eraser.emplace(client.get(), &IVelaRelayClient::eraser);
    }

    std::optional<QSignalSpy> pen, touch, eraser;
};

TEST_F(HubAdapter, FollowsHubsAndCountsOverAllOfThem)
{
    must("hub add 0 pens=4 touches=10 erasers=2");
    must("hub add 1 pens=6 touches=20 erasers=3 virtual=1");
    start();
    QSignalSpy counts(client.get(), &IVelaRelayClient::penAndTouchCount);
    QSignalSpy hubs(client.get(), &IVelaRelayClient::hubCount);
    QSignalSpy all(client.get(), &IVelaRelayClient::allCapabilities);
    QSignalSpy capabilities(client.get(), &IVelaRelayClient::queryCapabilities);
    QSignalSpy gone(client.get(), &IVelaRelayClient::boardDisconnected);

    client->queryPenAndTouchCount();
    client->queryHubCount();
    client->getAllCapabilities();
    EXPECT_EQ(counts.at(0) + hubs.at(0), (QList<QVariant>{6, 20, 2}));
    // Only boards: no question types.
    EXPECT_FALSE(all.at(0).at(2).value<QuestionCapabilities>().multipleChoice);

    // A virtual hub is announced to nobody; a hub without a board is
    // announced as such and offers questions.
    must("hub add 3 pens=2 virtual=1");
    ASSERT_TRUE(votingHubAdded(2));
    EXPECT_EQ(capabilities.count(), 1);
    client->getAllCapabilities();
    EXPECT_TRUE(all.at(1).at(2).value<QuestionCapabilities>().multipleChoice);

    must("hub remove 0");
    ASSERT_TRUE(arrived(gone));
    EXPECT_EQ(gone.at(0), (QList<QVariant>{4, 10}));
    EXPECT_EQ(capabilities.count(), 2);
}

TEST_F(HubAdapter, ReportModesReachEveryRealBoard)
{
    must("hub add 0 pens=4 touches=10 erasers=2");
    must("hub add 1 pens=2 touches=0 erasers=1");
    must("hub add 2 pens=4 touches=10 erasers=2 virtual=1");
    start();

    // Only boards with that pen.
    client->setPenPrivate(true, 2);
    client->setPenPrivate(false, 3);
    client->setTouchPrivate(true);
    client->setErasePrivate(true);
    EXPECT_EQ(calls(),
              (QStringList{"hub setPenHardwareMode 0 2 5002", "hub setPenReportMode 0 2 6001",
                           "hub setPenHardwareMode 1 2 5002", "hub setPenReportMode 1 2 6001",
                           "hub setPenHardwareMode 0 3 5002", "hub setPenReportMode 0 3 6000",
                           "hub setTouchReportMode 0 1", "hub setEraseReportMode 0 1", "hub setEraseReportMode 1 1"}));
}

TEST_F(Board, InputGoesOutInHubCoordinatesWithItsFields)
{
    client->setScreenSize(16383, 16383); // half the hub's range
    must("pen 0 3 2400 2400 1 1");
    must("touch 0 1:2400:2400:1 2:2500:2400:1");
    must("eraser 0 5:2400:2400:30:20:1");
    ASSERT_TRUE(arrived(*pen) && arrived(*touch) && arrived(*eraser));

    const PenData p = pen->at(0).at(0).value<PenData>();
    EXPECT_TRUE(p.id == 3 && p.x == 2400 && p.y == 2400 && p.tip && p.barrel);
    const TouchData t = touch->at(0).at(0).value<QList<TouchData>>().value(1);
    EXPECT_TRUE(t.id == 2 && t.x == 2500 && t.y == 2400 && t.down);
    const EraserData e = eraser->at(0).at(0).value<QList<EraserData>>().value(0);
    EXPECT_TRUE(e.id == 5 && e.x == 2400 && e.width == 30 && e.height == 20 && e.down);
}

TEST_F(Board, InputIsIgnoredWithoutAClient)
{
    client->setNumConnections(0);
    must("pen 0 1 1500 1500 1 0");
    must("touch 0 1:1500:1500:1");
    must("eraser 0 1:1500:1500:10:10:1");
    // The next hub's announcement reaches the adapter behind the input.
    ASSERT_TRUE(votingHubAdded(1));
    EXPECT_EQ(pen->count() + touch->count() + eraser->count(), 0);
}

TEST_F(Board, AHubAnnouncedTwiceDeliversEachEventOnce)
{
    // The simulator announces each hub once; a library may do so again.
    emit Velasystem::VelaSystem::instance()->newHubConnected(hub(0));

    must("pen 0 1 1100 1100 0 0");
    must("pen 0 1 1200 1100 0 0");
    ASSERT_TRUE(arrived(*pen, 2));
    EXPECT_EQ(pen->at(0).at(0).value<PenData>().x, 1100);
    EXPECT_EQ(pen->at(1).at(0).value<PenData>().x, 1200);
}

// The relay's main thread holds its gate whenever it works. Here this thread
// takes it only where a test says so; the library's thread runs only inside
// must(), so nothing else runs beside it.
class GatedBoard : public HubAdapter
{
protected:
    void SetUp() override
    {
        HubAdapter::SetUp();
        startBoard(&gate);
        // Direct: what is seen, where it is emitted.
        const auto note = [this](const char *what) {
            std::lock_guard<std::mutex> lock(mutex);
            seen << QStringLiteral("%1 on %2").arg(what, QThread::currentThread() == thread ? "main" : "library");
        };
        QObject::connect(client.get(), &IVelaRelayClient::pen, [note] { note("pen"); });
        QObject::connect(client.get(), &IVelaRelayClient::touch, [note] { note("touch"); });
        QObject::connect(client.get(), &IVelaRelayClient::information,
                         [note](VelaRelayInformationType type) { note(type == FOCUS_LOST ? "focus lost" : "?"); });
    }

    // The next pen sample comes alone, more than a millisecond after the last.
    static void pause()
    {
        QElapsedTimer lone;
        lone.start();
        static_cast<void>(QTest::qWaitFor([&] { return lone.nsecsElapsed() > 2'000'000; }));
    }

    QStringList waitFor(int count)
    {
        QStringList copy;
        static_cast<void>(QTest::qWaitFor([&] {
            std::lock_guard<std::mutex> lock(mutex);
            copy = seen;
            return copy.size() >= count;
        }));
        return copy;
    }

    MainLoopGate gate;
    QThread *const thread = QThread::currentThread();
    std::mutex mutex;
    QStringList seen;
};

TEST_F(GatedBoard, ALonePenSampleLeavesFromTheLibraryThreadWhileTheMainThreadSleeps)
{
    must("pen 0 1 1500 1500 1 0");
    EXPECT_EQ(waitFor(1), QStringList{"pen on library"});

    pause();
    gate.enter();
    must("pen 0 1 1600 1500 1 0");
    gate.leave();
    EXPECT_EQ(waitFor(2), (QStringList{"pen on library", "pen on main"}));
}

TEST_F(GatedBoard, APenSampleNeitherPassesATouchReportNorCallsTheLibraryFromItsThread)
{
    must("touch 0 1:1500:1500:1");
    must("pen 0 1 1500 1500 1 0");
    EXPECT_EQ(waitFor(2), (QStringList{"touch on main", "pen on main"}));

    // A pen down outside the window in private mode loses the focus, which
    // hands the boards back through the library.
    client->setPenPrivate(true, 0);
    calls();
    pause();
    must("pen 0 2 5000 5000 1 0");
    EXPECT_EQ(waitFor(3).last(), QStringLiteral("focus lost on main"));
    const QStringList journal = calls();
    EXPECT_TRUE(journal.contains(QStringLiteral("hub setPenReportMode 0 4 6000")));
    EXPECT_EQ(journal.last(), QStringLiteral("hub setTouchReportMode 0 0"));
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
    must("register 2001 5 Cy");
    // The voting role passes back to the voting hub still there.
    must("hub add 2 type=2");
    must("hub remove 2");
    ASSERT_TRUE(arrived(capabilities, 2));
    calls();
    client->changeBacklight(3, 1);
    EXPECT_EQ(calls(), QStringList{"hub setBacklight 1 3 1"});

    must("hub remove 1");
    ASSERT_TRUE(arrived(registered));
    EXPECT_EQ(session.last() + enhanced.last() + registered.last(), (QList<QVariant>{false, 0u, 1u}));
    QSignalSpy state(client.get(), &IVelaRelayClient::sendHubState);
    client->changeBacklight(3, 1);
    client->getState();
    client->resetSession();
    client->startEnhancedSession(1);
    EXPECT_EQ(calls(), QStringList{"system stopVelahubRegistrationSession 1"});
    EXPECT_EQ(state.count(), 0);

    // A new voting hub takes questions at once.
    ASSERT_TRUE(votingHubAdded(3));
    ask(9);
    EXPECT_EQ(session.last(), QList<QVariant>{true});
    EXPECT_EQ(calls(), (QStringList{"hub stopSession 3", "hub startYesNoSession 3 9 0 0 0"}));
}

TEST_F(VotingHub, AnAnswerHandledAfterItsQuestionEndedDoesNotCountForTheNext)
{
    QSignalSpy responses(client.get(), &IVelaRelayClient::questionResponse);
    ask(7);
    // The answer arrives on the library's thread before the client's next
    // commands are carried out, and is handled after them.
    must("answer 1 yesno 1001 7 1");
    client->stopQuestion();
    ask(8);
    must("answer 1 yesno 1001 8 0");
    ASSERT_TRUE(arrived(responses));
    EXPECT_EQ(responses.at(0), (QList<QVariant>{1001u, 8, QStringLiteral("No"), QStringLiteral("Ann")}));
}

TEST_F(VotingHub, AQuestionCanBeAskedOnceTheHubWasReset)
{
    ask(7);
    client->resetSession();
    ask(8);
    EXPECT_EQ(calls().mid(2),
              (QStringList{"hub resetHubSession 1", "hub stopSession 1", "hub startYesNoSession 1 8 0 0 0"}));
}

// Sessions of an earlier voting hub end there before new ones start on the
// one that came after it, and what it still sends goes unheard.
TEST_F(VotingHub, SessionsOfAnEarlierVotingHubEndThereAndItIsHeardNoMore)
{
    QSignalSpy requests(client.get(), &IVelaRelayClient::sendGetQuestion);
    client->startEnhancedSession(1);
    client->startTeacherNamingSession();
    client->startStudentNamingSession(1, 2, 10, 1);
    ASSERT_TRUE(votingHubAdded(2));
    must("device add 2 2001 5 Di");
    calls();

    client->startEnhancedSession(1);
    client->startTeacherNamingSession();
    client->stopExpressionEndUserNamingSession();
    EXPECT_EQ(
        calls(),
        (QStringList{"enhanced stopSession 1", "enhanced startSession 2 0", "naming stopExpressionNamingSession 1",
                     "system stopVelahubExpressionNamingSession 1", "system startVelahubExpressionNamingSession 2",
                     "hub stopExpressionEndUserNamingSession 1"}));
    must("enhanced 1 getQuestion 1001 3");
    must("enhanced 2 getQuestion 2001 4");
    ASSERT_TRUE(arrived(requests));
    EXPECT_EQ(requests.at(0), (QList<QVariant>{2u, 2001u, 4}));
}

TEST_F(VotingHub, AClearOrARemovalDuringARegistrationLeavesItToEndWithItsReport)
{
    QSignalSpy registered(client.get(), &IVelaRelayClient::sendExpressionDeviceRegistered);
    QSignalSpy complete(client.get(), &IVelaRelayClient::sendRegistrationComplete);
    client->startRegistrationSession(3, 0, 0, QStringLiteral("X"), 0, 0, 0);
    must("register 2001 5 Cy");
    ASSERT_TRUE(arrived(registered));
    calls();
    QSignalSpy removed(client.get(), &IVelaRelayClient::sendRemoveVelaDevice);
    client->removeVelaDevice(1001, 5);
    EXPECT_EQ(calls(), QStringList{"registration removeVelaexpression 1 1001"});
    EXPECT_TRUE(removed.last().at(2).toBool());
    client->clearExpressions();
    EXPECT_EQ(calls(), QStringList{"registration clearHubOfExpressions 1"});
    must("register 2002 5 Di");
    ASSERT_TRUE(arrived(registered, 2));
    client->stopRegistrationSession();
    EXPECT_EQ(complete, QList<QList<QVariant>>{{2u}});

    // One of an earlier voting hub ends, with its report, before another is cleared.
    client->startRegistrationSession(3, 0, 0, QStringLiteral("X"), 0, 0, 0);
    ASSERT_TRUE(votingHubAdded(2));
    client->clearExpressions();
    EXPECT_EQ(complete.last(), QList<QVariant>{0u});
    EXPECT_EQ(calls().mid(5),
              (QStringList{"registration stopExpressionRegistrationSession 1",
                           "system stopVelahubRegistrationSession 1", "system startVelahubRegistrationSession 2",
                           "registration clearHubOfExpressions 2", "system stopVelahubRegistrationSession 2"}));
}

} // namespace
