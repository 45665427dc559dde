#include "Tls_test_client.h"
#include "VelaRelayServer.h"
#include "Websocket_client.h"
#include "Websocket_frame.h"

#include <QCoreApplication>
#include <QSignalSpy>

#include <gtest/gtest.h>

#include <atomic>
#include <fstream>
#include <thread>

#include <unistd.h>

#if defined(__SANITIZE_ADDRESS__)
// From the sanitizer runtime; GCC installs no header for it.
extern "C" std::size_t __sanitizer_get_current_allocated_bytes();
#endif

namespace {

using namespace std::chrono_literals;

// What the process holds. AddressSanitizer keeps freed memory aside for a
// while, so under it the resident size grows with any churn; there the bytes
// still allocated are what counts.
long memoryKiB()
{
#if defined(__SANITIZE_ADDRESS__)
    return static_cast<long>(__sanitizer_get_current_allocated_bytes() / 1024);
#else
    long pages = 0;
    long resident = 0;
    std::ifstream("/proc/self/statm") >> pages >> resident;
    return resident * (::sysconf(_SC_PAGESIZE) / 1024);
#endif
}

std::string frames(const std::string &text, int count)
{
    return QByteArray::fromStdString(clientFrame(Websocket_frame::Text, text)).repeated(count).toStdString();
}

// The front gathers the messages of one event-loop pass and hands them to
// the clients when the pass ends: what the clients see must not change.
class RelayServerFront : public ::testing::Test
{
protected:
    // Any free port: the relay's own start() takes a set one.
    void SetUp() override
    {
        server.setCertificateFile("ssl/velarelay.crt");
        server.setKeyFile("ssl/velarelay.key");
        ASSERT_TRUE(server.Libressl_server::start("127.0.0.1", 0)) << server.startError();
    }

    void join(Tls_test_client &client)
    {
        QSignalSpy counted(&server, &VelaRelayServer::setNumConnections);
        ASSERT_TRUE(client.connect(server.serverPort()));
        ASSERT_TRUE(counted.wait(5000));
        ASSERT_EQ(client.texts(1), std::vector<std::string>{"o"});
    }

    std::vector<std::string> expected(const QStringList &messages) const
    {
        std::vector<std::string> wire;
        for (const QString &message : messages)
            wire.push_back((server.address() + ',' + message).toStdString());
        return wire;
    }

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

// The late client's arrival is posted before its 101 response leaves, so the
// front learns of it in the middle of the pass that sends "one" and "two". Of
// the bursts that follow, the first is larger than what the front gathers
// before handing over, and the second comes while it takes the relay to be busy.
TEST_F(RelayServerFront, EveryClientGetsWhatFollowsItsArrivalWholeAndInOrder)
{
    Tls_test_client early, late;
    join(early);
    QSignalSpy counted(&server, &VelaRelayServer::setNumConnections);
    ASSERT_TRUE(late.connect(server.serverPort()));
    QStringList sent{"one", "two"};
    for (const QString &message : sent)
        server.sendMessage(message);
    ASSERT_TRUE(counted.wait(5000));
    for (const int burst : {5000, 40}) {
        for (int i = 0; i < burst; ++i) {
            sent << QStringLiteral("pen,1,1700000000000,%1,%2,1,0").arg(i).arg(burst);
            server.sendMessage(sent.back());
        }
        // Ends the event-loop pass in which the messages were sent.
        QCoreApplication::processEvents();
    }
    EXPECT_EQ(early.texts(sent.size()), expected(sent));
    std::vector<std::string> lateOnes = expected(sent.mid(2));
    lateOnes.insert(lateOnes.begin(), "o");
    EXPECT_EQ(late.texts(sent.size() - 1), lateOnes);
}

// Frames that go out on their own reach every client in one go. A client that
// stops reading fills its socket in the middle of them: what the socket did
// not take goes out once it reads again, before anything written later, and
// the client that reads meanwhile misses nothing.
TEST_F(RelayServerFront, AClientThatStallsGetsEveryFrameWholeOnceItReadsAgain)
{
    Tls_test_client reader, stalled;
    stalled.setReceiveBuffer(4096);
    join(reader);
    join(stalled);
    QStringList sent;
    // More than the kernel holds for a client (4 MiB at most, by default),
    // and less than the relay holds for it before dropping it as long as the
    // kernel took 0.3 MB of it (it takes 2.6 MB here).
    const QString filler(16000, 'x');
    for (int i = 0; i < 280; ++i) {
        // Apart from the one before, so that each leaves at once.
        std::this_thread::sleep_for(1100us);
        sent << QStringLiteral("pen,%1,").arg(i) + filler;
        server.sendMessage(sent.back());
        ASSERT_EQ(reader.texts(1), expected({sent.back()}));
    }
    EXPECT_EQ(stalled.texts(sent.size()), expected(sent));
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
    ASSERT_TRUE(client.exchange({}, [&](const Websocket_event &event) {
        if (event.type == Websocket_event::TextMessage)
            received.push_back(event.payload);
        closeCode = event.closeCode;
        return event.type == Websocket_event::Close;
    })) << "no close frame";
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
            while (flooding && client.exchange(batch)) {
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
                if (!reader.exchange(clientFrame(Websocket_frame::Text, query),
                                     [&](const Websocket_event &event) { return event.payload == reply; }))
                    break;
                slowest = std::max(slowest, std::chrono::steady_clock::now() - sent);
                ++answered;
                most = std::max(most, memoryKiB());
            }
            // The flooders' last writes go through while the test's thread serves them.
            flooding = false;
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
                clientFrame(Websocket_frame::Text, "query,mine"),
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
