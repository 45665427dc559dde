// What reached "the hardware": the journal line of every library call and
// its format, its bound, removed hubs and closed sessions, injected faults.

#include "SimulatorTest.h"

#include <velasystem/VelahubExpressionNamingSession.h>
#include <velasystem/VelahubRegistrationSession.h>

#include <QBitArray>

#include <functional>

using namespace Velasystem;

namespace {

using Journal = Classroom;

VelahubRegistrationSession *registration()
{
    return VelaSystem::instance()->startVelahubRegistrationSession(1);
}

VelahubExpressionNamingSession *naming()
{
    return VelaSystem::instance()->startVelahubExpressionNamingSession(1);
}

// Removes a device and puts it back, so that the next call can remove it again.
bool removeAndReturn(bool (VelahubRegistrationSession::*remove)(quint32), quint32 uid, int type)
{
    const bool removed = (registration()->*remove)(uid);
    Simulator::execute(QString("device add 1 %1 %2").arg(uid).arg(type));
    return removed;
}

EnhancedQuestionSession *running(Hub *voting)
{
    voting->enhancedQuestionSession()->startSession(false);
    return voting->enhancedQuestionSession();
}

// Every call that "fail" accepts, named as "fail" and the journal name it.
struct Row
{
    const char *method;
    std::function<bool(Hub *board, Hub *voting)> call; // true when it succeeded
    QString line;                                      // its whole journal line, where the row pins it

    friend void PrintTo(const Row &row, std::ostream *out) { *out << row.method; }
};

const Row rows[] = {
    {"system startVelahubRegistrationSession", [](Hub *, Hub *) { return registration() != nullptr; }},
    {"system stopVelahubRegistrationSession",
     [](Hub *, Hub *) {
         registration();
         VelaSystem::instance()->stopVelahubRegistrationSession(1);
         return Simulator::execute("register 9 5 X").startsWith("error");
     }},
    {"system startVelahubExpressionNamingSession", [](Hub *, Hub *) { return naming() != nullptr; }},
    {"system stopVelahubExpressionNamingSession",
     [](Hub *, Hub *) {
         naming();
         VelaSystem::instance()->stopVelahubExpressionNamingSession(1);
         return Simulator::execute("name 101 X").startsWith("error");
     }},
    {"hub setPenHardwareMode", [](Hub *b, Hub *) { return b->setPenHardwareMode(1, 5002); }},
    {"hub setPenReportMode", [](Hub *b, Hub *) { return b->setPenReportMode(1, 6001); }},
    {"hub setTouchReportMode", [](Hub *b, Hub *) { return b->setTouchReportMode(1); }},
    {"hub setEraseReportMode", [](Hub *b, Hub *) { return b->setEraseReportMode(0); }},
    {"hub setBacklight", [](Hub *, Hub *v) { return v->setBacklight(3, 1); }},
    {"hub resetHubSession", [](Hub *, Hub *v) { return v->resetHubSession(); }},
    {"hub startMultichoiceSession", [](Hub *, Hub *v) { return v->startMultichoiceSession(1, 4, 1, 2, 0, 0, {}, {}); }},
    {"hub startSortInOrderSession", [](Hub *, Hub *v) { return v->startSortInOrderSession(2, 5, 3, 2, 1, 3, {}, {}); }},
    {"hub startLikertSession", [](Hub *, Hub *v) { return v->startLikertSession(3, 5, 0, 0, {}, {}); }},
    {"hub startYesNoSession", [](Hub *, Hub *v) { return v->startYesNoSession(5, true, 0, 0, {}, {}); }},
    {"hub startTrueFalseSession", [](Hub *, Hub *v) { return v->startTrueFalseSession(6, false, 1, 20, {}, {}); }},
    {"hub startNumericSession",
     [](Hub *, Hub *v) {
         return v->startNumericSession(-7, QString("a\"b\\c\nd\te\x01") + QChar(0xe9), 255, 0, 0, {}, {});
     },
     QString("hub startNumericSession 1 -7 \"a\\\"b\\\\c\\nd\\x09e\\x01") + QChar(0xe9) + "\" 255 0 0"},
    {"hub startTextSession", [](Hub *, Hub *v) { return v->startTextSession(8, "##", 40, 0, 0, true, {}, {}); }},
    {"hub stopSession", [](Hub *, Hub *v) { return v->stopSession(); }},
    {"hub startExpressionEnduserNamingSession",
     [](Hub *, Hub *v) { return v->startExpressionEnduserNamingSession(9, 2, 8, true, {}, {}); }},
    {"hub stopExpressionEndUserNamingSession", [](Hub *, Hub *v) { return v->stopExpressionEndUserNamingSession(); }},
    {"registration startExpressionRegistrationSession",
     [](Hub *, Hub *) { return registration()->startExpressionRegistrationSession(2, 0, 0, RegistrationCode("ABC")); }},
    {"registration startNamingExpressionRegistrationSession",
     [](Hub *, Hub *) {
         return registration()->startNamingExpressionRegistrationSession(2, 1, 1, RegistrationCode("A"), 0, true, 8);
     }},
    {"registration stopExpressionRegistrationSession",
     [](Hub *, Hub *) { return registration()->stopExpressionRegistrationSession(); }},
    {"registration clearHubOfExpressions", [](Hub *, Hub *) { return registration()->clearHubOfExpressions(); }},
    {"registration removeVelaexpression",
     [](Hub *, Hub *) { return removeAndReturn(&VelahubRegistrationSession::removeVelaexpression, 101, 5); }},
    {"registration removeVelavote",
     [](Hub *, Hub *) { return removeAndReturn(&VelahubRegistrationSession::removeVelavote, 103, 4); }},
    {"registration removeSlate",
     [](Hub *, Hub *) { return removeAndReturn(&VelahubRegistrationSession::removeSlate, 104, 3); }},
    {"naming startExpressionNamingSession", [](Hub *, Hub *) { return naming()->startExpressionNamingSession(); }},
    {"naming stopExpressionNamingSession", [](Hub *, Hub *) { return naming()->stopExpressionNamingSession(); }},
    {"naming nameExpression", [](Hub *, Hub *) { return naming()->nameExpression(101, "Al"); }},
    {"enhanced startSession", [](Hub *, Hub *v) { return v->enhancedQuestionSession()->startSession(true); }},
    {"enhanced stopSession", [](Hub *, Hub *v) { return running(v)->stopSession(); }},
    {"enhanced sendQuestion", [](Hub *, Hub *v) { return running(v)->sendQuestion(101, new LikertQuestion); }},
    {"enhanced sendSessionParameters",
     [](Hub *, Hub *v) {
         return running(v)->sendSessionParameters(101, 5, 0, true, QBitArray::fromBits("\x0d", 5), 3);
     }},
    {"enhanced sendMessage",
     [](Hub *, Hub *v) { return running(v)->sendMessage(101, MessageClearScreen | MessageBeep, "hi"); }},
    {"enhanced sendPopUpMessage", [](Hub *, Hub *v) { return running(v)->sendPopUpMessage(4294967295u, false, ""); },
     "enhanced sendPopUpMessage 1 4294967295 0 \"\""},
    {"enhanced sendNoMoreQuestionsNotification",
     [](Hub *, Hub *v) { return running(v)->sendNoMoreQuestionsNotification(101, "n"); }},
};

class Call : public Journal, public ::testing::WithParamInterface<Row>
{};

TEST_P(Call, IsJournaledUnderItsNameAndFailsWhenAsked)
{
    const Row &row = GetParam();
    EXPECT_TRUE(row.call(board, voting)) << "works before";
    const QString last = calls().join('\n').section('\n', -1);
    EXPECT_EQ(row.line.isEmpty() ? last.section(' ', 0, 1) : last, row.line.isEmpty() ? row.method : row.line);
    must(QString("fail %1 2").arg(row.method));
    EXPECT_FALSE(row.call(board, voting)) << "first failure";
    EXPECT_FALSE(row.call(board, voting)) << "second failure";
    EXPECT_TRUE(row.call(board, voting)) << "works after";
}

INSTANTIATE_TEST_SUITE_P(Methods, Call, ::testing::ValuesIn(rows),
                         [](const auto &p) { return QString(p.param.method).replace(' ', '_').toStdString(); });

TEST_F(Journal, FaultCountsObjectWordsAndTheHubList)
{
    EnhancedQuestionSession *enhanced = running(voting);
    must("fail enhanced stopSession");
    EXPECT_TRUE(voting->stopSession());
    EXPECT_FALSE(enhanced->stopSession());
    EXPECT_TRUE(enhanced->stopSession());
    must("fail setBacklight 5");
    must("fail setBacklight 0");
    EXPECT_TRUE(voting->setBacklight(1, 1));
    must("fail getHubList");
    QList<Hub *> hubs{board};
    EXPECT_FALSE(VelaSystem::instance()->getHubList(hubs));
    EXPECT_TRUE(hubs.isEmpty());
    EXPECT_EQ(hub(1), voting);
}

TEST_F(Journal, RemovedHubIsGoneButReadable)
{
    must("hub remove 1");
    EXPECT_EQ(hub(1), nullptr);
    EXPECT_EQ(voting->getHubType(), 2);
    QList<Device *> devices;
    voting->getDeviceList(Device::Velaexpression, devices);
    EXPECT_EQ(devices.size(), 2);
    EXPECT_FALSE(voting->setBacklight(1, 2));
    EXPECT_FALSE(voting->enhancedQuestionSession()->startSession(false));
    EXPECT_EQ(calls(), QStringList({"hub setBacklight gone 1 1 2", "enhanced startSession gone 1 0"}));
    must("hub add 1");
    EXPECT_TRUE(hub(1)->setBacklight(1, 2));
}

TEST_F(Journal, ClosedSessionsDoNothingAndSaySo)
{
    VelaSystem *system = VelaSystem::instance();
    EXPECT_FALSE(voting->enhancedQuestionSession()->stopSession());
    VelahubRegistrationSession *open = registration();
    EXPECT_EQ(registration(), open);
    EXPECT_EQ(system->startVelahubRegistrationSession(0), nullptr); // another hub's is open
    system->stopVelahubRegistrationSession(0);
    EXPECT_FALSE(open->removeVelaexpression(103)); // a voting device
    EXPECT_TRUE(open->removeVelavote(103));
    EXPECT_TRUE(open->clearHubOfExpressions());
    EXPECT_EQ(run("devices 1"), "ok 104:3:Di");
    system->stopVelahubRegistrationSession(1);
    EXPECT_FALSE(open->clearHubOfExpressions());
    EXPECT_NE(registration(), open);
    EXPECT_EQ(system->startVelahubExpressionNamingSession(7), nullptr);
    EXPECT_EQ(calls().filter("closed"),
              QStringList({"enhanced stopSession closed 1", "registration clearHubOfExpressions closed 1"}));
}

TEST_F(Journal, KeepsTheNewestLinesAtItsLimit)
{
    for (int i = 0; i < 100000; ++i)
        board->setPenHardwareMode(1, i);
    EXPECT_EQ(run("calls").section('\n', 0, 1), "ok 100000\nhub setPenHardwareMode 0 1 0");
    for (int i = 0; i < 100001; ++i)
        board->setPenHardwareMode(1, i);
    const QString taken = run("calls");
    EXPECT_EQ(taken.section('\n', 0, 1), "ok 100000 dropped 1 older\nhub setPenHardwareMode 0 1 1");
    EXPECT_TRUE(taken.endsWith("\nhub setPenHardwareMode 0 1 100000"));
    EXPECT_EQ(run("calls"), "ok 0");
}

} // namespace
