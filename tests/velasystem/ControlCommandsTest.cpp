// Every control command: its reply, the signals it makes the hardware emit,
// and that a bad one changes nothing.

#include "SimulatorTest.h"

#include <velasystem/VelahubExpressionNamingSession.h>
#include <velasystem/VelahubRegistrationSession.h>

#include <QCoreApplication>
#include <QRegularExpression>

using namespace Velasystem;

namespace {

struct Row
{
    const char *name;
    const char *command;
    const char *reply;   // expected reply, or its start when it ends in "*"
    QStringList emitted; // the hub as its index, a session left out

    friend void PrintTo(const Row &row, std::ostream *out) { *out << row.command; }
};

// In the classroom.
const Row rows[] = {
    {"PenOutOfRange", "pen 0 255 -1 32767 0 1 3", "ok", {"penEventReceived 0 3 255 -1 32767 0 1"}},
    {"Stroke",
     "stroke 0 2 0 0 10 -20 3",
     "ok",
     {"penEventReceived 0 1 2 0 0 1 0", "penEventReceived 0 0 2 5 -10 1 0", "penEventReceived 0 0 2 10 -20 1 0",
      "penEventReceived 0 2 2 10 -20 0 0"}},
    {"Touch", "touch 0 1:10:20:1 2:30:40:0", "ok", {"touchEventReceived 0 1:10:20:1 2:30:40:0"}},
    {"HubSetEmitsNothing", "hub set 0 pens=2", "ok"},
    {"AnswerSortInOrder", "answer 1 sortinorder 101 7 CAB", "ok", {"sortInOrderSessionResponse 1 101 7 CAB"}},
    {"AnswerNumeric", "answer 1 numeric 102 -1 3.5", "ok", {"numericSessionResponse 1 102 -1 3.5"}},
    {"AnswerText", "answer 1 text 101 7 0  two spaces", "ok", {"textSessionResponse 1 101 7  two spaces 0"}},
    {"AnswerTrueFalse", "answer 1 truefalse 101 7 0", "ok", {"trueFalseSessionResponse 1 101 7 0"}},
    {"AnswerLikert", "answer 1 likert 103 7 -3", "ok", {"likertSessionResponse 1 103 7 -3"}},
    {"EnhancedMultichoice", "enhanced 1 multichoiceAnswer 101 2 B", "ok", {"multichoiceAnswer 101 2 B"}},
    {"EnhancedNumeric", "enhanced 1 numericAnswer 101 2 12", "ok", {"numericAnswer 101 2 12"}},
    {"EnhancedSortInOrder", "enhanced 1 sortInOrderAnswer 101 2 BA", "ok", {"sortInOrderAnswer 101 2 BA"}},
    {"EnhancedTrueFalse", "enhanced 1 trueFalseAnswer 101 2 2", "ok", {"trueFalseAnswer 101 2 2"}},
    {"EnhancedLikert", "enhanced 1 likertAnswer 101 2 5", "ok", {"likertAnswer 101 2 5"}},
    {"CarriageReturnIgnored", "ping\r", "ok pong"},
    {"LineFeedInside", "ping\nping", "error one command per line"},
    {"Empty", "   ", "error empty command"},
    {"UnknownSubcommand", "hub launch 3", "error unknown hub command 'launch'"},
    {"HubAddUnknownKey", "hub add 5 colour=2", "error unknown hub setting 'colour=2'*"},
    {"HubAddPensAtLimit", "hub add 5 pens=255", "ok", {"newHubConnected 5"}},
    {"HubAddPensPastLimit", "hub add 5 pens=256", "error pens must be an integer from 0 to 255"},
    {"HubAddNegativeIndex", "hub add -1", "error HUB must be*"},
    {"HubSetUnknownHub", "hub set 7 pens=1", "error no connected hub 7"},
    {"DevicesUnknownHub", "devices 9", "error no connected hub 9"},
    {"HubRemoveExtraWord", "hub remove 0 1", "error usage: hub remove INDEX"},
    {"HubSetOneBadKeyOfTwo", "hub set 0 pens=2 erase=x", "error erase must be*"},
    {"DeviceAddSubTypeTooHigh", "device add 1 105 6 X", "error SUBTYPE must be*"},
    {"DeviceAddSubTypeTooLow", "device add 1 105 2 X", "error SUBTYPE must be*"},
    {"DeviceAddTwice", "device add 1 101 5 Bob", "error hub 1 already has device 101"},
    {"DeviceAddUidAtLimit", "device add 1 4294967295 4", "ok"},
    {"DeviceAddUidPastLimit", "device add 1 4294967296 4", "error UID must be*"},
    {"DeviceRemoveUnknown", "device remove 1 999", "error hub 1 has no device 999"},
    {"PenTipNotFlag", "pen 0 1 0 0 2 0", "error TIP must be an integer from 0 to 1*"},
    {"PenEventPastLimit", "pen 0 1 0 0 1 0 4", "error EVENT must be*"},
    {"PenIdPastLimit", "pen 0 256 0 0 1 0", "error ID must be*"},
    {"PenTooFewWords", "pen 0 1 0 0 1", "error usage: pen*"},
    {"TouchShortPoint", "touch 0 1:2:3", "error bad point*"},
    {"TouchSecondPointBad", "touch 0 1:2:3:1 1:2:3:x", "error bad point*"},
    {"EraserPressedNotFlag", "eraser 0 1:2:3:4:5:2", "error bad contact*"},
    {"StrokeStepsZero", "stroke 0 1 0 0 10 10 0", "error STEPS must be*"},
    {"StrokeStepsAtLimit", "stroke 2 1 0 0 10 10 10000", "ok"}, // hub 2 is not watched
    {"StrokeStepsPastLimit", "stroke 0 1 0 0 10 10 10001", "error STEPS must be*"},
    {"AnswerUnknownKind", "answer 1 essay 101 1 x", "error unknown question kind 'essay'"},
    {"AnswerUnknownDevice", "answer 1 multichoice 999 1 A", "error hub 1 has no device 999"},
    {"AnswerYesNoPastLimit", "answer 1 yesno 101 1 3", "error VALUE must be*"},
    {"AnswerTextValidNotFlag", "answer 1 text 101 1 x y", "error VALID must be*"},
    {"AnswerEmptyText", "answer 1 numeric 101 1", "ok", {"numericSessionResponse 1 101 1 "}},
    {"AutoAnswerUnknownMode", "auto-answer maybe", "error usage: auto-answer*"},
    {"AutoAnswerOffExtraWord", "auto-answer off 5", "error usage: auto-answer*"},
    {"AutoAnswerDelayPastLimit", "auto-answer on 3600001", "error MAX_DELAY_MS must be*"},
    {"EnhancedUnknownRequest", "enhanced 1 getAnswer 101 1", "error unknown enhanced request*"},
    {"EnhancedShutDownExtraWord", "enhanced 1 deviceShutDown 101 1", "error usage*"},
    {"EnhancedWithoutSession", "enhanced 2 getQuestion 201 1", "error hub 2 has no enhanced question session"},
    {"RegisterWithoutSession", "register 201 5 Zed", "error no registration session is open"},
    {"NameWithoutSession", "name 101 Zed", "error no expression naming session is open"},
    {"EndUserNameUnknownDevice", "enduser-name 1 999 1 Zed", "error hub 1 has no device 999"},
    {"FailUnknownMethod", "fail doSomething", "error no failing method 'doSomething'"},
    {"FailMethodOfOtherObject", "fail naming startSession", "error no failing method*"},
    {"FailNegativeCount", "fail setBacklight -1", "error COUNT must be*"},
};

class ControlCommands : public Classroom, public ::testing::WithParamInterface<Row>
{};

TEST_P(ControlCommands, ReplyAndSignalsAndNothingChangedOnError)
{
    const Row &row = GetParam();
    const QString before = run("hubs") + run("devices 0") + run("devices 1");
    const QString reply = run(QString::fromUtf8(row.command));
    const QString expected = QString::fromUtf8(row.reply);
    EXPECT_EQ(expected.endsWith('*') ? reply.left(expected.size() - 1) + '*' : reply, expected);
    EXPECT_FALSE(reply.contains('\n'));
    if (reply.startsWith("error"))
        EXPECT_EQ(run("hubs") + run("devices 0") + run("devices 1"), before);
    // Emitted on the library thread, so not delivered before the test's
    // thread asks for its events.
    EXPECT_TRUE(recorder.lines.isEmpty());
    EXPECT_TRUE(recorder.waitFor(row.emitted.size()));
    // Each signal was posted before the reply: any further one is here too.
    QCoreApplication::sendPostedEvents(&recorder);
    EXPECT_EQ(recorder.lines, row.emitted);
}

INSTANTIATE_TEST_SUITE_P(Table, ControlCommands, ::testing::ValuesIn(rows),
                         [](const auto &p) { return std::string(p.param.name); });

using ControlCommandTable = SimulatorTest;

// "help" lists the command table in one line: every command in it is
// reachable and no two rows share their command words.
TEST_F(ControlCommandTable, EveryListedCommandIsReachableAndUnique)
{
    const QString help = run("help");
    ASSERT_TRUE(help.startsWith("ok ") && !help.contains('\n'));
    QStringList commands;
    for (const QString &usage : help.mid(3).split(QChar(0x1e))) {
        // A second command word is lower case; arguments are upper case.
        const QStringList words = usage.split(' ');
        const bool sub = words.size() > 1 && QRegularExpression("^[a-z]+$").match(words[1]).hasMatch();
        commands << words.mid(0, sub ? 2 : 1).join(' ');
        EXPECT_FALSE(run(commands.last()).startsWith("error unknown")) << qPrintable(commands.last());
    }
    EXPECT_GE(commands.size(), 21);
    EXPECT_EQ(commands.removeDuplicates(), 0);
}

TEST_F(ControlCommandTable, HubsAndDevicesListInTheirFormats)
{
    EXPECT_EQ(run("hubs"), "ok");
    must("hub add 3 type=2 touches=2 virtual=1 state=-4 enhanced=0");
    must("hub add 1 pens=4 erasers=2 touch=1");
    EXPECT_EQ(run("hubs"),
              "ok 1:type=1,pens=4,touches=0,erasers=2,touch=1,erase=1,virtual=0,state=0,enhanced=1 "
              "3:type=2,pens=0,touches=2,erasers=0,touch=1,erase=0,virtual=1,state=-4,enhanced=0");
    must("hub set 3 touch=0 state=7");
    const Hub *h = hub(3);
    EXPECT_EQ(QList<int>({h->getHubType(), h->getNumPensSupported(), h->getNumTouchesSupported(),
                          h->getNumErasesSupported(), h->isTouchEnabled(), h->isEraseEnabled(), h->isVirtualHub(),
                          h->getHubState(), h->enhancedQuestionSession() != nullptr}),
              QList<int>({2, 0, 2, 0, 0, 0, 1, 7, 0}));

    EXPECT_EQ(run("devices 3"), "ok");
    must("device add 3 7 5 Smith, Jane");
    must("device add 3 8 4");
    must("device add 3 9 3  two  spaces ");
    must("device remove 3 8");
    EXPECT_EQ(run("devices 3"), "ok " + QStringList({"7:5:Smith, Jane", "9:3: two  spaces "}).join(QChar(0x1e)));
    // A name from the relay may hold anything; the reply stays one line.
    VelaSystem::instance()->startVelahubExpressionNamingSession(3)->nameExpression(7, "a\nb\\" + QString(QChar(0x1e)));
    EXPECT_TRUE(run("devices 3").startsWith("ok 7:5:a\\nb\\\\\\x1e" + QString(QChar(0x1e))));
}

using Signals = Classroom;

TEST_F(Signals, RegistrationJoinsTheDeviceAndNamingRenamesIt)
{
    recorder.watch(VelaSystem::instance()->startVelahubRegistrationSession(1));
    recorder.watch(VelaSystem::instance()->startVelahubExpressionNamingSession(1));
    for (const char *command : {"register 201 5 Eve Smith", "register 101 3 ", "name 201 Evie, E."})
        must(command);
    EXPECT_TRUE(recorder.waitFor(3));
    EXPECT_EQ(recorder.lines,
              QStringList({"expressionDeviceRegistered Eve Smith 201 5", "expressionDeviceRegistered  101 3",
                           "expressionDeviceNamed Evie, E. 201"}));
    EXPECT_EQ(run("devices 1"),
              "ok " + QStringList({"102:5:Bob", "103:4:Cy", "104:3:Di", "201:5:Evie, E.", "101:3:"}).join(QChar(0x1e)));
}

// Every expression device answers a started question once. A question that
// stops before its answers are due gets none: the first question starts and
// stops within one pen event on the library thread, so no answer can slip in
// between, and its answers, planned first, would come before the others.
TEST_F(Signals, AutoAnswerOnlyTheRunningQuestion)
{
    must("auto-answer on 0");
    QObject::connect(
        board, &Hub::penEventReceived, &recorder,
        [this] {
            EXPECT_TRUE(Simulator::isLibraryThread());
            voting->startMultichoiceSession(1, 4, 1, 2, 0, 0, nullptr, nullptr);
            voting->stopSession();
        },
        Qt::DirectConnection);
    must("pen 0 1 1 1 1 0");
    ASSERT_TRUE(voting->startLikertSession(8, 5, 0, 0, nullptr, nullptr));
    ASSERT_TRUE(recorder.waitFor(3));
    QStringList answers = recorder.lines.mid(1);
    answers.sort();
    EXPECT_TRUE(QRegularExpression("^likertSessionResponse 1 101 8 [1-5]\nlikertSessionResponse 1 102 8 [1-5]$")
                    .match(answers.join('\n'))
                    .hasMatch())
        << qPrintable(answers.join('\n'));
}

} // namespace
