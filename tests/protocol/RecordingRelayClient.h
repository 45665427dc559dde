#pragma once

#include "IVelaRelayClient.h"

#include <QStringList>

// Records every operation call as one line of text, its name and then its
// arguments as the operation received them, so tests compare whole calls.
class RecordingRelayClient : public IVelaRelayClient
{
    Q_OBJECT

    using H = const EnhancedQuestionHeader &;
    using S = const QString &;

public:
    QStringList calls;

    void queryPenAndTouchCount() override { record(__func__); }
    void queryErasesCount() override { record(__func__); }
    void queryHubCount() override { record(__func__); }
    void getRegisteredDevices() override { record(__func__); }
    void setPenPrivate(bool isPrivate, int penId) override { record(__func__, isPrivate, penId); }
    void setTouchPrivate(bool isPrivate) override { record(__func__, isPrivate); }
    void setScreenSize(int w, int h) override { record(__func__, w, h); }
    void setWindowPosition(int x, int y, int w, int h) override { record(__func__, x, y, w, h); }
    void askQuestion(int type, QuestionParameters p) override
    {
        record(__func__, type, p.questionId, p.numberOfOptions, p.numberOfResponses, p.dontKnow);
    }
    void stopQuestion() override { record(__func__); }
    void getAllCapabilities() override { record(__func__); }
    void getBoardCapabilities() override { record(__func__); }
    void getQuestionCapabilities() override { record(__func__); }
    void setCapabilitiesMode(int mode) override { record(__func__, mode); }
    void sendCapabilities() override { record(__func__); }
    void setIntelligence(bool on) override { record(__func__, on); }
    void setFocus(bool on) override { record(__func__, on); }
    void keepAlive() override { record(__func__); }

    void resetSession() override { record(__func__); }
    void changeBacklight(int a, int b) override { record(__func__, a, b); }
    void getState() override { record(__func__); }
    void clearExpressions() override { record(__func__); }
    void stopRegistrationSession() override { record(__func__); }
    void startRegistrationSession(int n, int b, int c, S code, int t, int f, int g) override
    {
        record(__func__, n, b, c, code, t, f, g);
    }
    void startStudentNamingSession(int a, qint8 t, int c, int f) override { record(__func__, a, int(t), c, f); }
    void startTeacherNamingSession() override { record(__func__); }
    void nameExpression(quint32 uid, S name) override { record(__func__, uid, name); }
    void startExpressionNamingSession() override { record(__func__); }
    void stopExpressionNamingSession() override { record(__func__); }
    void stopExpressionEndUserNamingSession() override { record(__func__); }
    void removeVelaDevice(quint32 uid, int type) override { record(__func__, uid, type); }
    void setErasePrivate(bool isPrivate) override { record(__func__, isPrivate); }
    void setNumConnections(int n) override { record(__func__, n); }

    void startEnhancedSession(quint8 start) override { record(__func__, int(start)); }
    void sendEnhancedSessionParameters(quint32 s, quint32 uid, int n, int e, bool f, const QBitArray &bits,
                                       int g) override
    {
        QString b;
        for (int i = 0; i < bits.size(); ++i)
            b += bits.testBit(i) ? QLatin1Char('1') : QLatin1Char('0');
        record(__func__, s, uid, n, e, f, b, g);
    }
    void sendEnhancedMultichoiceQuestion(H h, int a, int b, int c, S s) override { record(__func__, h, a, b, c, s); }
    void sendEnhancedYesNoQuestion(H h, bool f, int n) override { record(__func__, h, f, n); }
    void sendEnhancedTrueFalseQuestion(H h, bool f, int n) override { record(__func__, h, f, n); }
    void sendEnhancedLikertQuestion(H h, int a, int b) override { record(__func__, h, a, b); }
    void sendEnhancedNumericQuestion(H h, int n, S s) override { record(__func__, h, n, s); }
    void sendEnhancedTextQuestion(H h, int n, S s, bool t) override { record(__func__, h, n, s, t); }
    void sendEnhancedSortInOrderQuestion(H h, int a, int b, int c, S s) override { record(__func__, h, a, b, c, s); }
    void sendEnhancedMessage(quint32 s, quint32 uid, int f, S t) override { record(__func__, s, uid, f, t); }
    void sendEnhancedPopup(quint32 s, quint32 uid, bool f, S t) override { record(__func__, s, uid, f, t); }
    void sendNoMoreQuestions(quint32 s, quint32 uid, S t) override { record(__func__, s, uid, t); }

private:
    static QString str(bool v) { return v ? QStringLiteral("true") : QStringLiteral("false"); }
    static QString str(int v) { return QString::number(v); }
    static QString str(quint32 v) { return QString::number(v); }
    static QString str(S v) { return QLatin1Char('"') + v + QLatin1Char('"'); }
    static QString str(H h)
    {
        return QStringLiteral("{%1 %2 %3 %4 %5 %6 %7}")
            .arg(str(h.sessionId), str(h.uid), str(h.questionNumber), str(h.text), str(h.optionFlags[0]),
                 str(h.optionFlags[1]), str(h.optionFlags[2]));
    }

    template <typename... Args>
    void record(const char *name, const Args &...args)
    {
        QStringList parts{QString::fromLatin1(name)};
        (parts.append(str(args)), ...);
        calls.append(parts.join(QLatin1Char(' ')));
    }
};
