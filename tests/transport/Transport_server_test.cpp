#include "Echo_server.h"
#include "Tls_test_client.h"
#include "Websocket_frame.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

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

    bool waitFor(const std::function<bool()> &condition, int timeoutMs = 5000)
    {
        return QTest::qWaitFor(condition, timeoutMs);
    }

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

TEST_F(TransportServer, Tls12WithTheStrongestSuiteUpgrades)
{
    const ProcessResult peer =
        runProcess("/usr/bin/python3", {kPeerScript, QString::number(port()), "ssl/velarelay-ca.crt", "tls12"});
    EXPECT_EQ(peer.output.toStdString(), "subprotocol relay-protocol\ntls TLSv1.2 ECDHE-RSA-AES256-GCM-SHA384\n");
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
    ASSERT_TRUE(waitFor([&] { return server.connectionCount() == 1; })) << "silent peer kept";
}

TEST_F(TransportServer, ClientThatDoesNotUpgradeIsDroppedAfterTheBound)
{
    server.setUpgradeTimeout(300ms);
    Tls_test_client mute;
    ASSERT_TRUE(mute.connect(port()));
    ASSERT_TRUE(waitFor([&] { return server.connectionCount() == 1; }));
    EXPECT_TRUE(waitFor([&] { return server.connectionCount() == 0; }, 3000)) << "no upgrade time-out";
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
    ASSERT_TRUE(waitFor([&] { return connected.size() == 1; }));
    ASSERT_TRUE(lively.connect(port()) && lively.upgrade());
    ASSERT_TRUE(waitFor([&] { return connected.size() == 2; }));
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
    EXPECT_TRUE(waitFor([&] { return disconnected.size() == 1; }));
}

TEST_F(TransportServer, OwnerCloseSendsGoingAway)
{
    Tls_test_client client;
    QSignalSpy connected(&server, &Echo_server::connected);
    ASSERT_TRUE(client.connect(port()) && client.upgrade());
    ASSERT_TRUE(waitFor([&] { return connected.size() == 1; }));
    Websocket_client *websocket = server.clients.takeFirst();
    websocket->close();
    websocket->close();
    const auto events = client.receive();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].type, Websocket_event::Close);
    EXPECT_EQ(events[0].closeCode, 1001);
    EXPECT_TRUE(waitFor([&] { return server.connectionCount() == 0; }));
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
    EXPECT_TRUE(waitFor([&] { return server.connectionCount() == 0; }, 20000)) << server.connectionCount();
    EXPECT_TRUE(waitFor([&] { return countEntries("/proc/self/task") == threadsBefore; }));
    EXPECT_EQ(countEntries("/proc/self/fd"), descriptorsBefore);
}

// The tests below watch a server process's output and exit status.
class TransportServerProcess : public ::testing::Test
{
protected:
    QString serverProgram() const { return QStringLiteral(VELARELAY_BIN_DIR "/velarelay_transport_test_server"); }
};

TEST_F(TransportServerProcess, SetUpFailuresEndTheProcessWithStatus1)
{
    Echo_server occupier;
    ASSERT_TRUE(occupier.listen());
    const struct
    {
        const char *name;
        QStringList arguments;
        std::string line;
    } rows[] = {
        {"missing key",
         {"ssl/velarelay.crt", "ssl/missing.key", "0"},
         "tls_config_set_key_file error: failed to open key file 'ssl/missing.key': No such file or directory\n"},
        {"missing certificate",
         {"ssl/missing.crt", "ssl/velarelay.key", "0"},
         "tls_config_set_cert_file error: failed to open certificate file 'ssl/missing.crt': No such file or "
         "directory\n"},
        {"key of another certificate",
         {"ssl/velarelay.crt", "other.key", "0"},
         "tls_configure error: failed to load private key (key other.key, certificate ssl/velarelay.crt)\n"},
        {"port in use",
         {"ssl/velarelay.crt", "ssl/velarelay.key", QString::number(occupier.serverPort())},
         "bind error: cannot listen on 127.0.0.1:" + QString::number(occupier.serverPort()).toStdString()
             + ": Address already in use\n"},
    };
    QProcess::execute("openssl", {"genpkey", "-quiet", "-algorithm", "RSA", "-out", "other.key"});
    for (const auto &row : rows) {
        const ProcessResult server = runProcess(serverProgram(), row.arguments);
        EXPECT_EQ(server.exitCode, 1) << row.name;
        EXPECT_EQ(server.output.toStdString(), row.line) << row.name;
    }
    QFile::remove("other.key");
}

TEST_F(TransportServerProcess, PlainTcpClientIsReportedAndTheServerGoesOn)
{
    QProcess server;
    server.setProcessChannelMode(QProcess::MergedChannels);
    server.start(serverProgram(), {"ssl/velarelay.crt", "ssl/velarelay.key", "0"});
    QSignalSpy output(&server, &QProcess::readyReadStandardOutput);
    ASSERT_TRUE(output.wait(10000));
    const QString line = QString::fromUtf8(server.readLine()).trimmed();
    ASSERT_TRUE(line.startsWith("listening ")) << line.toStdString();
    const auto port = static_cast<std::uint16_t>(line.mid(10).toUInt());

    Tls_test_client plain;
    ASSERT_TRUE(plain.connectTcp(port));
    ASSERT_TRUE(plain.sendPlain("GET / HTTP/1.1\r\n\r\n"));
    ASSERT_TRUE(server.canReadLine() || output.wait(5000));
    // The line names the connection and why its handshake failed.
    EXPECT_TRUE(server.readLine().startsWith("VelaRelay: connection 1: TLS handshake failed (tls_handshake error): "));

    Tls_test_client after;
    EXPECT_TRUE(after.connect(port) && after.upgrade());
    server.kill();
    server.waitForFinished(5000);
}

} // namespace
