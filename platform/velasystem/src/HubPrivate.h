#pragma once

#include "AutoAnswer.h"
#include "HubSettings.h"

#include <velasystem/Device.h>
#include <velasystem/Hub.h>

#include <QList>

namespace Velasystem {

class EnhancedQuestionSession;
class JournaledCall;
class Model;

// A hub's state; every field is guarded by the model lock.
class HubPrivate
{
public:
    // A new hub with its enhanced session, owned by the model.
    static Hub *create(Model &model, int index, const HubSettings &settings);
    static HubPrivate *get(const Hub *hub) { return hub->d.get(); }

    int index = 0;
    HubSettings settings;
    bool gone = false;
    QList<Device *> devices;
    EnhancedQuestionSession *enhanced = nullptr;
    bool questionRunning = false;
    SimpleQuestion question;
    // Changes whenever a question starts or ends, so that answers planned
    // for an earlier question are not given.
    quint64 questionGeneration = 0;
    bool endUserNaming = false;

    Device *device(quint32 uid) const;
    // Takes a listed device off the hub; subType -1 matches any.
    bool unlist(quint32 uid, int subType);
    void endQuestion();
    // Starts a simple question for a call that may proceed.
    bool beginQuestion(Hub *hub, JournaledCall &call, const SimpleQuestion &question);
};

} // namespace Velasystem
