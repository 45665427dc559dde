#include "Tls_test_client.h"
#include "Websocket_client.h"
#include "Websocket_frame.h"
#include "Websocket_server.h"

#include <QDir>
#include <QElapsedTimer>
#include <QTest>

#include <gtest/gtest.h>

#include <ctime>

namespace {

using namespace std::chrono_literals;

int countEntries(const char *directory)
{
    return static_cast<int>(QDir(directory).entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::System).size());
}

// Echoes every message to its sender; all on the test's thread.
class Echo_server : public Websocket_server
{
public:
    Echo_server()
    {
        setCertificateFile("ssl/velarelay.crt");
        setKeyFile("ssl/velarelay.key");
    }
    ~Echo_server() override { shutdown(); }

    QList<Websocket_client *> clients;
    int received = 0;
    int disconnected = 0;

protected:
    void clientConnected(Websocket_client *client) override { clients.append(client); }
    void messageReceived(Websocket_client *client, const std::string &message) override
    {
        client->send(message);
        ++received;
    }
    void clientDisconnected(Websocket_client *) override { ++disconnected; }
};

class TransportServer : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(server.start("127.0.0.1", 0)); }

    std::uint16_t port() const { return server.serverPort(); }

    Echo_server server;
};

// The TLS handshake and the upgrade each have a bound; a peer that waits at
// either holds up no other peer.
TEST_F(TransportServer, PeersSilentBeforeTheHandshakeOrTheUpgradeAreDroppedAfterTheBound)
{
    server.setHandshakeTimeout(300ms);
    server.setUpgradeTimeout(300ms);
    Tls_test_client silent, mute;
    ASSERT_TRUE(silent.connectTcp(port()));
    QElapsedTimer timer;
    timer.start();
    ASSERT_TRUE(mute.connect(port(), false));
    EXPECT_LT(timer.elapsed(), 1000);
    // Their threads wait for the peer or the time-out without spinning.
    const std::clock_t cpuBefore = std::clock();
    EXPECT_TRUE(QTest::qWaitFor([&] { return server.connectionCount() == 0; }, 3000)) << server.connectionCount();
    EXPECT_LT(std::clock() - cpuBefore, CLOCKS_PER_SEC / 10) << "CPU time spent waiting";
}

// Its replies leave while it sends: more of them than a connection may keep
// unsent, so none may wait for the sending to end.
TEST_F(TransportServer, PipeliningClientThatReadsGetsEveryReply)
{
    server.setMessageRate(1e9, 1e9);
    Tls_test_client client;
    ASSERT_TRUE(client.connect(port()));
    const std::size_t count = 2 * Libressl_socket::kMaxQueuedBytes / 200;
    std::string pipeline;
    for (std::size_t i = 0; i < count; ++i)
        pipeline += clientFrame(Websocket_frame::Text, std::to_string(i) + std::string(190, 'p'));
    std::size_t replies = 0;
    bool inOrder = true;
    // The echoes are sent from this thread's event loop.
    ASSERT_TRUE(runBeside(
        [&] {
            client.exchange(
                pipeline,
                [&](const Websocket_event &event) {
                    inOrder = event.type == Websocket_event::TextMessage
                        && event.payload.rfind(std::to_string(replies) + "p", 0) == 0;
                    return ++replies == count || !inOrder;
                },
                60s);
        },
        70s));
    EXPECT_TRUE(inOrder) << "reply " << replies;
    EXPECT_EQ(replies, count);
}

TEST_F(TransportServer, StalledReaderIsDroppedWithoutDelayingOthers)
{
    Tls_test_client stalled, lively;
    ASSERT_TRUE(stalled.connect(port()));
    ASSERT_TRUE(QTest::qWaitFor([&] { return server.clients.size() == 1; }));
    ASSERT_TRUE(lively.connect(port()));
    ASSERT_TRUE(QTest::qWaitFor([&] { return server.clients.size() == 2; }));
    Websocket_client *victim = server.clients.first();

    const std::string mebibyte(1 << 20, 's');
    QElapsedTimer timer;
    timer.start();
    int accepted = 0;
    for (int i = 0; i < 100; ++i)
        accepted += victim->send(mebibyte) ? 1 : 0;
    EXPECT_LT(timer.elapsed(), 2000) << "sending blocked the caller";
    EXPECT_LT(accepted, 100);

    timer.restart();
    ASSERT_TRUE(lively.exchange(clientFrame(Websocket_frame::Text, "still here")));
    ASSERT_TRUE(QTest::qWaitFor([&] { return server.received == 1; }, 2000));
    EXPECT_EQ(lively.texts(1), std::vector<std::string>{"still here"});
    // Blocked behind the stalled peer, the echo would never come back at all.
    EXPECT_LT(timer.elapsed(), 2000);
    EXPECT_TRUE(QTest::qWaitFor([&] { return server.disconnected == 1; }));
}

TEST_F(TransportServer, ConnectionsPastTheBoundAreRefusedAtOnce)
{
    server.setMaxConnections(2);
    Tls_test_client first, second, third;
    ASSERT_TRUE(first.connect(port()) && second.connect(port()));
    QElapsedTimer timer;
    timer.start();
    EXPECT_FALSE(third.connect(port()));
    EXPECT_LT(timer.elapsed(), 2000);
    EXPECT_EQ(server.connectionCount(), 2);
}

TEST_F(TransportServer, ManyClientsComingAndGoingLeaveNoThreadOrDescriptor)
{
    const int threadsBefore = countEntries("/proc/self/task");
    const int descriptorsBefore = countEntries("/proc/self/fd");
    for (int i = 0; i < 200; ++i) {
        Tls_test_client client;
        ASSERT_TRUE(client.connect(port(), i % 2 == 1)) << "client " << i;
        if (i % 10 == 0)
            QCoreApplication::processEvents();
    }
    EXPECT_TRUE(QTest::qWaitFor([&] { return server.connectionCount() == 0; }, 20000)) << server.connectionCount();
    EXPECT_TRUE(QTest::qWaitFor([&] { return countEntries("/proc/self/task") == threadsBefore; }));
    EXPECT_EQ(countEntries("/proc/self/fd"), descriptorsBefore);
}

} // namespace
