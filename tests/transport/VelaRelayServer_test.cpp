#include "Tls_test_client.h"
#include "VelaRelayServer.h"
#include "Websocket_client.h"

#include <QCoreApplication>
#include <QSignalSpy>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace {

using namespace std::chrono_literals;

// A port nothing listens on: the relay's front takes no port 0.
std::uint16_t freePort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    ::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address);
    ::getsockname(fd, reinterpret_cast<sockaddr *>(&address), &size);
    ::close(fd);
    return ntohs(address.sin_port);
}

// The front gathers the messages of one event-loop pass and hands them to
// the clients when the pass ends: what the clients see must not change.
class RelayServerFront : public ::testing::Test
{
protected:
    void SetUp() override
    {
        Websocket_client::registerMetaTypes();
        ASSERT_TRUE(server.setPort(QString::number(freePort())));
        ASSERT_TRUE(server.start()) << server.startError();
    }

    void join(Tls_test_client &client)
    {
        QSignalSpy counted(&server, &VelaRelayServer::setNumConnections);
        ASSERT_TRUE(client.connect(server.port()) && client.upgrade());
        ASSERT_TRUE(counted.wait(5000));
        ASSERT_EQ(texts(client, 1), std::vector<std::string>{"o"});
    }

    // The next `count` text messages, fewer if the server goes quiet.
    static std::vector<std::string> texts(Tls_test_client &client, std::size_t count)
    {
        std::vector<std::string> received;
        while (received.size() < count) {
            const std::vector<Websocket_event> events = client.receive();
            if (events.empty())
                break;
            for (const Websocket_event &event : events) {
                if (event.type == Websocket_event::TextMessage)
                    received.push_back(event.payload);
            }
        }
        return received;
    }

    std::vector<std::string> expected(const QStringList &messages) const
    {
        std::vector<std::string> wire;
        for (const QString &message : messages)
            wire.push_back((server.address() + ',' + message).toStdString());
        return wire;
    }

    // Ends the event-loop pass in which the messages were sent.
    static void endPass() { QCoreApplication::processEvents(); }

    VelaRelayServer server;
};

TEST_F(RelayServerFront, BurstsReachEveryClientWholeInOrderOneFrameEach)
{
    Tls_test_client first, second;
    join(first);
    join(second);
    // The second burst comes while the front takes the relay to be busy; the
    // first one is larger than what the front gathers before handing over.
    QStringList sent;
    for (const int burst : {5000, 40}) {
        for (int i = 0; i < burst; ++i) {
            sent << QStringLiteral("pen,1,1700000000000,%1,%2,1,0").arg(i).arg(burst);
            server.sendMessage(sent.back());
        }
        endPass();
    }
    EXPECT_EQ(texts(first, sent.size()), expected(sent));
    EXPECT_EQ(texts(second, sent.size()), expected(sent));
}

TEST_F(RelayServerFront, ClientJoiningAfterMessagesGetsOnlyLaterOnes)
{
    Tls_test_client early, late;
    join(early);
    // The late client's arrival is posted before its 101 response leaves, so
    // the front learns of it in the middle of the pass that sends these two.
    QSignalSpy counted(&server, &VelaRelayServer::setNumConnections);
    ASSERT_TRUE(late.connect(server.port()) && late.upgrade());
    server.sendMessage("one");
    server.sendMessage("two");
    ASSERT_TRUE(counted.wait(5000));
    server.sendMessage("three");
    endPass();
    EXPECT_EQ(texts(early, 3), expected({"one", "two", "three"}));
    const std::vector<std::string> lateOnes = {"o", expected({"three"}).front()};
    EXPECT_EQ(texts(late, 2), lateOnes);
}

TEST_F(RelayServerFront, StopHandsOverWhatWasSentBeforeIt)
{
    Tls_test_client client;
    join(client);
    for (const char *message : {"one", "two", "three"})
        server.sendMessage(message);
    server.stop();
    std::vector<std::string> received;
    std::uint16_t closeCode = 0;
    while (closeCode == 0) {
        const std::vector<Websocket_event> events = client.receive();
        ASSERT_FALSE(events.empty()) << "no close frame";
        for (const Websocket_event &event : events) {
            if (event.type == Websocket_event::TextMessage)
                received.push_back(event.payload);
            else if (event.type == Websocket_event::Close)
                closeCode = event.closeCode;
        }
    }
    EXPECT_EQ(received, expected({"one", "two", "three"}));
    EXPECT_EQ(closeCode, 1001);
}

} // namespace
