#include "DevicePrivate.h"
#include "HubPrivate.h"
#include "Model.h"
#include "SessionState.h"

namespace Velasystem {

namespace {
bool removeDevice(const SessionState *s, const char *method, quint32 uid, Device::SubType subType)
{
    JournaledCall call("registration", method);
    s->target(call);
    call << uid;
    return call.proceed() && HubPrivate::get(s->hub)->unlist(uid, subType);
}
} // namespace

VelahubRegistrationSession::VelahubRegistrationSession(SessionState *state)
    : d(state)
{}

VelahubRegistrationSession::~VelahubRegistrationSession() = default;

bool VelahubRegistrationSession::startExpressionRegistrationSession(quint16 count, quint8 channel, quint8 group,
                                                                    const RegistrationCode &code)
{
    JournaledCall call("registration", "startExpressionRegistrationSession");
    d->target(call);
    call << count << channel << group << code.text();
    if (!call.proceed())
        return false;
    d->active = true;
    return true;
}

bool VelahubRegistrationSession::startNamingExpressionRegistrationSession(quint16 count, quint8 channel, quint8 group,
                                                                          const RegistrationCode &code,
                                                                          int characterType, bool confirm,
                                                                          quint8 maxLength)
{
    JournaledCall call("registration", "startNamingExpressionRegistrationSession");
    d->target(call);
    call << count << channel << group << code.text() << characterType << confirm << maxLength;
    if (!call.proceed())
        return false;
    d->active = true;
    return true;
}

bool VelahubRegistrationSession::stopExpressionRegistrationSession()
{
    JournaledCall call("registration", "stopExpressionRegistrationSession");
    d->target(call);
    if (!call.proceed())
        return false;
    d->active = false;
    return true;
}

bool VelahubRegistrationSession::clearHubOfExpressions()
{
    JournaledCall call("registration", "clearHubOfExpressions");
    d->target(call);
    if (!call.proceed())
        return false;
    QList<Device *> &devices = HubPrivate::get(d->hub)->devices;
    devices.erase(
        std::remove_if(devices.begin(), devices.end(),
                       [](Device *device) { return DevicePrivate::get(device)->subType == Device::Velaexpression; }),
        devices.end());
    return true;
}

bool VelahubRegistrationSession::removeVelaexpression(quint32 uid)
{
    return removeDevice(d.get(), "removeVelaexpression", uid, Device::Velaexpression);
}

bool VelahubRegistrationSession::removeVelavote(quint32 uid)
{
    return removeDevice(d.get(), "removeVelavote", uid, Device::Velavote);
}

bool VelahubRegistrationSession::removeSlate(quint32 uid)
{
    return removeDevice(d.get(), "removeSlate", uid, Device::Slate);
}

} // namespace Velasystem
