#include "Tls_test_client.h"
#include "VelaRelayServer.h"
#include "Websocket_client.h"
#include "Websocket_frame.h"

#include <QCoreApplication>
#include <QFile>
#include <QSignalSpy>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#if defined(__SANITIZE_ADDRESS__)
// From the sanitizer runtime; GCC installs no header for it.
extern "C" std::size_t __sanitizer_get_current_allocated_bytes();
#endif

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

// What the process holds. AddressSanitizer keeps freed memory aside for a
// while, so under it the resident size grows with any churn; there the bytes
// still allocated are what counts.
long memoryKiB()
{
#if defined(__SANITIZE_ADDRESS__)
    return static_cast<long>(__sanitizer_get_current_allocated_bytes() / 1024);
#else
    QFile status("/proc/self/status");
    status.open(QIODevice::ReadOnly);
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').front().toLong();
    }
    return 0;
#endif
}

std::string frames(const std::string &text, int count)
{
    std::string bytes;
    for (int i = 0; i < count; ++i)
        bytes += Tls_test_client::maskedFrame(Websocket_frame::Text, text);
    return bytes;
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

    // The protocol side's stand-in: a query is answered to every client, as
    // the relay's replies are; anything else has no answer.
    void answerQueries(int replySize)
    {
        QObject::connect(&server, &VelaRelayServer::apiMessageReceived, &server,
                         [this, replySize](const QString &message) {
                             if (message.startsWith("query"))
                                 server.sendMessage(("reply," + message).leftJustified(replySize, 'r'));
                             else
                                 ++unanswered;
                         });
    }

    int unanswered = 0;
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

// Two clients send as fast as they can. The connections read no faster than
// their commands are carried out, so the relay holds little, and a third
// client's queries take their turns beside theirs.
TEST_F(RelayServerFront, FloodFromTwoClientsHoldsLittleMemoryAndDelaysNoQuery)
{
    answerQueries(0);
    Tls_test_client flooders[2], reader;
    for (Tls_test_client &client : flooders)
        join(client);
    join(reader);
    const long before = memoryKiB();
    long most = before;
    std::atomic<bool> flooding{true};
    std::vector<std::thread> floods;
    for (Tls_test_client &client : flooders) {
        floods.emplace_back([&] {
            const std::string batch = frames("relay,keepAlive", 1000);
            while (flooding && client.sendRaw(batch)) {
            }
        });
    }
    std::chrono::steady_clock::duration slowest{};
    int answered = 0;
    const auto start = std::chrono::steady_clock::now();
    const bool finished = runBeside(
        [&] {
            const auto end = std::chrono::steady_clock::now() + 3s;
            for (int i = 0; std::chrono::steady_clock::now() < end; ++i) {
                const std::string query = "query," + std::to_string(i);
                const std::string reply = server.address().toStdString() + ",reply," + query;
                const auto sent = std::chrono::steady_clock::now();
                if (!reader.sendText(query))
                    return;
                for (std::vector<std::string> got; got.empty() || got.back() != reply;) {
                    got = texts(reader, 1);
                    if (got.empty())
                        return;
                }
                slowest = std::max(slowest, std::chrono::steady_clock::now() - sent);
                ++answered;
                most = std::max(most, memoryKiB());
            }
        },
        10s);
    flooding = false;
    // The flooders' last writes go through while this thread serves them.
    runBeside(
        [&] {
            for (std::thread &flood : floods)
                flood.join();
        },
        10s);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    ASSERT_TRUE(finished);
    EXPECT_GT(answered, 0);
    // Each flooder's commands at the bounded rate, give or take what one read brings in.
    EXPECT_LT(unanswered,
              2 * (Websocket_client::kDefaultMessageRate * seconds + Websocket_client::kDefaultMessageBurst + 1000));
    EXPECT_LT(slowest, 500ms) << std::chrono::duration_cast<std::chrono::milliseconds>(slowest).count() << " ms";
    EXPECT_LT(most - before, 64 * 1024) << "KiB more held";
}

// One client sends queries as fast as it can, and every client gets every
// answer. A client that reads only now and then is not dropped for it: the
// flooder's queries are carried out no faster than a bounded rate.
TEST_F(RelayServerFront, OneClientFloodingQueriesDropsNoClientThatReads)
{
    answerQueries(200);
    Tls_test_client flooder, sleeper;
    join(flooder);
    join(sleeper);
    runBeside(
        [&] {
            flooder.exchange(
                frames("query", 40000), [](const Websocket_event &) { return false; }, 2s);
        },
        10s);
    // The sleeper wakes and reads: all of the answers are there, then its own.
    // A client that was dropped gets no more, not even a close frame.
    bool answered = false;
    std::size_t answers = 0;
    ASSERT_TRUE(runBeside(
        [&] {
            answered = sleeper.exchange(
                Tls_test_client::maskedFrame(Websocket_frame::Text, "query,mine"),
                [&](const Websocket_event &event) {
                    ++answers;
                    return event.payload.find("reply,query,mine") != std::string::npos;
                },
                20s);
        },
        30s));
    EXPECT_TRUE(answered) << "dropped after " << answers << " answers";
    EXPECT_GT(answers, 1u);
}

} // namespace
