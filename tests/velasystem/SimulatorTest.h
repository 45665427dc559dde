#pragma once

#include <velasystem/EnhancedQuestionSession.h>
#include <velasystem/Hub.h>
#include <velasystem/VelaSystem.h>
#include <velasystem_simulator/Simulator.h>

#include <QtPrinters.h>

#include <QObject>
#include <QStringList>
#include <QTest>

#include <gtest/gtest.h>

// Writes down every signal of the objects it watches as "signal arg ...",
// a hub as its index and a session left out. It connects by signal index
// with automatic connections: signals from the library's thread come queued,
// which works only for argument types registered under the names the
// signals are declared with, as a receiver connecting by signature needs.
class Recorder : public QObject
{
public:
    void watch(QObject *sender);
    // Waits until count lines have arrived; false on time-out.
    bool waitFor(int count)
    {
        return QTest::qWaitFor([&] { return lines.size() >= count; });
    }

    QStringList lines;

private:
    int qt_metacall(QMetaObject::Call call, int id, void **args) override;
};

// Every test starts from a simulator without hubs, sessions, faults or
// journal.
class SimulatorTest : public ::testing::Test
{
protected:
    void SetUp() override { Velasystem::Simulator::reset(); }

    static QString run(const QString &line) { return Velasystem::Simulator::execute(line); }
    // Runs a command that must succeed.
    static void must(const QString &line) { ASSERT_EQ(run(line).left(2), "ok") << qPrintable(line); }
    // The journal lines since the last call, without the "ok N" line.
    static QStringList calls() { return run("calls").split('\n').mid(1); }
    static Velasystem::Hub *hub(int index);

    Recorder recorder;
};

// A board, a voting hub with expression devices 101 and 102, voting device
// 103 and slate 104, and a hub without an enhanced session with device 201.
// The recorder watches the system, the first two hubs and the voting hub's
// enhanced session.
class Classroom : public SimulatorTest
{
protected:
    void SetUp() override
    {
        SimulatorTest::SetUp();
        for (const char *command : {"hub add 0 pens=4 touches=10 erasers=2", "hub add 1 type=2",
                                    "device add 1 101 5 Ann", "device add 1 102 5 Bob", "device add 1 103 4 Cy",
                                    "device add 1 104 3 Di", "hub add 2 enhanced=0", "device add 2 201 5 Eve"})
            must(command);
        board = hub(0);
        voting = hub(1);
        recorder.watch(Velasystem::VelaSystem::instance());
        recorder.watch(board);
        recorder.watch(voting);
        recorder.watch(voting->enhancedQuestionSession());
    }

    Velasystem::Hub *board = nullptr;
    Velasystem::Hub *voting = nullptr;
};
