#pragma once

#include "HandOverQueue.h"
#include "IVelaRelayClient.h"

#include <velasystem/Hub.h>

#include <QHash>
#include <QJsonObject>
#include <QMetaMethod>

#include <atomic>

class HubGroup;

// One simple question at a time on the voting hub: one answer is taken from
// each registered expression device, and the question ends when all have
// answered or the client stops it. Results leave as the relay client's
// signals, so the protocol side sees one hub side.
//
// The hub delivers answers on the library's thread (direct connections);
// they are handed to this object's thread before they touch any state.
class SimpleQuestions : public QObject
{
    Q_OBJECT

public:
    SimpleQuestions(IVelaRelayClient &out, const HubGroup &hubs);
    ~SimpleQuestions() override;

    // Listens to the hub's answers and learns its devices.
    void followHub(Velasystem::Hub *hub);

    void ask(Velasystem::Hub *votingHub, int questionType, const QuestionParameters &p);
    void stop(Velasystem::Hub *votingHub);
    void reportDevices();
    // The hub dropped its own session, so another question may start; the
    // answers still expected are taken as before.
    void hubSessionReset() { m_questionInProgress = false; }
    void hubGone(Velasystem::Hub *hub);
    // The question that runs: its type, number and hub, and who has answered.
    QJsonObject status() const;

private slots:
    void stringResponseReceived(Velasystem::Hub *hub, quint32 uid, int questionId, const QString &response);
    void yesNoReceived(Velasystem::Hub *hub, quint32 uid, int questionId, Velasystem::Hub::YesNoResponse response);
    void trueFalseReceived(Velasystem::Hub *hub, quint32 uid, int questionId,
                           Velasystem::Hub::TrueFalseResponse response);
    void likertScaleReceived(Velasystem::Hub *hub, quint32 uid, int questionId, int value);
    void takeAnswer();

private:
    struct Answer
    {
        quint64 generation = 0;
        quint32 uid = 0;
        int questionId = 0;
        QString response;
    };

    void postAnswer(quint32 uid, int questionId, const QString &response);
    void acceptAnswer(quint32 uid, int questionId, const QString &response);
    void endQuestion();
    void addDevices(Velasystem::Hub *hub);

    IVelaRelayClient &m_out;
    const HubGroup &m_hubs;

    QHash<quint32, QString> m_registeredDevices;
    QHash<quint32, QString> m_pendingResponders;
    bool m_questionInProgress = false;
    bool m_collectingResponses = false;
    Velasystem::Hub *m_questionHub = nullptr;
    int m_questionType = 0;
    int m_questionId = 0;
    int m_askedDevices = 0;
    // Changes whenever a question starts or ends; read on the library's
    // thread as an answer arrives.
    std::atomic<quint64> m_questionGeneration{0};
    HandOverQueue<Answer> m_answers;
    QMetaMethod m_takeAnswer;
};
