#pragma once

#include "IVelaRelayClient.h"
#include "RelayRecords.h"

#include <QList>
#include <QObject>
#include <QString>

class QTimer;

// The protocol object: carries out the clients' commands on the hub side, turns
// every hub-side event into one outgoing message, and sends a keep-alive to the
// clients every interval whether or not any is connected.
class VelaRelayListener : public QObject
{
    Q_OBJECT

public:
    using Clock = qint64 (*)();
    static constexpr int DefaultKeepAliveIntervalMs = 5000;

    // Takes ownership of client.
    explicit VelaRelayListener(IVelaRelayClient *client, QObject *parent = nullptr,
                               int keepAliveIntervalMs = DefaultKeepAliveIntervalMs, Clock clock = nullptr);
    ~VelaRelayListener() override;

signals:
    // Emitted with the unchanged packet after every packet carried out as a
    // command.
    void relayMessageReceived(QString packet);
    // Every outgoing message, for the relay server to send to all clients.
    void messageReady(const QString &message);

public slots:
    void onRelayMessageReceived(const QString &packet);
    void onSetNumConnections(int numConnections);

private slots:
    void onKeepAlive();
    void onPenAndTouchCount(int pens, int touches);
    void onErasesCount(int erases);
    void onHubConnected();
    void onBoardDisconnected(int pens, int touches);
    void onHubCount(int hubs);
    void onPen(const PenData &data);
    void onTouch(const QList<TouchData> &touchData);
    void onEraser(const QList<EraserData> &eraserData);
    void onQuestionSession(bool inProgress);
    void onQuestionResponse(uint uid, int id, const QString &response, const QString &name);
    void onQuestionDevices(const QList<QuestionDevice> &devices);
    void onAllCapabilities(int pens, int touches, const QuestionCapabilities &questionCaps);
    void onBoardCapabilities(int pens, int touches);
    void onQuestionCapabilities(const QuestionCapabilities &questionCaps);
    void onQueryCapabilities();
    void onError(VelaRelayErrorType type);
    void onInformation(VelaRelayInformationType type);
    void onGetSessionParameters(uint sessionId, uint uid, int locale);
    void onGetQuestion(uint sessionId, uint uid, int questionNumber);
    void onMultichoiceAnswer(uint sessionId, uint uid, int questionNumber, const QString &answer);
    void onYesNoAnswer(uint sessionId, uint uid, int questionNumber, int answer);
    void onTrueFalseAnswer(uint sessionId, uint uid, int questionNumber, int answer);
    void onLikertAnswer(uint sessionId, uint uid, int questionNumber, int likertValue);
    void onNumericAnswer(uint sessionId, uint uid, int questionNumber, const QString &answer);
    void onTextAnswer(uint sessionId, uint uid, int questionNumber, const QString &answer, bool isValid);
    void onSortInOrderAnswer(uint sessionId, uint uid, int questionNumber, const QString &answer);
    void onDeviceShutDown(uint sessionId, uint uid);
    void onHubState(uint state);
    void onEnhancedSessionID(uint sessionId);
    void onResetHubSessionResult(uint result);
    void onRegistrationComplete(uint value);
    void onNamingSessionStatus(uint status);
    void onExpressionName(uint uid, const QString &name);
    void onExpressionDeviceRegistered(const QString &text, uint uid, uint type, uint count);
    void onRemoveVelaDevice(uint uid, uchar deviceType, bool removed);

private:
    qint64 now() const { return m_clock(); }
    void send(const QString &message) { emit messageReady(message); }

    // Answers that several hubs might contribute to pass through the
    // accumulator: merged, sent, then cleared.
    void mergeCapabilities(const QuestionCapabilities &incoming);
    void clearAccumulator();

    IVelaRelayClient *m_client;
    Clock m_clock;
    QTimer *m_keepAliveTimer;

    int m_hubTotal = 0;
    QList<QuestionDevice> m_deviceList;
    QuestionCapabilities m_capabilities;
    int m_penTotal = 0;
    int m_touchTotal = 0;
};
