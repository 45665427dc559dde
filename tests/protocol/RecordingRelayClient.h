#pragma once

#include "IVelaRelayClient.h"

#include <QStringList>

// Records every operation call as one line of text, its arguments as the
// operation received them, so tests compare whole calls.
class RecordingRelayClient : public IVelaRelayClient
{
    Q_OBJECT

public:
    QStringList calls;

    void queryPenAndTouchCount() override { record("queryPenAndTouchCount"); }
    void queryErasesCount() override { record("queryErasesCount"); }
    void queryHubCount() override { record("queryHubCount"); }
    void getRegisteredDevices() override { record("getRegisteredDevices"); }
    void setPenPrivate(bool isPrivate, int penId) override { record("setPenPrivate", isPrivate, penId); }
    void setTouchPrivate(bool isPrivate) override { record("setTouchPrivate", isPrivate); }
    void setScreenSize(int w, int h) override { record("setScreenSize", w, h); }
    void setWindowPosition(int x, int y, int w, int h) override { record("setWindowPosition", x, y, w, h); }
    void askQuestion(int type, QuestionParameters p) override
    {
        record("askQuestion", type, p.questionId, p.numberOfOptions, p.numberOfResponses, p.dontKnow);
    }
    void stopQuestion() override { record("stopQuestion"); }
    void getAllCapabilities() override { record("getAllCapabilities"); }
    void getBoardCapabilities() override { record("getBoardCapabilities"); }
    void getQuestionCapabilities() override { record("getQuestionCapabilities"); }
    void setCapabilitiesMode(int mode) override { record("setCapabilitiesMode", mode); }
    void sendCapabilities() override { record("sendCapabilities"); }
    void setIntelligence(bool on) override { record("setIntelligence", on); }
    void setFocus(bool on) override { record("setFocus", on); }
    void keepAlive() override { record("keepAlive"); }

    void resetSession() override { record("resetSession"); }
    void changeBacklight(int a, int b) override { record("changeBacklight", a, b); }
    void getState() override { record("getState"); }
    void clearExpressions() override { record("clearExpressions"); }
    void stopRegistrationSession() override { record("stopRegistrationSession"); }
    void startRegistrationSession(int n, int b, int c, const QString &code, int type, int flag, int g) override
    {
        record("startRegistrationSession", n, b, c, code, type, flag, g);
    }
    void startStudentNamingSession(int a, qint8 type, int c, int flag) override
    {
        record("startStudentNamingSession", a, int(type), c, flag);
    }
    void startTeacherNamingSession() override { record("startTeacherNamingSession"); }
    void nameExpression(quint32 uid, const QString &name) override { record("nameExpression", uid, name); }
    void startExpressionNamingSession() override { record("startExpressionNamingSession"); }
    void stopExpressionNamingSession() override { record("stopExpressionNamingSession"); }
    void stopExpressionEndUserNamingSession() override { record("stopExpressionEndUserNamingSession"); }
    void removeVelaDevice(quint32 uid, int type) override { record("removeVelaDevice", uid, type); }
    void setErasePrivate(bool isPrivate) override { record("setErasePrivate", isPrivate); }
    void setNumConnections(int n) override { record("setNumConnections", n); }

    void startEnhancedSession(quint8 start) override { record("startEnhancedSession", int(start)); }
    void sendEnhancedSessionParameters(quint32 s, quint32 uid, int count, int e, bool flag, const QBitArray &bits,
                                       int g) override
    {
        QString b;
        for (int i = 0; i < bits.size(); ++i)
            b += bits.testBit(i) ? QLatin1Char('1') : QLatin1Char('0');
        record("sendEnhancedSessionParameters", s, uid, count, e, flag, b, g);
    }
    void sendEnhancedMultichoiceQuestion(const EnhancedQuestionHeader &h, int a, int b, int c,
                                         const QString &s) override
    {
        record("sendEnhancedMultichoiceQuestion", header(h), a, b, c, s);
    }
    void sendEnhancedYesNoQuestion(const EnhancedQuestionHeader &h, bool f, int n) override
    {
        record("sendEnhancedYesNoQuestion", header(h), f, n);
    }
    void sendEnhancedTrueFalseQuestion(const EnhancedQuestionHeader &h, bool f, int n) override
    {
        record("sendEnhancedTrueFalseQuestion", header(h), f, n);
    }
    void sendEnhancedLikertQuestion(const EnhancedQuestionHeader &h, int a, int b) override
    {
        record("sendEnhancedLikertQuestion", header(h), a, b);
    }
    void sendEnhancedNumericQuestion(const EnhancedQuestionHeader &h, int n, const QString &s) override
    {
        record("sendEnhancedNumericQuestion", header(h), n, s);
    }
    void sendEnhancedTextQuestion(const EnhancedQuestionHeader &h, int n, const QString &s, bool t) override
    {
        record("sendEnhancedTextQuestion", header(h), n, s, t);
    }
    void sendEnhancedSortInOrderQuestion(const EnhancedQuestionHeader &h, int a, int b, int c,
                                         const QString &s) override
    {
        record("sendEnhancedSortInOrderQuestion", header(h), a, b, c, s);
    }
    void sendEnhancedMessage(quint32 s, quint32 uid, int flags, const QString &t) override
    {
        record("sendEnhancedMessage", s, uid, flags, t);
    }
    void sendEnhancedPopup(quint32 s, quint32 uid, bool flag, const QString &t) override
    {
        record("sendEnhancedPopup", s, uid, flag, t);
    }
    void sendNoMoreQuestions(quint32 s, quint32 uid, const QString &t) override
    {
        record("sendNoMoreQuestions", s, uid, t);
    }

private:
    static QString str(bool v) { return v ? QStringLiteral("true") : QStringLiteral("false"); }
    static QString str(int v) { return QString::number(v); }
    static QString str(quint32 v) { return QString::number(v); }
    static QString str(const QString &v) { return QLatin1Char('"') + v + QLatin1Char('"'); }
    struct Verbatim
    {
        QString text;
    };
    static QString str(const Verbatim &v) { return v.text; }
    static Verbatim header(const EnhancedQuestionHeader &h)
    {
        return {QStringLiteral("{%1 %2 %3 %4 %5 %6 %7}")
                    .arg(h.sessionId)
                    .arg(h.uid)
                    .arg(h.questionNumber)
                    .arg(str(h.text), str(h.optionFlags[0]), str(h.optionFlags[1]), str(h.optionFlags[2]))};
    }
    static QString str(const char *raw) { return QString::fromLatin1(raw); }

    template <typename... Args>
    void record(const char *name, const Args &...args)
    {
        QStringList parts{QString::fromLatin1(name)};
        (parts.append(str(args)), ...);
        calls.append(parts.join(QLatin1Char(' ')));
    }
};
