#pragma once

#include "JournaledCall.h"

#include <velasystem/EnhancedQuestionSession.h>
#include <velasystem/VelahubExpressionNamingSession.h>
#include <velasystem/VelahubRegistrationSession.h>

namespace Velasystem {

class Hub;

// The state shared by the three session kinds; guarded by the model lock.
// A factory session is open until its stop; an enhanced session is open
// while it runs. active: registering or naming has been started.
class SessionState
{
public:
    SessionState(Hub *owner, bool isOpen);

    template <class Session>
    static Session *create(Hub *owner, bool isOpen)
    {
        return new Session(new SessionState(owner, isOpen));
    }
    static SessionState *get(const EnhancedQuestionSession *s) { return s->d.get(); }
    static SessionState *get(const VelahubRegistrationSession *s) { return s->d.get(); }
    static SessionState *get(const VelahubExpressionNamingSession *s) { return s->d.get(); }

    Hub *hub;
    bool open;
    bool active = false;

    // Names the hub and the gone or closed state in the call's journal line;
    // a call that opens the session is never refused as closed.
    void target(JournaledCall &call, bool opening = false) const;
};

} // namespace Velasystem
