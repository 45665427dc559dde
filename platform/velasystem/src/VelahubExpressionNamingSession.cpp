#include "DevicePrivate.h"
#include "HubPrivate.h"
#include "SessionState.h"

namespace Velasystem {

VelahubExpressionNamingSession::VelahubExpressionNamingSession(SessionState *state)
    : d(state)
{}

VelahubExpressionNamingSession::~VelahubExpressionNamingSession() = default;

bool VelahubExpressionNamingSession::startExpressionNamingSession()
{
    JournaledCall call("naming", "startExpressionNamingSession");
    d->target(call);
    if (!call.proceed())
        return false;
    d->active = true;
    return true;
}

bool VelahubExpressionNamingSession::stopExpressionNamingSession()
{
    JournaledCall call("naming", "stopExpressionNamingSession");
    d->target(call);
    if (!call.proceed())
        return false;
    d->active = false;
    return true;
}

bool VelahubExpressionNamingSession::nameExpression(quint32 uid, const QString &name)
{
    JournaledCall call("naming", "nameExpression");
    d->target(call);
    call << uid << name;
    if (!call.proceed())
        return false;
    Device *device = HubPrivate::get(d->hub)->device(uid);
    if (!device)
        return false;
    DevicePrivate::get(device)->name = name;
    return true;
}

} // namespace Velasystem
