#include "SessionState.h"

#include "HubPrivate.h"

namespace Velasystem {

SessionState::SessionState(Hub *owner, bool isOpen)
    : hub(owner)
    , open(isOpen)
{}

void SessionState::target(JournaledCall &call, bool opening) const
{
    const HubPrivate *h = HubPrivate::get(hub);
    JournaledCall::Marker marker = JournaledCall::Marker::None;
    if (h->gone)
        marker = JournaledCall::Marker::Gone;
    else if (!open && !opening)
        marker = JournaledCall::Marker::Closed;
    call.target(h->index, marker);
}

} // namespace Velasystem
