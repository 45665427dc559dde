#include "Echo_server.h"
#include "RelayLog.h"
#include "Tls_test_client.h"
#include "Websocket_frame.h"

#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include <ctime>

#include <poll.h>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;

const QString kPeerScript = QStringLiteral(VELARELAY_TRANSPORT_TEST_DIR "/ws_peer.py");

int countEntries(const char *directory)
{
    return static_cast<int>(QDir(directory).entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::System).size());
}

// Runs a program to its end while the event loop serves the server.
struct ProcessResult
{
    int exitCode = -1;
    QString output;
};

ProcessResult runProcess(const QString &program, const QStringList &arguments, int timeoutMs = 20000)
{
    qRegisterMetaType<QProcess::ExitStatus>("QProcess::ExitStatus");
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.setStandardInputFile(QProcess::nullDevice());
    QSignalSpy finished(&process, QOverload<int, QProcess::ExitStatus>::of(&QProcess::finished));
    process.start(program, arguments);
    if (!finished.wait(timeoutMs)) {
        process.kill();
        finished.wait(5000);
    }
    const int exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    return {exitCode, QString::fromUtf8(process.readAll())};
}

class TransportServer : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(server.listen()); }

    std::uint16_t port() const { return server.serverPort(); }

    Echo_server server;
};

TEST_F(TransportServer, RealClientUpgradesExchangesPingsClosesAndIsLimitedTo1MiB)
{
    const ProcessResult peer =
        runProcess("/usr/bin/python3", {kPeerScript, QString::number(port()), "ssl/velarelay-ca.crt"});
    EXPECT_EQ(peer.exitCode, 0) << peer.output.toStdString();
    EXPECT_EQ(peer.output.toStdString(),
              "subprotocol relay-protocol\n"
              "echo qt,keepalive\n"
              "echo qt,focus\n"
              "pong received\n"
              "limit echoed 1048576\n"
              "close answered 1000\n"
              "too big closed 1009\n");
}

TEST_F(TransportServer, WeakProtocolsAndCiphersAreRefusedAndTheServerGoesOn)
{
    const struct
    {
        const char *name;
        QStringList options;
        bool accepted;
    } rows[] = {
        {"TLS 1.2 with the first suite", {"-tls1_2", "-cipher", "ECDHE-RSA-AES256-GCM-SHA384"}, true},
        {"TLS 1.2 with a CBC suite of the list", {"-tls1_2", "-cipher", "ECDHE-RSA-AES256-SHA384"}, true},
        {"TLS 1.1", {"-tls1_1", "-cipher", "DEFAULT:@SECLEVEL=0"}, false},
        {"TLS 1.2 offering only AES-128", {"-tls1_2", "-cipher", "ECDHE-RSA-AES128-GCM-SHA256:AES128-SHA"}, false},
    };
    for (const auto &row : rows) {
        const ProcessResult client = runProcess(
            "openssl", QStringList{"s_client", "-connect", QString("127.0.0.1:%1").arg(port())} + row.options);
        EXPECT_EQ(client.exitCode == 0, row.accepted) << row.name << "\n" << client.output.toStdString();
    }
    Tls_test_client after;
    EXPECT_TRUE(after.connect(port()) && after.upgrade());
}

TEST_F(TransportServer, SilentPeerDoesNotDelayOthersAndIsDroppedAfterTheBound)
{
    server.setHandshakeTimeout(300ms);
    Tls_test_client silent;
    ASSERT_TRUE(silent.connectTcp(port()));
    QElapsedTimer timer;
    timer.start();
    Tls_test_client second;
    ASSERT_TRUE(second.connect(port()) && second.upgrade());
    EXPECT_LT(timer.elapsed(), 1000);
    ASSERT_TRUE(QTest::qWaitFor([&] { return server.connectionCount() == 1; })) << "silent peer kept";
}

TEST_F(TransportServer, ClientThatDoesNotUpgradeIsDroppedAfterTheBound)
{
    server.setUpgradeTimeout(300ms);
    Tls_test_client mute;
    ASSERT_TRUE(mute.connect(port()));
    ASSERT_TRUE(QTest::qWaitFor([&] { return server.connectionCount() == 1; }));
    // Its thread waits for the client or the time-out without spinning.
    const std::clock_t cpuBefore = std::clock();
    EXPECT_TRUE(QTest::qWaitFor([&] { return server.connectionCount() == 0; }, 3000)) << "no upgrade time-out";
    EXPECT_LT(std::clock() - cpuBefore, CLOCKS_PER_SEC / 10) << "CPU time spent waiting";
}

// Its replies leave while it sends: more of them than a connection may keep
// unsent, so none may wait for the sending to end.
TEST_F(TransportServer, PipeliningClientThatReadsGetsEveryReply)
{
    server.setMessageRate(1e9, 1e9);
    Tls_test_client client;
    ASSERT_TRUE(client.connect(port()) && client.upgrade());
    const std::size_t count = 2 * Libressl_socket::kMaxQueuedBytes / 200;
    std::string pipeline;
    for (std::size_t i = 0; i < count; ++i)
        pipeline += Tls_test_client::maskedFrame(Websocket_frame::Text, std::to_string(i) + std::string(190, 'p'));
    std::size_t replies = 0;
    bool inOrder = true;
    // The echoes are sent from this thread's event loop.
    ASSERT_TRUE(runBeside(
        [&] {
            client.exchange(
                pipeline,
                [&](const Websocket_event &event) {
                    inOrder = inOrder && event.type == Websocket_event::TextMessage
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
    Tls_test_client stalled;
    Tls_test_client lively;
    QSignalSpy connected(&server, &Echo_server::connected);
    ASSERT_TRUE(stalled.connect(port()) && stalled.upgrade());
    ASSERT_TRUE(QTest::qWaitFor([&] { return connected.size() == 1; }));
    ASSERT_TRUE(lively.connect(port()) && lively.upgrade());
    ASSERT_TRUE(QTest::qWaitFor([&] { return connected.size() == 2; }));
    Websocket_client *victim = server.clients.first();

    QSignalSpy disconnected(&server, &Echo_server::disconnected);
    const std::string mebibyte(1 << 20, 's');
    QElapsedTimer timer;
    timer.start();
    int accepted = 0;
    for (int i = 0; i < 100; ++i)
        accepted += victim->send(mebibyte) ? 1 : 0;
    EXPECT_LT(timer.elapsed(), 2000) << "sending blocked the caller";
    EXPECT_LT(accepted, 100);

    QSignalSpy received(&server, &Echo_server::received);
    timer.restart();
    ASSERT_TRUE(lively.sendText("still here"));
    ASSERT_TRUE(received.wait(2000));
    const auto events = lively.receive();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].payload, "still here");
    // Blocked behind the stalled peer, the echo would never come back at all.
    EXPECT_LT(timer.elapsed(), 2000);
    EXPECT_TRUE(QTest::qWaitFor([&] { return disconnected.size() == 1; }));
}

TEST_F(TransportServer, OwnerCloseSendsGoingAway)
{
    Tls_test_client client;
    QSignalSpy connected(&server, &Echo_server::connected);
    ASSERT_TRUE(client.connect(port()) && client.upgrade());
    ASSERT_TRUE(QTest::qWaitFor([&] { return connected.size() == 1; }));
    Websocket_client *websocket = server.clients.takeFirst();
    websocket->close();
    websocket->close();
    const auto events = client.receive();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].type, Websocket_event::Close);
    EXPECT_EQ(events[0].closeCode, 1001);
    EXPECT_TRUE(QTest::qWaitFor([&] { return server.connectionCount() == 0; }));
}

TEST_F(TransportServer, ConnectionsPastTheBoundAreRefusedAtOnce)
{
    server.setMaxConnections(2);
    Tls_test_client first, second, third;
    ASSERT_TRUE(first.connect(port()) && first.upgrade());
    ASSERT_TRUE(second.connect(port()) && second.upgrade());
    QElapsedTimer timer;
    timer.start();
    EXPECT_FALSE(third.connect(port()) && third.upgrade());
    EXPECT_LT(timer.elapsed(), 2000);
    EXPECT_EQ(server.connectionCount(), 2);
}

TEST_F(TransportServer, ManyClientsComingAndGoingLeaveNoThreadOrDescriptor)
{
    const int threadsBefore = countEntries("/proc/self/task");
    const int descriptorsBefore = countEntries("/proc/self/fd");
    for (int i = 0; i < 200; ++i) {
        Tls_test_client client;
        ASSERT_TRUE(client.connect(port()) && (i % 2 == 0 || client.upgrade())) << "client " << i;
        if (i % 10 == 0)
            QCoreApplication::processEvents();
    }
    EXPECT_TRUE(QTest::qWaitFor([&] { return server.connectionCount() == 0; }, 20000)) << server.connectionCount();
    EXPECT_TRUE(QTest::qWaitFor([&] { return countEntries("/proc/self/task") == threadsBefore; }));
    EXPECT_EQ(countEntries("/proc/self/fd"), descriptorsBefore);
}

TEST_F(TransportServer, PlainTcpClientIsLoggedAndTheServerGoesOn)
{
    int log[2];
    ASSERT_EQ(::pipe(log), 0);
    RelayLog::setDescriptorForTesting(log[1]);
    Tls_test_client plain;
    ASSERT_TRUE(plain.connectTcp(port()) && plain.sendPlain("GET / HTTP/1.1\r\n\r\n"));
    pollfd line{log[0], POLLIN, 0};
    ASSERT_EQ(::poll(&line, 1, 5000), 1);
    RelayLog::setDescriptorForTesting(2);
    char text[256] = {};
    ASSERT_GT(::read(log[0], text, sizeof text - 1), 0);
    ::close(log[0]);
    ::close(log[1]);
    // The line names the connection and why its handshake failed.
    EXPECT_TRUE(QString(text).contains(
        QRegularExpression("^VelaRelay: connection [0-9]+: TLS handshake failed \\(tls_handshake error\\): ")))
        << text;
    Tls_test_client after;
    EXPECT_TRUE(after.connect(port()) && after.upgrade());
}

} // namespace
