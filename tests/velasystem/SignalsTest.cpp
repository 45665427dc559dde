// Signals the simulated hardware emits: their arguments, and that they come
// from the library's own thread and reach a receiver in the test's thread
// queued.

#include "SimulatorTest.h"

#include <QCoreApplication>
#include <QSet>

#include <atomic>

using namespace Velasystem;

namespace {

class Signals : public SimulatorTest
{
protected:
    void SetUp() override
    {
        SimulatorTest::SetUp();
        recorder.watch(VelaSystem::instance());
        must("hub add 0 pens=4 touches=10 erasers=2");
        must("hub add 1 type=2");
        for (const char *device : {"101 5 Ann", "102 5 Bob", "103 5 Cy", "104 4 Di"})
            must(QString("device add 1 ") + device);
        ASSERT_TRUE(recorder.waitFor(2));
        recorder.lines.clear();
        recorder.watch(hub(0));
        recorder.watch(hub(1));
        recorder.watch(hub(1)->enhancedQuestionSession());
    }

    // Runs the commands and returns what the recorder saw for them.
    QStringList emitted(const QStringList &commands, int expected)
    {
        for (const QString &command : commands)
            must(command);
        EXPECT_TRUE(recorder.waitFor(expected));
        EXPECT_TRUE(recorder.allInTestThread);
        return recorder.lines;
    }
};

struct Row
{
    const char *command;
    const char *signal;
};

const Row rows[] = {
    {"pen 0 1 16000 9000 1 0", "pen 0 1 16000 9000 1 0"},
    {"pen 0 255 -1 32767 0 1 3", "pen 3 255 -1 32767 0 1"},
    {"touch 0 1:10:20:1 2:30:40:0", "touch 1:10:20:1 2:30:40:0"},
    {"eraser 0 1:5:6:70:80:1", "eraser 1:5:6:70:80:1"},
    {"answer 1 multichoice 101 7 A, C", "multichoice 101 7 A, C"},
    {"answer 1 sortinorder 101 7 CAB", "sortinorder 101 7 CAB"},
    {"answer 1 numeric 102 -1 3.5", "numeric 102 -1 3.5"},
    {"answer 1 text 101 7 0  two spaces", "text 101 7 0  two spaces"},
    {"answer 1 yesno 101 7 2", "yesno 101 7 2"},
    {"answer 1 truefalse 101 7 0", "truefalse 101 7 0"},
    {"answer 1 likert 103 7 -3", "likert 103 7 -3"},
    {"enduser-name 1 104 9 Smith, Jane", "enduser 104 9 Smith, Jane"},
    {"enhanced 1 getSessionParameters 101 1033", "getSessionParameters 101 1033"},
    {"enhanced 1 getQuestion 101 2", "getQuestion 101 2"},
    {"enhanced 1 multichoiceAnswer 101 2 B", "multichoiceAnswer 101 2 B"},
    {"enhanced 1 numericAnswer 101 2 12", "numericAnswer 101 2 12"},
    {"enhanced 1 sortInOrderAnswer 101 2 BA", "sortInOrderAnswer 101 2 BA"},
    {"enhanced 1 yesNoAnswer 101 2 1", "yesNoAnswer 101 2 1"},
    {"enhanced 1 trueFalseAnswer 101 2 2", "trueFalseAnswer 101 2 2"},
    {"enhanced 1 likertAnswer 101 2 5", "likertAnswer 101 2 5"},
    {"enhanced 1 textAnswer 101 2 1 x = 1", "textAnswer 101 2 1 x = 1"},
    {"enhanced 1 deviceShutDown 101", "deviceShutDown 101"},
};

void PrintTo(const Row &row, std::ostream *out)
{
    *out << row.command;
}

class Emitted : public Signals, public ::testing::WithParamInterface<Row>
{};

TEST_P(Emitted, CarriesTheCommandsArguments)
{
    EXPECT_EQ(emitted({GetParam().command}, 1), QStringList({GetParam().signal}));
}

INSTANTIATE_TEST_SUITE_P(Commands, Emitted, ::testing::ValuesIn(rows));

TEST_F(Signals, ComeFromTheLibraryThread)
{
    std::atomic<int> fromLibrary{0};
    std::atomic<int> fromElsewhere{0};
    QObject::connect(
        hub(0), &Hub::penEventReceived, &recorder,
        [&] { (Simulator::isLibraryThread() ? fromLibrary : fromElsewhere)++; }, Qt::DirectConnection);
    emitted({"pen 0 1 1 1 1 0", "pen 0 1 2 2 1 0"}, 2);
    EXPECT_EQ(fromLibrary, 2);
    EXPECT_EQ(fromElsewhere, 0);
    EXPECT_FALSE(Simulator::isLibraryThread());
}

TEST_F(Signals, StrokeIsEvenSamplesThenTipUp)
{
    EXPECT_EQ(emitted({"stroke 0 2 0 0 10 -20 3"}, 4),
              QStringList({"pen 1 2 0 0 1 0", "pen 0 2 5 -10 1 0", "pen 0 2 10 -20 1 0", "pen 2 2 10 -20 0 0"}));
}

TEST_F(Signals, HubComingAndGoing)
{
    EXPECT_EQ(emitted({"hub add 5", "hub set 5 pens=2", "hub remove 5", "hub remove 0"}, 3),
              QStringList({"connected 5", "disconnected 5", "disconnected 0"}));
}

TEST_F(Signals, RegistrationJoinsTheDeviceAndNamingRenamesIt)
{
    VelahubRegistrationSession *registration = VelaSystem::instance()->startVelahubRegistrationSession(1);
    VelahubExpressionNamingSession *naming = VelaSystem::instance()->startVelahubExpressionNamingSession(1);
    recorder.watch(registration);
    recorder.watch(naming);
    EXPECT_EQ(emitted({"register 201 5 Eve Smith", "register 101 3 ", "name 201 Evie, E."}, 3),
              QStringList({"registered 201 5 Eve Smith", "registered 101 3 ", "named 201 Evie, E."}));
    EXPECT_EQ(run("devices 1"),
              "ok 102:5:Bob\x1e"
              "103:5:Cy\x1e"
              "104:4:Di\x1e"
              "201:5:Evie, E.\x1e"
              "101:3:");
    VelaSystem::instance()->stopVelahubRegistrationSession(1);
    EXPECT_EQ(run("register 202 5 X"), "error no registration session is open");
}

TEST_F(Signals, AutoAnswerEveryExpressionDeviceOnce)
{
    must("auto-answer on 50");
    ASSERT_TRUE(hub(1)->startMultichoiceSession(8, 4, 1, 2, 0, 0, nullptr, nullptr));
    ASSERT_TRUE(recorder.waitFor(3));
    QSet<QString> uids;
    for (const QString &line : recorder.lines) {
        const QStringList words = line.split(' ');
        ASSERT_EQ(words.size(), 4) << qPrintable(line);
        EXPECT_EQ(words[0], "multichoice");
        EXPECT_EQ(words[2], "8");
        EXPECT_TRUE(QStringList({"A", "B", "C", "D"}).contains(words[3])) << qPrintable(line);
        uids.insert(words[1]);
    }
    EXPECT_EQ(uids, QSet<QString>({"101", "102", "103"}));
}

// A question that stops before its answers are due gets none. Both the
// start and the stop happen within one command on the library thread, so
// no answer can slip in between; the answers to the next question are
// planned later and so given after any the first would have had.
TEST_F(Signals, AutoAnswersOfAStoppedQuestionAreNotGiven)
{
    must("auto-answer on 0");
    Hub *voting = hub(1);
    QObject::connect(
        hub(0), &Hub::penEventReceived, &recorder,
        [voting] {
            voting->startYesNoSession(1, true, 0, 0, nullptr, nullptr);
            voting->stopSession();
        },
        Qt::DirectConnection);
    must("pen 0 1 1 1 1 0");
    ASSERT_TRUE(voting->startLikertSession(2, 5, 0, 0, nullptr, nullptr));
    ASSERT_TRUE(recorder.waitFor(4));
    EXPECT_EQ(recorder.lines.first(), "pen 0 1 1 1 1 0");
    for (const QString &line : recorder.lines.mid(1)) {
        EXPECT_TRUE(line.startsWith("likert 10")) << qPrintable(line);
        const int value = line.split(' ').last().toInt();
        EXPECT_TRUE(value >= 1 && value <= 5) << qPrintable(line);
    }
}

TEST_F(Signals, ConnectByQualifiedSignatureAndArriveQueued)
{
    SignatureReceiver r;
    Hub *voting = hub(1);
    EnhancedQuestionSession *enhanced = voting->enhancedQuestionSession();
    VelahubRegistrationSession *registration = VelaSystem::instance()->startVelahubRegistrationSession(1);
    const struct
    {
        QObject *sender;
        const char *signal;
        const char *slot;
    } links[] = {
        {VelaSystem::instance(), SIGNAL(newHubConnected(Velasystem::Hub *)), SLOT(onHubConnected(Velasystem::Hub *))},
        {hub(0), SIGNAL(penEventReceived(Velasystem::Hub *, Velasystem::Hub::PenEvent, quint8, int, int, bool, bool)),
         SLOT(onPen(Velasystem::Hub *, Velasystem::Hub::PenEvent, quint8, int, int, bool, bool))},
        {hub(0), SIGNAL(touchEventReceived(Velasystem::Hub *, QList<Velasystem::Hub::TouchInfo>)),
         SLOT(onTouch(Velasystem::Hub *, QList<Velasystem::Hub::TouchInfo>))},
        {hub(0), SIGNAL(eraserEventReceived(Velasystem::Hub *, QList<Velasystem::Hub::EraserInfo>)),
         SLOT(onEraser(Velasystem::Hub *, QList<Velasystem::Hub::EraserInfo>))},
        {voting, SIGNAL(yesNoSessionResponse(Velasystem::Hub *, quint32, int, Velasystem::Hub::YesNoResponse)),
         SLOT(onYesNo(Velasystem::Hub *, quint32, int, Velasystem::Hub::YesNoResponse))},
        {voting, SIGNAL(trueFalseSessionResponse(Velasystem::Hub *, quint32, int, Velasystem::Hub::TrueFalseResponse)),
         SLOT(onTrueFalse(Velasystem::Hub *, quint32, int, Velasystem::Hub::TrueFalseResponse))},
        {voting, SIGNAL(textSessionResponse(Velasystem::Hub *, quint32, int, QString, bool)),
         SLOT(onText(Velasystem::Hub *, quint32, int, QString, bool))},
        {registration, SIGNAL(expressionDeviceRegistered(QString, quint32, Velasystem::Device::SubType)),
         SLOT(onRegistered(QString, quint32, Velasystem::Device::SubType))},
        {enhanced,
         SIGNAL(yesNoAnswer(Velasystem::EnhancedQuestionSession *, quint32, int, Velasystem::YesNoQuestion::Answer)),
         SLOT(onEnhancedYesNo(Velasystem::EnhancedQuestionSession *, quint32, int, Velasystem::YesNoQuestion::Answer))},
        {enhanced,
         SIGNAL(trueFalseAnswer(Velasystem::EnhancedQuestionSession *, quint32, int,
                                Velasystem::TrueFalseQuestion::Answer)),
         SLOT(onEnhancedTrueFalse(Velasystem::EnhancedQuestionSession *, quint32, int,
                                  Velasystem::TrueFalseQuestion::Answer))},
    };
    for (const auto &link : links)
        ASSERT_TRUE(QObject::connect(link.sender, link.signal, &r, link.slot)) << link.signal;
    for (const char *command :
         {"hub add 7", "pen 0 1 1 1 1 0", "touch 0 1:1:1:1", "eraser 0 1:1:1:1:1:1", "answer 1 yesno 101 1 1",
          "answer 1 truefalse 101 1 1", "answer 1 text 101 1 1 t", "register 301 5 Zoe",
          "enhanced 1 yesNoAnswer 101 1 2", "enhanced 1 trueFalseAnswer 101 1 0"})
        must(command);
    // Queued: nothing has run yet. Every command has posted its signal
    // before its reply, so delivering what is posted delivers them all.
    EXPECT_EQ(r.received, 0);
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(r.received, int(std::size(links)));
}

TEST_F(Signals, ResetDisconnectsEveryHub)
{
    Simulator::reset();
    EXPECT_TRUE(recorder.waitFor(2));
    EXPECT_EQ(recorder.lines, QStringList({"disconnected 0", "disconnected 1"}));
    EXPECT_EQ(run("hubs"), "ok");
}

} // namespace
