#pragma once

#include "QtPrinters.h"
#include "VelaSystemClient.h"

#include <velasystem_simulator/Simulator.h>

#include <QCoreApplication>
#include <QSignalSpy>
#include <gtest/gtest.h>

#include <memory>

// The adapter against the simulated hub library in this process: commands
// run on the library's thread, and its signals reach the adapter queued, as
// they do in the relay.
class HubAdapter : public ::testing::Test
{
protected:
    static qint64 now;
    static qint64 clock() { return now; }

    void SetUp() override
    {
        Velasystem::Simulator::reset();
        now = 1000000;
    }
    void TearDown() override
    {
        client.reset();
        Velasystem::Simulator::reset();
    }

    // Builds the adapter over the hubs the simulator has at that moment.
    void start(int connections = 1)
    {
        client = std::make_unique<VelaSystemClient>(clock);
        client->setNumConnections(connections);
        settle();
        journal();
    }

    // Runs a control command and lets its signals arrive.
    QString sim(const QString &command)
    {
        const QString reply = Velasystem::Simulator::execute(command);
        EXPECT_TRUE(reply.startsWith(QLatin1String("ok"))) << command.toStdString() << ": " << reply.toStdString();
        settle();
        return reply;
    }

    // Library calls made since the last look.
    QStringList journal()
    {
        QStringList lines = Velasystem::Simulator::execute(QStringLiteral("calls")).split(QLatin1Char('\n'));
        lines.removeFirst();
        return lines;
    }

    static void settle()
    {
        // Answers are handed over once more after they arrive.
        for (int i = 0; i < 3; ++i)
            QCoreApplication::processEvents();
    }

    std::unique_ptr<VelaSystemClient> client;
};
