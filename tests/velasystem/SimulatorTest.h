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

// Slots spelled as the relay spells them, for connections by signature.
// Queued delivery of each one needs its argument types registered by the
// library.
class SignatureReceiver : public QObject
{
    Q_OBJECT

public:
    int received = 0;

public slots:
    void onHubConnected(Velasystem::Hub *) { ++received; }
    void onPen(Velasystem::Hub *, Velasystem::Hub::PenEvent, quint8, int, int, bool, bool) { ++received; }
    void onTouch(Velasystem::Hub *, QList<Velasystem::Hub::TouchInfo>) { ++received; }
    void onEraser(Velasystem::Hub *, QList<Velasystem::Hub::EraserInfo>) { ++received; }
    void onYesNo(Velasystem::Hub *, quint32, int, Velasystem::Hub::YesNoResponse) { ++received; }
    void onTrueFalse(Velasystem::Hub *, quint32, int, Velasystem::Hub::TrueFalseResponse) { ++received; }
    void onText(Velasystem::Hub *, quint32, int, QString, bool) { ++received; }
    void onRegistered(QString, quint32, Velasystem::Device::SubType) { ++received; }
    void onEnhancedYesNo(Velasystem::EnhancedQuestionSession *, quint32, int, Velasystem::YesNoQuestion::Answer)
    {
        ++received;
    }
    void onEnhancedTrueFalse(Velasystem::EnhancedQuestionSession *, quint32, int, Velasystem::TrueFalseQuestion::Answer)
    {
        ++received;
    }
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
