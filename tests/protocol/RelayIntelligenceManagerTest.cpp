#include "RelayIntelligenceManager.h"

#include <QSignalSpy>
#include <gtest/gtest.h>

namespace {

constexpr int Interval = 200;

// Both signals in the order they came, as one list.
class Supervised : public ::testing::Test
{
protected:
    Supervised()
    {
        QObject::connect(&manager, &RelayIntelligenceManager::changeReportMode,
                         [this](BoardReportType t) { events << (t == REPORT_PRIVATE ? "private" : "native"); });
        QObject::connect(&manager, &RelayIntelligenceManager::clientUnresponsive, [this] { events << "unresponsive"; });
    }

    // Waits for a time-out, or for the given time when none is expected.
    bool waitForUnresponsive(int ms = 5 * Interval) { return unresponsive.wait(ms); }

    // Sends keep-alives well inside the interval for a while and reports
    // whether the client was announced meanwhile.
    bool silentWhileKeptAlive(int keepAlives)
    {
        for (int i = 0; i < keepAlives; ++i) {
            if (unresponsive.wait(Interval / 4))
                return false;
            manager.keepAlive();
        }
        return unresponsive.isEmpty();
    }

    RelayIntelligenceManager manager{Interval};
    QStringList events;
    QSignalSpy unresponsive{&manager, &RelayIntelligenceManager::clientUnresponsive};
};

TEST_F(Supervised, TimeOutGoesNativeThenUnresponsiveOnce)
{
    manager.setEnabled(true);
    ASSERT_TRUE(waitForUnresponsive());
    EXPECT_FALSE(waitForUnresponsive(3 * Interval));
    EXPECT_EQ(events, (QStringList{"native", "unresponsive"}));
    EXPECT_FALSE(manager.isEnabled());
}

// A second switch-on leaves one countdown, which the keep-alives hold off.
TEST_F(Supervised, KeepAlivesHoldOffTheTimeOut)
{
    manager.setEnabled(true);
    manager.setEnabled(true);
    EXPECT_TRUE(silentWhileKeptAlive(12));
    EXPECT_TRUE(events.isEmpty());
}

TEST_F(Supervised, SwitchingOffEndsTheCountdownForGood)
{
    manager.setEnabled(true);
    manager.setFocus(true);
    manager.setEnabled(false);
    manager.keepAlive(); // nothing to re-arm
    EXPECT_FALSE(waitForUnresponsive(3 * Interval));
    EXPECT_EQ(events, (QStringList{"private"}));
}

TEST_F(Supervised, FocusSelectsPrivateOnlyWhileSupervising)
{
    manager.setFocus(true); // off
    manager.setEnabled(true);
    manager.setFocus(true); // supervising
    manager.setFocus(false);
    ASSERT_TRUE(waitForUnresponsive());
    manager.setFocus(true); // lapsed
    manager.keepAlive();
    manager.setFocus(true); // re-armed
    EXPECT_EQ(events, (QStringList{"native", "private", "native", "native", "unresponsive", "native", "native"}));
}

TEST_F(Supervised, AKeepAliveAfterALapseReArmsTheCountdown)
{
    manager.setEnabled(true);
    ASSERT_TRUE(waitForUnresponsive());
    manager.keepAlive();
    EXPECT_FALSE(manager.isEnabled());
    ASSERT_TRUE(waitForUnresponsive());
    EXPECT_EQ(unresponsive.count(), 2);
    EXPECT_EQ(events, (QStringList{"native", "unresponsive", "native", "unresponsive"}));

    // Only switching on again restores private reporting.
    manager.setEnabled(true);
    manager.setFocus(true);
    EXPECT_EQ(events.last(), QStringLiteral("private"));
}

} // namespace
