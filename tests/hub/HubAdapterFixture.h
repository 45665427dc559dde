#pragma once

#include "QtPrinters.h"
#include "VelaSystemClient.h"

#include <velasystem_simulator/Simulator.h>

#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

#include <memory>

// The adapter against the simulated hub library in this process: commands
// run on the library's thread, and what the hubs emit reaches the adapter
// only as this thread handles events, as it does in the relay. Tests wait
// for what they expect to arrive; where something must not arrive, they wait
// for a later event that travels the same way.
class HubAdapter : public ::testing::Test
{
protected:
    void SetUp() override { Velasystem::Simulator::reset(); }
    void TearDown() override
    {
        client.reset();
        Velasystem::Simulator::reset();
    }

    // Builds the adapter over the hubs the simulator has at that moment.
    void start(MainLoopGate *gate = nullptr)
    {
        client = std::make_unique<VelaSystemClient>(nullptr, RelayIntelligenceManager::DefaultKeepAliveTimeoutMs, gate);
        client->setNumConnections(1);
        journal();
    }

    static void sim(const QString &command)
    {
        const QString reply = Velasystem::Simulator::execute(command);
        EXPECT_TRUE(reply.startsWith(QLatin1String("ok"))) << command.toStdString() << ": " << reply.toStdString();
    }

    // Handles events until the spy has seen at least count signals.
    static bool arrived(const QSignalSpy &spy, int count = 1)
    {
        return QTest::qWaitFor([&] { return spy.count() >= count; });
    }

    // Library calls made since the last look.
    static QStringList journal()
    {
        QStringList lines = Velasystem::Simulator::execute(QStringLiteral("calls")).split(QLatin1Char('\n'));
        lines.removeFirst();
        return lines;
    }

    std::unique_ptr<VelaSystemClient> client;
};

// A voting hub with a registered expression device.
class VotingHub : public HubAdapter
{
protected:
    void SetUp() override
    {
        HubAdapter::SetUp();
        sim(QStringLiteral("hub add 1 type=2"));
        sim(QStringLiteral("device add 1 1001 5 Ann"));
        start();
    }

    void ask(int questionId) { client->askQuestion(YesNo, {questionId}); }
};
