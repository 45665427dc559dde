// Every control command and its errors, through Simulator::execute.

#include "SimulatorTest.h"

#include <QSet>

using namespace Velasystem;

namespace {

struct Row
{
    const char *name;
    const char *command;
    const char *reply; // expected reply, or its start when it ends in "*"
};

// With hub 0 (a board) and hub 1 (a voting hub with device 101) connected.
const Row rows[] = {
    {"Ping", "ping", "ok pong"},
    {"CarriageReturnIgnored", "ping\r", "ok pong"},
    {"LineFeedInside", "ping\nping", "error one command per line"},
    {"Empty", "   ", "error empty command"},
    {"UnknownCommand", "bogus", "error unknown command 'bogus'*"},
    {"UnknownSubcommand", "hub launch 3", "error unknown hub command 'launch'"},
    {"HubAddTwice", "hub add 0", "error hub 0 is already connected"},
    {"HubAddUnknownKey", "hub add 5 colour=2", "error unknown hub setting 'colour=2'*"},
    {"HubAddNotKeyValue", "hub add 5 pens", "error unknown hub setting 'pens'*"},
    {"HubAddPensAtLimit", "hub add 5 pens=255", "ok"},
    {"HubAddPensPastLimit", "hub add 5 pens=256", "error pens must be an integer from 0 to 255"},
    {"HubAddNegativeIndex", "hub add -1", "error HUB must be*"},
    {"HubAddIndexNotNumber", "hub add +1", "error HUB must be*"},
    {"HubRemoveUnknown", "hub remove 7", "error no connected hub 7"},
    {"HubRemoveExtraWord", "hub remove 0 1", "error usage: hub remove INDEX"},
    {"HubSetNoKeys", "hub set 0", "error usage: hub set*"},
    {"HubSetUnknownHub", "hub set 7 pens=1", "error no connected hub 7"},
    {"HubSetFlagPastLimit", "hub set 0 touch=2", "error touch must be*"},
    {"HubSetOneBadKeyOfTwo", "hub set 0 pens=2 erase=x", "error erase must be*"},
    {"HubsExtraWord", "hubs 0", "error usage: hubs"},
    {"DevicesUnknownHub", "devices 9", "error no connected hub 9"},
    {"DeviceAddSubTypeTooHigh", "device add 1 102 6 X", "error SUBTYPE must be*"},
    {"DeviceAddSubTypeTooLow", "device add 1 102 2 X", "error SUBTYPE must be*"},
    {"DeviceAddTwice", "device add 1 101 5 Bob", "error hub 1 already has device 101"},
    {"DeviceAddUidAtLimit", "device add 1 4294967295 4", "ok"},
    {"DeviceAddUidPastLimit", "device add 1 4294967296 4", "error UID must be*"},
    {"DeviceRemoveUnknown", "device remove 1 999", "error hub 1 has no device 999"},
    {"PenTipNotFlag", "pen 0 1 0 0 2 0", "error TIP must be an integer from 0 to 1*"},
    {"PenEventPastLimit", "pen 0 1 0 0 1 0 4", "error EVENT must be*"},
    {"PenIdPastLimit", "pen 0 256 0 0 1 0", "error ID must be*"},
    {"PenTooManyWords", "pen 0 1 0 0 1 0 0 9", "error usage: pen*"},
    {"PenTooFewWords", "pen 0 1 0 0 1", "error usage: pen*"},
    {"PenUnknownHub", "pen 5 1 0 0 1 0", "error no connected hub 5"},
    {"PenNegativeCoordinates", "pen 0 1 -5 -6 1 0", "ok"},
    {"TouchNoPoint", "touch 0", "error usage: touch*"},
    {"TouchShortPoint", "touch 0 1:2:3", "error bad point*"},
    {"TouchSecondPointBad", "touch 0 1:2:3:1 1:2:3:x", "error bad point*"},
    {"EraserPressedNotFlag", "eraser 0 1:2:3:4:5:2", "error bad contact*"},
    {"StrokeStepsZero", "stroke 0 1 0 0 10 10 0", "error STEPS must be*"},
    {"StrokeStepsAtLimit", "stroke 0 1 0 0 10 10 10000", "ok"},
    {"StrokeStepsPastLimit", "stroke 0 1 0 0 10 10 10001", "error STEPS must be*"},
    {"AnswerUnknownKind", "answer 1 essay 101 1 x", "error unknown question kind 'essay'"},
    {"AnswerUnknownDevice", "answer 1 multichoice 999 1 A", "error hub 1 has no device 999"},
    {"AnswerYesNoPastLimit", "answer 1 yesno 101 1 3", "error VALUE must be*"},
    {"AnswerTextValidNotFlag", "answer 1 text 101 1 x y", "error VALID must be*"},
    {"AnswerEmptyText", "answer 1 numeric 101 1", "ok"},
    {"AutoAnswerUnknownMode", "auto-answer maybe", "error usage: auto-answer*"},
    {"AutoAnswerOffExtraWord", "auto-answer off 5", "error usage: auto-answer*"},
    {"AutoAnswerDelayPastLimit", "auto-answer on 3600001", "error MAX_DELAY_MS must be*"},
    {"EnhancedUnknownRequest", "enhanced 1 getAnswer 101 1", "error unknown enhanced request*"},
    {"EnhancedUnknownDevice", "enhanced 0 getQuestion 101 1", "error hub 0 has no device 101"},
    {"EnhancedShutDownExtraWord", "enhanced 1 deviceShutDown 101 1", "error usage*"},
    {"RegisterWithoutSession", "register 201 5 Zed", "error no registration session is open"},
    {"NameWithoutSession", "name 101 Zed", "error no expression naming session is open"},
    {"EndUserNameUnknownDevice", "enduser-name 1 999 1 Zed", "error hub 1 has no device 999"},
    {"FailUnknownMethod", "fail doSomething", "error no failing method 'doSomething'"},
    {"FailMethodOfOtherObject", "fail naming startSession", "error no failing method*"},
    {"FailNegativeCount", "fail setBacklight -1", "error COUNT must be*"},
    {"CallsExtraWord", "calls now", "error usage: calls"},
};

void PrintTo(const Row &row, std::ostream *out)
{
    *out << row.command;
}

class ControlCommands : public SimulatorTest, public ::testing::WithParamInterface<Row>
{
protected:
    void SetUp() override
    {
        SimulatorTest::SetUp();
        must("hub add 0 pens=4 touches=10 erasers=2");
        must("hub add 1 type=2");
        must("device add 1 101 5 Alice");
    }
};

TEST_P(ControlCommands, RepliesAndChangesNothingOnError)
{
    const Row &row = GetParam();
    const QString before = run("hubs") + run("devices 0") + run("devices 1");
    const QString reply = run(QString::fromUtf8(row.command));
    QString expected = QString::fromUtf8(row.reply);
    if (expected.endsWith('*'))
        EXPECT_TRUE(reply.startsWith(expected.chopped(1))) << qPrintable(reply);
    else
        EXPECT_EQ(reply, expected);
    if (reply.startsWith("error")) {
        EXPECT_EQ(run("hubs") + run("devices 0") + run("devices 1"), before);
        EXPECT_EQ(reply.count('\n'), 0);
    }
}

INSTANTIATE_TEST_SUITE_P(Table, ControlCommands, ::testing::ValuesIn(rows),
                         [](const auto &p) { return std::string(p.param.name); });

using ControlCommandTable = SimulatorTest;

// "help" lists the command table: every command in it is reachable and no
// two rows share their command words.
TEST_F(ControlCommandTable, EveryListedCommandIsReachableAndUnique)
{
    const QString help = run("help");
    ASSERT_TRUE(help.startsWith("ok "));
    const QStringList usages = help.mid(3).split(QChar(0x1e));
    EXPECT_GE(usages.size(), 21);
    QSet<QString> seen;
    for (const QString &usage : usages) {
        QStringList words = usage.split(' ');
        // A second command word is lower case; arguments are upper case.
        const bool sub =
            words.size() > 1 && words[1] == words[1].toLower() && words[1].at(0).isLetter() && !words[1].contains('|');
        const QString command = sub ? words[0] + ' ' + words[1] : words[0];
        EXPECT_FALSE(seen.contains(command)) << qPrintable(command);
        seen.insert(command);
        EXPECT_FALSE(run(command).startsWith("error unknown")) << qPrintable(command);
    }
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
    EXPECT_TRUE(run("hubs").endsWith("touch=0,erase=0,virtual=1,state=7,enhanced=0"));

    EXPECT_EQ(run("devices 3"), "ok");
    must("device add 3 7 5 Smith, Jane");
    must("device add 3 8 4");
    must("device add 3 9 3  two  spaces ");
    EXPECT_EQ(run("devices 3"),
              QString("ok 7:5:Smith, Jane\x1e"
                      "8:4:\x1e"
                      "9:3: two  spaces "));
    must("device remove 3 8");
    EXPECT_EQ(run("devices 3"),
              QString("ok 7:5:Smith, Jane\x1e"
                      "9:3: two  spaces "));
}

// A name that arrives from the relay may hold anything; the reply line must
// still be one line with its entries apart.
TEST_F(ControlCommandTable, DeviceNamesAreEscapedInReplies)
{
    must("hub add 1 type=2");
    must("device add 1 7 5 x");
    VelahubExpressionNamingSession *naming = VelaSystem::instance()->startVelahubExpressionNamingSession(1);
    ASSERT_TRUE(naming);
    EXPECT_TRUE(naming->nameExpression(7,
                                       QString("a\nb\x1e"
                                               "c\\d")));
    EXPECT_EQ(run("devices 1"), "ok 7:5:a\\nb\\x1ec\\\\d");
}

TEST_F(ControlCommandTable, RemovedHubIsGoneButReadable)
{
    must("hub add 0 pens=4 touches=10");
    must("device add 0 5 5 Ann");
    Hub *old = hub(0);
    ASSERT_TRUE(old);
    must("hub remove 0");
    EXPECT_EQ(hub(0), nullptr);
    EXPECT_EQ(old->getNumPensSupported(), 4);
    EXPECT_EQ(old->getNumTouchesSupported(), 10);
    QList<Device *> devices;
    old->getDeviceList(Device::Velaexpression, devices);
    EXPECT_EQ(devices.size(), 1);
    EXPECT_FALSE(old->setBacklight(1, 2));
    EXPECT_FALSE(old->startYesNoSession(3, true, 0, 0, nullptr, nullptr));
    EXPECT_FALSE(old->enhancedQuestionSession()->startSession(false));
    EXPECT_EQ(calls(),
              QStringList({"hub setBacklight gone 0 1 2", "hub startYesNoSession gone 0 3 1 0 0",
                           "enhanced startSession gone 0 0"}));
    EXPECT_TRUE(run("pen 0 1 0 0 1 0").startsWith("error"));

    must("hub add 0");
    EXPECT_NE(hub(0), old);
    EXPECT_TRUE(hub(0)->setBacklight(1, 2));
    EXPECT_FALSE(old->setBacklight(1, 2));
}

TEST_F(ControlCommandTable, HubAddDefaultsFollowTheCounts)
{
    must("hub add 0 touches=1 erasers=1");
    must("hub add 1 touches=1 erasers=1 touch=0 erase=0");
    must("hub add 2");
    EXPECT_TRUE(hub(0)->isTouchEnabled() && hub(0)->isEraseEnabled());
    EXPECT_FALSE(hub(1)->isTouchEnabled() || hub(1)->isEraseEnabled());
    EXPECT_FALSE(hub(2)->isTouchEnabled() || hub(2)->isEraseEnabled() || hub(2)->isVirtualHub());
    EXPECT_EQ(hub(2)->getHubType(), 1);
    EXPECT_TRUE(hub(2)->enhancedQuestionSession());
    EnhancedQuestionSession *enhanced = hub(2)->enhancedQuestionSession();
    ASSERT_TRUE(enhanced->startSession(false));
    must("hub set 2 enhanced=0");
    EXPECT_FALSE(hub(2)->enhancedQuestionSession());
    EXPECT_FALSE(enhanced->sendNoMoreQuestionsNotification(1, "bye"));
    must("hub set 2 enhanced=1");
    EXPECT_EQ(hub(2)->enhancedQuestionSession(), enhanced);
}

TEST_F(ControlCommandTable, EnhancedRequestNeedsTheHubsSession)
{
    must("hub add 1 type=2 enhanced=0");
    must("device add 1 101 5 Ann");
    EXPECT_EQ(run("enhanced 1 getQuestion 101 1"), "error hub 1 has no enhanced question session");
}

} // namespace
