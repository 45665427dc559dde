#include "HubPrivate.h"
#include "JournaledCall.h"
#include "Library.h"
#include "MathmlTranslator.h"
#include "SessionState.h"

#include <velasystem/VelaSystem.h>

namespace Velasystem {

namespace {
// Opens the one session of its kind for a hub, or returns the one that is
// open for it; null when the hub is unknown or another hub's session is open.
template <class Session>
Session *openSession(JournaledCall &call, int hubIndex, Session *&open)
{
    call.target(hubIndex);
    if (!call.proceed())
        return nullptr;
    Hub *hub = call.model().hubAt(hubIndex);
    if (!hub)
        return nullptr;
    if (open)
        return SessionState::get(open)->hub == hub ? open : nullptr;
    open = SessionState::create<Session>(hub, true);
    call.model().keep(open);
    return open;
}

template <class Session>
bool isOpenFor(Session *open, int hubIndex)
{
    return open && HubPrivate::get(SessionState::get(open)->hub)->index == hubIndex;
}
} // namespace

VelaSystem::VelaSystem() = default;
VelaSystem::~VelaSystem() = default;

VelaSystem *VelaSystem::instance()
{
    return &Library::get().system();
}

bool VelaSystem::initialise()
{
    return Library::get().initialise();
}

bool VelaSystem::getHubList(QList<Hub *> &hubs)
{
    Model &model = Library::get().model();
    std::lock_guard<std::mutex> lock(model.mutex);
    if (model.faults.take("system", "getHubList")) {
        hubs.clear();
        return false;
    }
    hubs = model.hubs();
    return true;
}

VelahubRegistrationSession *VelaSystem::startVelahubRegistrationSession(int hubIndex)
{
    JournaledCall call("system", "startVelahubRegistrationSession");
    return openSession(call, hubIndex, call.model().registration);
}

void VelaSystem::stopVelahubRegistrationSession(int hubIndex)
{
    JournaledCall call("system", "stopVelahubRegistrationSession");
    call.target(hubIndex);
    if (call.proceed() && isOpenFor(call.model().registration, hubIndex))
        call.model().closeRegistration();
}

VelahubExpressionNamingSession *VelaSystem::startVelahubExpressionNamingSession(int hubIndex)
{
    JournaledCall call("system", "startVelahubExpressionNamingSession");
    return openSession(call, hubIndex, call.model().naming);
}

void VelaSystem::stopVelahubExpressionNamingSession(int hubIndex)
{
    JournaledCall call("system", "stopVelahubExpressionNamingSession");
    call.target(hubIndex);
    if (call.proceed() && isOpenFor(call.model().naming, hubIndex))
        call.model().closeNaming();
}

bool VelaSystem::translateTextMathmlToLatex(const QString &input, QString &output, const QString &startTag,
                                            const QString &endTag, bool latex, bool delimit)
{
    return MathmlTranslator(latex).translateText(input, output, delimit ? startTag : QString(),
                                                 delimit ? endTag : QString());
}

bool VelaSystem::translateTextMathmlToLatex(const QString &input, QString &output, bool latex, bool delimit)
{
    return translateTextMathmlToLatex(input, output, QString(), QString(), latex, delimit);
}

} // namespace Velasystem
