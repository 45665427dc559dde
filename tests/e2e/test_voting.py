"""Questions, enhanced sessions, registration and naming, end to end: commands
from a real WebSocket client, devices driven by velasim, and the journal of
what reached the simulated hub."""

from relayharness import RelayTest

US = "\x1f"


class VotingTest(RelayTest):
    async def asyncSetUp(self):
        await super().asyncSetUp()
        self.client = await self.connect()
        self.command = self.client.carried_out
        self.relay.journal()

    async def expect(self, keyword, *fields):
        self.assertEqual((await self.client.next(keyword))[2:], list(fields))

    async def nothing_more(self, keyword):
        await self.command()
        self.assertNotIn(keyword, map(self.client.keyword, self.client.pending))


class Questions(VotingTest):
    async def test_each_type_reaches_the_hub_with_its_arguments(self):
        asked = {
            "askMultipleChoiceQuestion,7,4,1": "startMultichoiceSession 1 7 4 1 2 0 0",
            "askSortInOrderQuestion,7,5,3": "startSortInOrderSession 1 7 5 3 2 0 0",
            "askLikertQuestion,7,5": "startLikertSession 1 7 5 0 0",
            "askYesNoQuestion,7,1": "startYesNoSession 1 7 1 0 0",
            "askTrueFalseQuestion,7,0": "startTrueFalseSession 1 7 0 0 0",
            "askNumericQuestion,7": 'startNumericSession 1 7 "" 255 0 0',
            "askTextQuestion,7": 'startTextSession 1 7 "" 255 0 0 0',
        }
        for command, call in asked.items():
            await self.command("question," + command, "question,stopQuestion")
            self.assertEqual(self.relay.journal(), ["hub stopSession 1", "hub " + call, "hub stopSession 1"])

    async def test_answers_are_forwarded_by_name_once_until_every_device_answered(self):
        await self.command("question,askMultipleChoiceQuestion,7,4,1")
        await self.expect("questionSession", "1")
        self.relay.sim("answer", 1, "multichoice", 1002, 7, "B,C")
        await self.expect("questionResponse", "7", "1002", "Smith" + US + " Jane", "B" + US + "C")
        self.relay.sim("answer", 1, "multichoice", 1002, 7, "A")
        for uid in (1001, 1003, 1004):
            self.relay.sim("answer", 1, "multichoice", uid, 7, "D")
        self.assertEqual([(await self.client.next("questionResponse"))[3] for _ in range(3)],
                         ["1001", "1003", "1004"])
        await self.expect("questionSession", "0")
        self.assertNotIn("hub stopSession 1", self.relay.journal()[2:])

    async def test_answer_texts_and_the_end_of_a_stopped_question(self):
        for kind, texts in (("YesNo", ["Don't Know", "Yes", "No"]), ("TrueFalse", ["Don't Know", "True", "False"])):
            await self.command("question,ask%sQuestion,8,1" % kind)
            for uid, value in ((1001, 2), (1002, 1), (1003, 0)):
                self.relay.sim("answer", 1, kind.lower(), uid, 8, value)
            self.assertEqual([(await self.client.next("questionResponse"))[5] for _ in range(3)], texts)
            await self.command("question,stopQuestion")
            await self.expect("questionSession", "1")
            await self.expect("questionSession", "0")
            self.relay.sim("answer", 1, kind.lower(), 1004, 8, 1)
            await self.nothing_more("questionResponse")

        await self.command("question,askLikertQuestion,9,7")
        self.relay.sim("answer", 1, "likert", 1004, 9, 7)
        self.assertEqual((await self.client.next("questionResponse"))[5], "7")


class Enhanced(VotingTest):
    async def test_a_session_started_twice_keeps_its_identifier_and_forwards_once(self):
        await self.command("enhanced,startSession,1", "enhanced,startSession,1")
        await self.expect("enhancedSessionID", "1")
        await self.expect("enhancedSessionID", "1")
        for event, fields in ((("getSessionParameters", 1001, 1033), ["1001", "1033"]),
                              (("getQuestion", 1001, 3), ["1001", "3"]),
                              (("textAnswer", 1001, 3, 1, "x, y"), ["1001", "3", "x" + US + " y", "1"]),
                              (("yesNoAnswer", 1001, 4, 2), ["1001", "4", "2"]),
                              (("multichoiceAnswer", 1001, 5, "B"), ["1001", "5", "B"]),
                              (("trueFalseAnswer", 1001, 6, 1), ["1001", "6", "1"]),
                              (("likertAnswer", 1001, 7, 5), ["1001", "7", "5"]),
                              (("numericAnswer", 1001, 8, "12"), ["1001", "8", "12"]),
                              (("sortInOrderAnswer", 1001, 9, "BA"), ["1001", "9", "BA"]),
                              (("deviceShutDown", 1001), ["1001"])):
            self.relay.sim("enhanced", 1, *event)
            await self.expect("enhancedSession" + event[0][0].upper() + event[0][1:], "1", *fields)
        await self.nothing_more("enhancedSessionGetQuestion")

        await self.command("enhanced,startSession,0")
        await self.expect("enhancedSessionID", "0")
        self.relay.journal()
        # A stopped session's identifier is not used again.
        await self.command("enhanced,message,1,1001,0,hello", "enhanced,startSession,1")
        await self.expect("enhancedSessionID", "2")
        self.assertEqual(self.relay.journal(), ["enhanced startSession 1 0"])

    async def test_questions_reach_the_devices_with_mathml_translated(self):
        await self.command("enhanced,startSession,1")
        self.relay.journal()
        frac = "<math><mfrac><mi>a</mi><mn>2</mn></mfrac></math>"
        head = "enhanced,%s,1,1001,%d,Half of a is " + frac + ",1,0,1,"
        text = '"Half of a is <LaTeX>\\\\frac{a}{2}</LaTeX>" "Half of a is <LaTeX>a/2</LaTeX>" 1 0 1 0'
        sent = (
            (head % ("multichoiceQuestion", 1) + "4,1,2,B,C", 'enhanced sendQuestion 1 1001 1 0 1 %s 4 1 2 "B"' % text),
            (head % ("yesNoDontKnowQuestion", 2) + "1,1", "enhanced sendQuestion 1 1001 2 0 2 %s 1 1" % text),
            (head % ("trueFalseDontKnowQuestion", 3) + "0,2", "enhanced sendQuestion 1 1001 3 0 3 %s 0 2" % text),
            (head % ("likertQuestion", 4) + "5,3", "enhanced sendQuestion 1 1001 4 0 4 %s 5 3" % text),
            (head % ("numericQuestion", 5) + "3,1" + US + "5", 'enhanced sendQuestion 1 1001 5 0 5 %s 3 "1,5"' % text),
            ("enhanced,textQuestion,1,1001,6,Say it,0,0,0,20,<math><msqrt><mi>x</mi></msqrt></math>,1",
             'enhanced sendQuestion 1 1001 6 0 6 "Say it" "Say it" 0 0 0 1 20 "sqrt(x)" "\\\\sqrt{x}" '
             '"<math><msqrt><mi>x</mi></msqrt></math>"'),
            (head % ("sortInOrderQuestion", 7) + "3,3,3,CAB", 'enhanced sendQuestion 1 1001 7 0 7 %s 3 3 3 "CAB"' % text),
            ("enhanced,message,1,1001,3,Look" + US + " now", 'enhanced sendMessage 1 1001 3 "Look, now"'),
            ("enhanced,popup,1,1001,1,Done?", 'enhanced sendPopUpMessage 1 1001 1 "Done?"'),
            ("enhanced,noMoreQuestions,1,1001,Thanks", 'enhanced sendNoMoreQuestionsNotification 1 1001 "Thanks"'),
            ("enhanced,sessionParameters,1,1001,5,0,1,10110,3", 'enhanced sendSessionParameters 1 1001 5 0 1 "10110" 3'),
        )
        await self.command(*(command for command, _ in sent))
        self.assertEqual(self.relay.journal(), [call for _, call in sent])

    async def test_a_failed_start_reports_no_session(self):
        for fault in (("fail", "enhanced", "startSession"), ("hub", "set", 1, "enhanced=0")):
            self.relay.sim(*fault)
            await self.command("enhanced,startSession,1")
            await self.expect("enhancedSessionID", "0")


class Registration(VotingTest):
    async def test_a_count_of_two_registers_two_and_completes_once(self):
        await self.command("hub,startRegistrationSession,2,0,0,AB" + US + "C,0,0,0")
        self.assertEqual(self.relay.journal(), [
            "system stopVelahubRegistrationSession 1", "system startVelahubRegistrationSession 1",
            'registration startExpressionRegistrationSession 1 2 0 0 "AB\\x1fC"'])
        self.relay.sim("register", 2001, 5, "Zoe, Z")
        await self.expect("expressionDeviceRegistered", "Zoe" + US + " Z", "2001", "5", "1")
        self.relay.sim("register", 2002, 5, "Yan")
        await self.expect("expressionDeviceRegistered", "Yan", "2002", "5", "2")
        await self.expect("registrationComplete", "2")
        self.relay.sim("register", 2003, 5, "Xi", expect_ok=False)
        await self.nothing_more("expressionDeviceRegistered")

    async def test_devices_are_removed_by_type(self):
        self.relay.sim("device", "add", 1, 3001, 3)
        self.relay.sim("device", "add", 1, 4001, 4)
        for uid, kind, removed in ((3001, 3, "1"), (4001, 4, "1"), (1001, 5, "1"), (1002, 6, "0"), (1003, 3, "0")):
            await self.command("hub,removeVelaDevice,%d,%d" % (uid, kind))
            await self.expect("removeVelaDevice", str(uid), str(kind), removed)
        self.assertNotIn("1001:", self.relay.sim("devices", 1))

    async def test_a_failed_clear_still_closes_its_session(self):
        self.relay.sim("fail", "clearHubOfExpressions")
        await self.command("hub,clearExpressions")
        self.assertEqual(self.relay.journal(), [
            "system startVelahubRegistrationSession 1", "registration clearHubOfExpressions 1",
            "system stopVelahubRegistrationSession 1"])


class Naming(VotingTest):
    async def test_teacher_and_learner_naming_give_expression_names(self):
        await self.command("hub,startTeacherNamingSession", "hub,startTeacherNamingSession",
                           "hub,startExpressionNamingSession", "hub,nameExpression,1001,Smith" + US + " Jo")
        await self.expect("namingSessionStatus", "1")
        self.assertIn('naming nameExpression 1 1001 "Smith, Jo"', self.relay.journal())
        self.relay.sim("name", 1003, "Chloe M")
        await self.expect("expressionName", "1003", "Chloe M")
        await self.nothing_more("expressionName")

        await self.command("hub,startStudentNamingSession,5,2,10,1")
        self.assertEqual(self.relay.journal()[-1], "hub startExpressionEnduserNamingSession 1 5 2 10 1")
        self.relay.sim("enduser-name", 1, 1004, 5, "Dev, P")
        await self.expect("expressionName", "1004", "Dev" + US + " P")


class LastClientLeaving(VotingTest):
    args = ("--debug",)

    async def test_ends_every_running_session_in_order(self):
        await self.command("enhanced,startSession,1", "hub,startRegistrationSession,3,0,0,X,0,0,0",
                           "hub,startTeacherNamingSession", "hub,startStudentNamingSession,5,2,10,1")
        self.relay.journal()
        await self.client.close()
        # Said once the sessions were ended.
        self.assertTrue(self.relay.wait_output("VelaRelay debug: 0 client(s) connected"))
        self.assertEqual(self.relay.journal(), [
            "enhanced stopSession 1", "registration stopExpressionRegistrationSession 1",
            "system stopVelahubRegistrationSession 1", "naming stopExpressionNamingSession 1",
            "system stopVelahubExpressionNamingSession 1", "hub stopExpressionEndUserNamingSession 1"])
