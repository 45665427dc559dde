// What reached "the hardware": the journal's format, its bound, sessions
// and their closed state, and injected faults.

#include "SimulatorTest.h"

#include <QBitArray>

#include <functional>
#include <thread>

using namespace Velasystem;

namespace {

class Journal : public SimulatorTest
{
protected:
    void SetUp() override
    {
        SimulatorTest::SetUp();
        must("hub add 0 pens=4 touches=10 erasers=2");
        must("hub add 1 type=2");
        must("device add 1 101 5 Ann");
        must("device add 1 102 4 Bob");
        must("device add 1 103 3 Cy");
        board = hub(0);
        voting = hub(1);
    }

    Hub *board = nullptr;
    Hub *voting = nullptr;
};

TEST_F(Journal, WritesIntegersBoolsTextsAndBitSets)
{
    board->setPenHardwareMode(1, 5002);
    board->setPenReportMode(1, 6001);
    board->setTouchReportMode(1);
    voting->setBacklight(3, 1);
    voting->startYesNoSession(5, true, 0, 0, nullptr, nullptr);
    voting->stopSession();
    voting->startNumericSession(-7, QString("a\"b\\c\nd\te\x01") + QChar(0xe9), 255, 0, 0, nullptr, nullptr);
    QBitArray bits(5);
    bits.setBit(0);
    bits.setBit(2);
    bits.setBit(3);
    EnhancedQuestionSession *enhanced = voting->enhancedQuestionSession();
    enhanced->startSession(false);
    enhanced->sendSessionParameters(101, 5, 0, true, bits, 3);
    enhanced->sendMessage(101, MessageClearScreen | MessageBeep, "hi");
    enhanced->sendPopUpMessage(4294967295u, false, "");
    VelaSystem::instance()->startVelahubRegistrationSession(1)->startExpressionRegistrationSession(
        2, 0, 0, RegistrationCode("ABC"));
    EXPECT_EQ(
        calls(),
        QStringList({"hub setPenHardwareMode 0 1 5002", "hub setPenReportMode 0 1 6001", "hub setTouchReportMode 0 1",
                     "hub setBacklight 1 3 1", "hub startYesNoSession 1 5 1 0 0", "hub stopSession 1",
                     QString("hub startNumericSession 1 -7 \"a\\\"b\\\\c\\nd\\x09e\\x01") + QChar(0xe9) + "\" 255 0 0",
                     "enhanced startSession 1 0", "enhanced sendSessionParameters 1 101 5 0 1 \"10110\" 3",
                     "enhanced sendMessage 1 101 3 \"hi\"", "enhanced sendPopUpMessage 1 4294967295 0 \"\"",
                     "system startVelahubRegistrationSession 1",
                     "registration startExpressionRegistrationSession 1 2 0 0 \"ABC\""}));
    EXPECT_EQ(run("calls"), "ok 0");
}

struct QuestionRow
{
    const char *name;
    std::function<EnhancedQuestion *()> make;
    const char *fields; // after the uid and the base fields
};

EnhancedQuestion *based(EnhancedQuestion *q)
{
    q->noLatexFound = true;
    q->questionNumber = 4;
    q->questionText = "Q";
    q->questionTextAlt = "q";
    q->option2 = true;
    return q;
}

const QuestionRow questionRows[] = {
    {"Multichoice",
     [] {
         auto *q = new MultichoiceQuestion;
         q->numberOfOptions = 4;
         q->minResponses = 1;
         q->maxResponses = 2;
         q->correctAnswer = "AB";
         return based(q);
     },
     "1 1 4 \"Q\" \"q\" 0 1 0 0 4 1 2 \"AB\""},
    {"YesNo",
     [] {
         auto *q = new YesNoQuestion;
         q->dontKnow = true;
         q->correctAnswer = 1;
         return based(q);
     },
     "2 1 4 \"Q\" \"q\" 0 1 0 0 1 1"},
    {"TrueFalse",
     [] {
         auto *q = new TrueFalseQuestion;
         q->correctAnswer = 2;
         return based(q);
     },
     "3 1 4 \"Q\" \"q\" 0 1 0 0 0 2"},
    {"Likert",
     [] {
         auto *q = new LikertQuestion;
         q->scale = 5;
         q->correctAnswer = 3;
         return based(q);
     },
     "4 1 4 \"Q\" \"q\" 0 1 0 0 5 3"},
    {"Numeric",
     [] {
         auto *q = new NumericQuestion;
         q->maxDigits = 3;
         q->correctAnswer = "42";
         return based(q);
     },
     "5 1 4 \"Q\" \"q\" 0 1 0 0 3 \"42\""},
    {"Text",
     [] {
         auto *q = new TextQuestion;
         q->translateAnswer = true;
         q->maxLength = 9;
         q->correctAnswer = "a/b";
         q->correctAnswerLatex = "\\frac{a}{b}";
         q->correctAnswerSource = "<math/>";
         return based(q);
     },
     "6 1 4 \"Q\" \"q\" 0 1 0 1 9 \"a/b\" \"\\\\frac{a}{b}\" \"<math/>\""},
    {"SortInOrder",
     [] {
         auto *q = new SortInOrderQuestion;
         q->numberOfOptions = 3;
         q->correctAnswer = "CAB";
         return based(q);
     },
     "7 1 4 \"Q\" \"q\" 0 1 0 0 3 0 0 \"CAB\""},
};

void PrintTo(const QuestionRow &row, std::ostream *out)
{
    *out << row.name;
}

class SentQuestion : public Journal, public ::testing::WithParamInterface<QuestionRow>
{};

TEST_P(SentQuestion, WritesTypeCodeThenFieldsInDeclarationOrder)
{
    EnhancedQuestionSession *enhanced = voting->enhancedQuestionSession();
    ASSERT_TRUE(enhanced->startSession(true));
    EXPECT_TRUE(enhanced->sendQuestion(101, GetParam().make()));
    EXPECT_EQ(calls().last(), QString("enhanced sendQuestion 1 101 ") + GetParam().fields);
}

INSTANTIATE_TEST_SUITE_P(Types, SentQuestion, ::testing::ValuesIn(questionRows),
                         [](const auto &p) { return std::string(p.param.name); });

TEST_F(Journal, ClosedSessionsDoNothingAndSaySo)
{
    VelaSystem *system = VelaSystem::instance();
    EnhancedQuestionSession *enhanced = voting->enhancedQuestionSession();
    EXPECT_FALSE(enhanced->sendQuestion(101, new YesNoQuestion));
    EXPECT_FALSE(enhanced->stopSession());
    VelahubRegistrationSession *registration = system->startVelahubRegistrationSession(1);
    ASSERT_TRUE(registration);
    EXPECT_EQ(system->startVelahubRegistrationSession(1), registration);
    EXPECT_EQ(system->startVelahubRegistrationSession(0), nullptr);
    system->stopVelahubRegistrationSession(0); // another hub's: stays open
    EXPECT_TRUE(registration->removeVelavote(102));
    system->stopVelahubRegistrationSession(1);
    EXPECT_FALSE(registration->clearHubOfExpressions());
    VelahubRegistrationSession *next = system->startVelahubRegistrationSession(1);
    EXPECT_NE(next, registration);
    EXPECT_EQ(
        calls(),
        QStringList({"enhanced sendQuestion closed 1 101 2 0 0 \"\" \"\" 0 0 0 0 0 0", "enhanced stopSession closed 1",
                     "system startVelahubRegistrationSession 1", "system startVelahubRegistrationSession 1",
                     "system startVelahubRegistrationSession 0", "system stopVelahubRegistrationSession 0",
                     "registration removeVelavote 1 102", "system stopVelahubRegistrationSession 1",
                     "registration clearHubOfExpressions closed 1", "system startVelahubRegistrationSession 1"}));
    EXPECT_EQ(system->startVelahubExpressionNamingSession(7), nullptr);
}

TEST_F(Journal, RegistrationRemovesOnlyDevicesOfTheRightSubType)
{
    VelahubRegistrationSession *registration = VelaSystem::instance()->startVelahubRegistrationSession(1);
    EXPECT_FALSE(registration->removeVelaexpression(102));
    EXPECT_FALSE(registration->removeSlate(101));
    EXPECT_FALSE(registration->removeVelavote(999));
    EXPECT_TRUE(registration->removeSlate(103));
    must("device add 1 104 5 Di");
    EXPECT_TRUE(registration->clearHubOfExpressions());
    EXPECT_EQ(run("devices 1"), "ok 102:4:Bob");
}

TEST_F(Journal, KeepsTheNewestLinesAtItsLimit)
{
    for (int i = 0; i < 100000; ++i)
        board->setPenHardwareMode(1, i);
    QStringList lines = run("calls").split('\n');
    EXPECT_EQ(lines.first(), "ok 100000");
    EXPECT_EQ(lines.at(1), "hub setPenHardwareMode 0 1 0");

    for (int i = 0; i < 100001; ++i)
        board->setPenHardwareMode(1, i);
    lines = run("calls").split('\n');
    EXPECT_EQ(lines.first(), "ok 100000 dropped 1 older");
    EXPECT_EQ(lines.at(1), "hub setPenHardwareMode 0 1 1");
    EXPECT_EQ(lines.last(), "hub setPenHardwareMode 0 1 100000");
    EXPECT_EQ(run("calls"), "ok 0");
}

TEST_F(Journal, CallsFromAnyThreadAreJournaled)
{
    std::thread other([&] {
        voting->setBacklight(1, 1);
        EXPECT_EQ(Simulator::execute("ping"), "ok pong");
    });
    other.join();
    EXPECT_EQ(calls(), QStringList({"hub setBacklight 1 1 1"}));
}

// Every method that "fail" accepts, called once so that it can fail.
struct FaultRow
{
    const char *method;
    std::function<bool(Hub *board, Hub *voting)> call; // true when it succeeded
};

template <class S>
bool opened(S *s)
{
    return s != nullptr;
}

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

const FaultRow faultRows[] = {
    {"getHubList",
     [](Hub *, Hub *) {
         QList<Hub *> l;
         bool r = VelaSystem::instance()->getHubList(l);
         return r && l.size() == 2;
     }},
    {"startVelahubRegistrationSession", [](Hub *, Hub *) { return opened(registration()); }},
    {"stopVelahubRegistrationSession",
     [](Hub *, Hub *) {
         VelahubRegistrationSession *r = registration();
         VelaSystem::instance()->stopVelahubRegistrationSession(1);
         return !r->clearHubOfExpressions();
     }},
    {"startVelahubExpressionNamingSession", [](Hub *, Hub *) { return opened(naming()); }},
    {"stopVelahubExpressionNamingSession",
     [](Hub *, Hub *) {
         VelahubExpressionNamingSession *n = naming();
         VelaSystem::instance()->stopVelahubExpressionNamingSession(1);
         return !n->startExpressionNamingSession();
     }},
    {"setPenHardwareMode", [](Hub *b, Hub *) { return b->setPenHardwareMode(1, 5002); }},
    {"setPenReportMode", [](Hub *b, Hub *) { return b->setPenReportMode(4, 6000); }},
    {"setTouchReportMode", [](Hub *b, Hub *) { return b->setTouchReportMode(0); }},
    {"setEraseReportMode", [](Hub *b, Hub *) { return b->setEraseReportMode(1); }},
    {"setBacklight", [](Hub *, Hub *v) { return v->setBacklight(1, 1); }},
    {"resetHubSession", [](Hub *, Hub *v) { return v->resetHubSession(); }},
    {"startMultichoiceSession",
     [](Hub *, Hub *v) { return v->startMultichoiceSession(1, 4, 1, 2, 0, 0, nullptr, nullptr); }},
    {"startSortInOrderSession",
     [](Hub *, Hub *v) { return v->startSortInOrderSession(1, 4, 1, 2, 0, 0, nullptr, nullptr); }},
    {"startLikertSession", [](Hub *, Hub *v) { return v->startLikertSession(1, 5, 0, 0, nullptr, nullptr); }},
    {"startYesNoSession", [](Hub *, Hub *v) { return v->startYesNoSession(1, false, 0, 0, nullptr, nullptr); }},
    {"startTrueFalseSession", [](Hub *, Hub *v) { return v->startTrueFalseSession(1, false, 0, 0, nullptr, nullptr); }},
    {"startNumericSession", [](Hub *, Hub *v) { return v->startNumericSession(1, "", 255, 0, 0, nullptr, nullptr); }},
    {"startTextSession", [](Hub *, Hub *v) { return v->startTextSession(1, "", 255, 0, 0, false, nullptr, nullptr); }},
    {"stopSession", [](Hub *, Hub *v) { return v->stopSession(); }},
    {"startExpressionEnduserNamingSession",
     [](Hub *, Hub *v) { return v->startExpressionEnduserNamingSession(1, 0, 8, false, nullptr, nullptr); }},
    {"stopExpressionEndUserNamingSession", [](Hub *, Hub *v) { return v->stopExpressionEndUserNamingSession(); }},
    {"startExpressionRegistrationSession",
     [](Hub *, Hub *) { return registration()->startExpressionRegistrationSession(2, 0, 0, RegistrationCode("A")); }},
    {"startNamingExpressionRegistrationSession",
     [](Hub *, Hub *) {
         return registration()->startNamingExpressionRegistrationSession(2, 1, 1, RegistrationCode("A"), 0, true, 8);
     }},
    {"stopExpressionRegistrationSession",
     [](Hub *, Hub *) { return registration()->stopExpressionRegistrationSession(); }},
    {"clearHubOfExpressions", [](Hub *, Hub *) { return registration()->clearHubOfExpressions(); }},
    {"removeVelaexpression",
     [](Hub *, Hub *) { return removeAndReturn(&VelahubRegistrationSession::removeVelaexpression, 101, 5); }},
    {"removeVelavote",
     [](Hub *, Hub *) { return removeAndReturn(&VelahubRegistrationSession::removeVelavote, 102, 4); }},
    {"removeSlate", [](Hub *, Hub *) { return removeAndReturn(&VelahubRegistrationSession::removeSlate, 103, 3); }},
    {"startExpressionNamingSession", [](Hub *, Hub *) { return naming()->startExpressionNamingSession(); }},
    {"stopExpressionNamingSession", [](Hub *, Hub *) { return naming()->stopExpressionNamingSession(); }},
    {"nameExpression", [](Hub *, Hub *) { return naming()->nameExpression(101, "Al"); }},
    {"startSession", [](Hub *, Hub *v) { return v->enhancedQuestionSession()->startSession(false); }},
    {"sendQuestion", [](Hub *, Hub *v) { return running(v)->sendQuestion(101, new LikertQuestion); }},
    {"sendSessionParameters",
     [](Hub *, Hub *v) { return running(v)->sendSessionParameters(101, 0, 0, false, QBitArray(), 0); }},
    {"sendMessage", [](Hub *, Hub *v) { return running(v)->sendMessage(101, MessageNoFlags, "m"); }},
    {"sendPopUpMessage", [](Hub *, Hub *v) { return running(v)->sendPopUpMessage(101, true, "p"); }},
    {"sendNoMoreQuestionsNotification",
     [](Hub *, Hub *v) { return running(v)->sendNoMoreQuestionsNotification(101, "n"); }},
};

void PrintTo(const FaultRow &row, std::ostream *out)
{
    *out << row.method;
}

class Fault : public Journal, public ::testing::WithParamInterface<FaultRow>
{};

TEST_P(Fault, FailsTheNextCallsAndThenWorksAgain)
{
    const FaultRow &row = GetParam();
    EXPECT_TRUE(row.call(board, voting)) << "works before";
    must(QString("fail %1 2").arg(row.method));
    EXPECT_FALSE(row.call(board, voting)) << "first failure";
    EXPECT_FALSE(row.call(board, voting)) << "second failure";
    EXPECT_TRUE(row.call(board, voting)) << "works after";
    must(QString("fail %1").arg(row.method));
    must(QString("fail %1 0").arg(row.method));
    EXPECT_TRUE(row.call(board, voting)) << "count 0 disarms";
}

INSTANTIATE_TEST_SUITE_P(Methods, Fault, ::testing::ValuesIn(faultRows),
                         [](const auto &p) { return std::string(p.param.method); });

TEST_F(Journal, FaultOfOneObjectLeavesTheSameNameOnAnother)
{
    EnhancedQuestionSession *enhanced = running(voting);
    must("fail enhanced stopSession");
    EXPECT_TRUE(voting->stopSession());
    EXPECT_FALSE(enhanced->stopSession());
    EXPECT_TRUE(enhanced->stopSession());
    must("fail stopSession 2");
    EXPECT_FALSE(voting->stopSession());
    EXPECT_FALSE(voting->stopSession());
}

TEST_F(Journal, ResetClearsFaultsAndJournal)
{
    must("fail setBacklight 5");
    Simulator::reset();
    must("hub add 1");
    EXPECT_TRUE(hub(1)->setBacklight(1, 1));
    EXPECT_EQ(calls(), QStringList({"hub setBacklight 1 1 1"}));
}

} // namespace
