#include "RelayProcess.h"

#include <gtest/gtest.h>

#include <csignal>

namespace {

QString started(const QString &port)
{
    return QStringLiteral("VelaRelay: Started on port ") + port;
}

// Starts the relay with the given settings file and arguments and returns the
// port text of its start line, or what it printed instead.
QString startedPort(const QString &settings, const QStringList &arguments, QString *output = nullptr)
{
    RelayProcess relay(settings);
    relay.start(arguments);
    const bool ok = relay.waitForOutput(QStringLiteral("VelaRelay: Started on port "));
    relay.waitForOutput(QStringLiteral("\n"));
    relay.signal(SIGTERM);
    relay.waitForExit();
    if (output)
        *output = relay.output();
    if (!ok)
        return QStringLiteral("<no start line> ") + relay.output();
    const QString text = relay.output();
    const int at = text.indexOf(QStringLiteral("Started on port ")) + 16;
    return text.mid(at, text.indexOf(QLatin1Char('\n'), at) - at);
}

TEST(ServiceSettings, DefaultsWithoutFileOrArguments)
{
    // The default port is the point of this test; another relay on it would
    // make the result meaningless.
    if (!isLocalPortFree(9082))
        GTEST_SKIP() << "port 9082 is in use";
    EXPECT_EQ(startedPort(QString(), {}), QStringLiteral("9082"));
}

TEST(ServiceSettings, CommandLineOverridesTheFile)
{
    const QString filePort = QString::number(freeLocalPort());
    const QString linePort = QString::number(freeLocalPort());
    const QString settings = QStringLiteral("relay_port=") + filePort + QLatin1Char('\n');

    EXPECT_EQ(startedPort(settings, {}), filePort);
    EXPECT_EQ(startedPort(settings, {"--port", linePort}), linePort);
    // The last of several wins; --port with nothing after it is ignored.
    EXPECT_EQ(startedPort(settings, {"--port", "1", "--port", linePort}), linePort);
    EXPECT_EQ(startedPort(settings, {"--port"}), filePort);
    // Only the exact spelling is an option.
    EXPECT_EQ(startedPort(settings, {"--PORT", linePort}), filePort);
    EXPECT_EQ(startedPort(settings, {"--port=" + linePort}), filePort);
}

TEST(ServiceSettings, DebugFlagFromFileAndCommandLine)
{
    const QString port = QString::number(freeLocalPort());
    const auto debugOn = [&](const QString &value, const QStringList &arguments) {
        QString output;
        const QString settings = QStringLiteral("relay_port=%1\nrelay_debug=%2\n").arg(port, value);
        startedPort(settings, arguments, &output);
        return output.contains(QStringLiteral("VelaRelay debug:"));
    };
    EXPECT_FALSE(debugOn(QStringLiteral("FALSE"), {}));
    EXPECT_FALSE(debugOn(QString(), {}));
    EXPECT_FALSE(debugOn(QStringLiteral("0"), {}));
    EXPECT_TRUE(debugOn(QStringLiteral("yes"), {}));
    EXPECT_TRUE(debugOn(QStringLiteral("true"), {}));
    EXPECT_TRUE(debugOn(QStringLiteral("false"), {"--debug"}));
}

TEST(ServiceLifecycle, SignalsPauseResumeAndStopWithTheSamePortText)
{
    const QString port = QString::number(freeLocalPort());
    RelayProcess relay;
    relay.start({"--port", port});
    ASSERT_TRUE(relay.waitForOutput(started(port) + QLatin1Char('\n'))) << relay.output().toStdString();

    relay.signal(SIGUSR1);
    ASSERT_TRUE(relay.waitForOutput(QStringLiteral("VelaRelay: Paused on port ") + port + QLatin1Char('\n')));
    relay.signal(SIGUSR2);
    ASSERT_TRUE(relay.waitForOutput(QStringLiteral("VelaRelay: Resumed on port ") + port + QLatin1Char('\n')));
    relay.signal(SIGTERM);
    ASSERT_TRUE(relay.waitForExit());
    EXPECT_EQ(relay.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(relay.exitCode(), 0);
    EXPECT_TRUE(relay.output().endsWith(QStringLiteral("VelaRelay: Stopped on port ") + port + QLatin1Char('\n')))
        << relay.output().toStdString();
}

TEST(ServiceLifecycle, InterruptStopsLikeTerminate)
{
    const QString port = QString::number(freeLocalPort());
    RelayProcess relay;
    relay.start({"--port", port});
    ASSERT_TRUE(relay.waitForOutput(started(port)));
    relay.signal(SIGINT);
    ASSERT_TRUE(relay.waitForExit());
    EXPECT_EQ(relay.exitCode(), 0);
    EXPECT_TRUE(relay.output().contains(QStringLiteral("VelaRelay: Stopped on port ") + port));
}

} // namespace
