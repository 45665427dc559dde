#pragma once

#include <velasystem/Device.h>
#include <velasystem/Export.h>

#include <QList>
#include <QMetaType>
#include <QObject>
#include <QString>

#include <memory>

namespace Velasystem {

class EnhancedQuestionSession;
class HubPrivate;

// One hub: a board with pens, touch and erasers, or a voting hub with learner
// devices, or both. Hub objects live as long as the library. A hub that has
// been disconnected stays readable; every action on it does nothing and
// returns false.
//
// Queries are safe from any thread. Signals come from the library's own
// thread.
class VELASYSTEM_EXPORT Hub : public QObject
{
    Q_OBJECT

public:
    // What a pen sample reports: a move, the tip touching down, the tip
    // lifting, or the pen leaving the board's range.
    enum PenEvent {
        PenMove = 0,
        PenDown = 1,
        PenUp = 2,
        PenOutOfRange = 3,
    };
    Q_ENUM(PenEvent)

    enum YesNoResponse {
        YesNoNo = 0,
        YesNoYes = 1,
        YesNoDontKnow = 2,
    };
    Q_ENUM(YesNoResponse)

    enum TrueFalseResponse {
        TrueFalseFalse = 0,
        TrueFalseTrue = 1,
        TrueFalseDontKnow = 2,
    };
    Q_ENUM(TrueFalseResponse)

    struct TouchInfo
    {
        quint8 id = 0;
        int x = 0;
        int y = 0;
        int size = 0;
        bool pressed = false;
    };

    struct EraserInfo
    {
        quint8 id = 0;
        int x = 0;
        int y = 0;
        int width = 0;
        int height = 0;
        bool pressed = false;
    };

    // Accepted by the session starts and never called: answers arrive only
    // through the response signals.
    using ResponseCallback = void (*)(Velasystem::Hub *hub, quint32 uid, int questionId, const QString &response,
                                      void *userData);

    ~Hub() override;

    int hubIndex() const;
    int getHubType() const;
    int getHubState() const;
    int getNumPensSupported() const;
    int getNumTouchesSupported() const;
    int getNumErasesSupported() const;
    bool isTouchEnabled() const;
    bool isEraseEnabled() const;
    bool isVirtualHub() const;
    // Devices of one sub type, in the order they joined the hub.
    bool getDeviceList(Velasystem::Device::SubType subType, QList<Velasystem::Device *> &devices) const;
    // Null when the hub has no enhanced question session.
    EnhancedQuestionSession *enhancedQuestionSession() const;

    // penId 1 to getNumPensSupported(); report mode 6000 native, 6001 private.
    bool setPenHardwareMode(quint8 penId, int mode);
    bool setPenReportMode(quint8 penId, int mode);
    // 0 native, 1 private.
    bool setTouchReportMode(int mode);
    bool setEraseReportMode(int mode);
    bool setBacklight(quint8 level, quint8 colour);
    // Ends the running question session and the learner naming session.
    bool resetHubSession();

    // One simple question at a time; a start replaces a running question.
    bool startMultichoiceSession(int questionId, int numberOfOptions, int numberOfResponses, int displayOption,
                                 int timeUnit, int duration, ResponseCallback callback, void *userData);
    bool startSortInOrderSession(int questionId, int numberOfOptions, int numberOfResponses, int displayOption,
                                 int timeUnit, int duration, ResponseCallback callback, void *userData);
    bool startLikertSession(int questionId, int scale, int timeUnit, int duration, ResponseCallback callback,
                            void *userData);
    bool startYesNoSession(int questionId, bool dontKnow, int timeUnit, int duration, ResponseCallback callback,
                           void *userData);
    bool startTrueFalseSession(int questionId, bool dontKnow, int timeUnit, int duration, ResponseCallback callback,
                               void *userData);
    bool startNumericSession(int questionId, const QString &mask, int maxCharacters, int timeUnit, int duration,
                             ResponseCallback callback, void *userData);
    bool startTextSession(int questionId, const QString &mask, int maxCharacters, int timeUnit, int duration,
                          bool allowMath, ResponseCallback callback, void *userData);
    bool stopSession();

    // Learners type their own names on their devices.
    bool startExpressionEnduserNamingSession(int questionId, qint8 characterType, int maxLength, bool confirm,
                                             ResponseCallback callback, void *userData);
    bool stopExpressionEndUserNamingSession();

signals:
    void penEventReceived(Velasystem::Hub *hub, Velasystem::Hub::PenEvent event, quint8 id, int x, int y, bool tip,
                          bool barrel);
    void touchEventReceived(Velasystem::Hub *hub, const QList<Velasystem::Hub::TouchInfo> &points);
    void eraserEventReceived(Velasystem::Hub *hub, const QList<Velasystem::Hub::EraserInfo> &erasers);

    void multichoiceSessionResponse(Velasystem::Hub *hub, quint32 uid, int questionId, const QString &response);
    void sortInOrderSessionResponse(Velasystem::Hub *hub, quint32 uid, int questionId, const QString &response);
    void numericSessionResponse(Velasystem::Hub *hub, quint32 uid, int questionId, const QString &response);
    void textSessionResponse(Velasystem::Hub *hub, quint32 uid, int questionId, const QString &response, bool isValid);
    void yesNoSessionResponse(Velasystem::Hub *hub, quint32 uid, int questionId,
                              Velasystem::Hub::YesNoResponse response);
    void trueFalseSessionResponse(Velasystem::Hub *hub, quint32 uid, int questionId,
                                  Velasystem::Hub::TrueFalseResponse response);
    void likertSessionResponse(Velasystem::Hub *hub, quint32 uid, int questionId, int value);

    void endUserNamingSessionResponse(Velasystem::Hub *hub, quint32 uid, int questionId, const QString &response);

private:
    friend class HubPrivate;
    explicit Hub(std::unique_ptr<HubPrivate> d);
    std::unique_ptr<HubPrivate> d;
};

} // namespace Velasystem

Q_DECLARE_METATYPE(Velasystem::Hub *)
Q_DECLARE_METATYPE(Velasystem::Hub::TouchInfo)
Q_DECLARE_METATYPE(Velasystem::Hub::EraserInfo)
