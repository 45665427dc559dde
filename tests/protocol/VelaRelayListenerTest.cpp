#include "VelaRelayListener.h"
#include "QtPrinters.h"
#include "RecordingRelayClient.h"
#include "RelayMessages.h"

#include <QSignalSpy>
#include <gtest/gtest.h>

#include <climits>
#include <functional>
#include <vector>

// The listener's wiring: which message each hub event becomes, for the events
// that the end-to-end tests do not carry to a client, and the capability
// records the listener rewrites. The texts themselves are the message
// builders' and are pinned with them.
namespace {

using namespace RelayMessages;
using I = IVelaRelayClient;

constexpr qint64 T = 42;

template <typename Base>
class WithListener : public Base
{
protected:
    WithListener()
    {
        QObject::connect(&listener, &VelaRelayListener::messageReady, [this](const QString &m) { sent << m; });
    }

    QStringList sent;
    RecordingRelayClient *client = new RecordingRelayClient;
    VelaRelayListener listener{std::unique_ptr<IVelaRelayClient>(client), nullptr, 60000, [] { return T; }};
};

struct Event
{
    std::function<void(I &)> fire;
    QString expected;
};

const QList<TouchData> touches{{1, 2, 3, 1}};
const QList<EraserData> contacts{{1, 2, 3, 4, 5, 0}};
const QList<QuestionDevice> devices{{101, "Ann"}, {102, "Bo"}};
// A capability record as the hub reports it (in field order: flags, limits,
// don't-know answers), and as capabilitiesAsReported tells it to clients.
const QuestionCapabilities received{1, 0, 0, 1, 0, 1, 0, 3, -1, -2, -3, -4, -5, -6, -7, INT_MIN, INT_MAX, 1, 1};
const QuestionCapabilities reported{1, 0, 0, 1, 0, 1, 0, 3, 0, 0, 0, 0, 0, 0, 0, 0, INT_MAX, 0, 0};

// Built when the tests are listed, after the builders' own statics.
std::vector<Event> events()
{
    return {
        // Counts and boards.
        {[](I &c) { emit c.erasesCount(2); }, eraseCount(T, 2)},
        {[](I &c) { emit c.hubConnected(); }, hubConnection(T)},
        {[](I &c) { emit c.boardDisconnected(4, 10); }, boardDisconnect(T, 4, 10)},
        // Board input.
        {[](I &c) { emit c.touch(touches); }, touch(T, touches)},
        {[](I &c) { emit c.eraser(contacts); }, eraser(T, contacts)},
        // Questions and capabilities.
        {[](I &c) { emit c.questionDevices(devices); }, questionDevices(T, devices)},
        {[](I &c) { emit c.allCapabilities(4, 10, received); }, allCapabilities(T, 4, 10, reported)},
        {[](I &c) { emit c.questionCapabilities(received); }, questionCapabilities(T, reported)},
        {[](I &c) { emit c.information(FOCUS_LOST); }, information(T, FOCUS_LOST)},
        // Enhanced question sessions.
        {[](I &c) { emit c.sendMultichoiceAnswer(1, 2, 3, "a"); }, enhancedSessionMultichoiceAnswer(T, 1, 2, 3, "a")},
        {[](I &c) { emit c.sendTrueFalseAnswer(1, 2, 3, 4); }, enhancedSessionTrueFalseAnswer(T, 1, 2, 3, 4)},
        {[](I &c) { emit c.sendLikertAnswer(1, 2, 3, 4); }, enhancedSessionLikertAnswer(T, 1, 2, 3, 4)},
        {[](I &c) { emit c.sendNumericAnswer(1, 2, 3, "a"); }, enhancedSessionNumericAnswer(T, 1, 2, 3, "a")},
        {[](I &c) { emit c.sendSortInOrderAnswer(1, 2, 3, "a"); }, enhancedSessionSortInOrderAnswer(T, 1, 2, 3, "a")},
        // Hub state, registration and naming.
        {[](I &c) { emit c.sendHubState(3); }, hubState(T, 3)},
        {[](I &c) { emit c.sendResetHubSessionResult(1); }, resetHubSessionResult(T, 1)},
    };
}

using HubEvent = WithListener<::testing::TestWithParam<Event>>;

// Twice, because nothing may carry over from one event to the next: two hubs'
// device lists are never summed.
TEST_P(HubEvent, BecomesOneMessageEveryTime)
{
    GetParam().fire(*client);
    GetParam().fire(*client);
    EXPECT_EQ(sent, QStringList({GetParam().expected, GetParam().expected}));
    EXPECT_TRUE(client->calls.isEmpty());
}

INSTANTIATE_TEST_SUITE_P(Listener, HubEvent, ::testing::ValuesIn(events()),
                         [](const auto &info) { return info.param.expected.section(',', 0, 0).toStdString(); });

using Listener = WithListener<::testing::Test>;

// Only a packet carried out is announced, and unchanged, extra fields and all.
TEST_F(Listener, AnnouncesEachPacketCarriedOut)
{
    QSignalSpy announced(&listener, &VelaRelayListener::relayMessageReceived);
    listener.onRelayMessageReceived("Hub,count");
    listener.onRelayMessageReceived("relay,keepAlive,x");
    EXPECT_EQ(client->calls, QStringList{"keepAlive"});
    ASSERT_EQ(announced.count(), 1);
    EXPECT_EQ(announced.at(0).at(0).toString(), QStringLiteral("relay,keepAlive,x"));
}

} // namespace
