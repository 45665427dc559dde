#pragma once

#include <velasystem/EnhancedQuestionSession.h>
#include <velasystem/Hub.h>
#include <velasystem/VelaSystem.h>
#include <velasystem/VelahubExpressionNamingSession.h>
#include <velasystem/VelahubRegistrationSession.h>
#include <velasystem_simulator/Simulator.h>

#include <QObject>
#include <QSignalSpy>
#include <QStringList>
#include <QThread>

#include <gtest/gtest.h>

// Writes down, in the test's thread, every signal of the objects it watches
// as one line of text. Its connections are automatic, so signals from the
// library's thread reach it queued, as they reach the relay.
class Recorder : public QObject
{
    Q_OBJECT

public:
    void watch(Velasystem::VelaSystem *system);
    void watch(Velasystem::Hub *hub);
    void watch(Velasystem::EnhancedQuestionSession *session);
    void watch(Velasystem::VelahubRegistrationSession *session);
    void watch(Velasystem::VelahubExpressionNamingSession *session);

    // Waits until count lines have arrived; false on time-out.
    bool waitFor(int count, int timeoutMs = 5000);

    QStringList lines;
    bool allInTestThread = true;

signals:
    void recorded();

private:
    void note(const QString &line);
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
    static QStringList calls();
    static Velasystem::Hub *hub(int index);

    Recorder recorder;
};
