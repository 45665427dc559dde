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

    RelayIntelligenceManager manager{Interval};
    QStringList events;
    QSignalSpy unresponsive{&manager, &RelayIntelligenceManager::clientUnresponsive};
};

// A second switch-on leaves one countdown, which the keep-alives hold off.
TEST_F(Supervised, KeepAlivesHoldOffTheTimeOut)
{
    manager.setEnabled(true);
    manager.setEnabled(true);
    for (int i = 0; i < 12; ++i) {
        ASSERT_FALSE(unresponsive.wait(Interval / 4));
        manager.keepAlive();
    }
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

// A lapse goes native and is announced once; a keep-alive then re-arms the
// countdown, and only switching on again restores private reporting.
TEST_F(Supervised, ALapseIsAnnouncedOnceAndAKeepAliveReArmsTheCountdown)
{
    manager.setEnabled(true);
    ASSERT_TRUE(waitForUnresponsive());
    EXPECT_FALSE(waitForUnresponsive(3 * Interval));
    manager.keepAlive();
    EXPECT_FALSE(manager.isEnabled());
    ASSERT_TRUE(waitForUnresponsive());
    EXPECT_EQ(events, (QStringList{"native", "unresponsive", "native", "unresponsive"}));

    manager.setEnabled(true);
    manager.setFocus(true);
    EXPECT_EQ(events.last(), QStringLiteral("private"));
}

} // namespace
