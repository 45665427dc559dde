#include "Model.h"

#include "HubPrivate.h"
#include "SessionState.h"

#include <velasystem/Hub.h>

#include <algorithm>

namespace Velasystem {

Model::Model() = default;
Model::~Model() = default;

Hub *Model::hubAt(int index) const
{
    for (Hub *hub : m_hubs) {
        if (HubPrivate::get(hub)->index == index)
            return hub;
    }
    return nullptr;
}

void Model::connectHub(Hub *hub)
{
    const int index = HubPrivate::get(hub)->index;
    const auto at =
        std::find_if(m_hubs.begin(), m_hubs.end(), [&](Hub *other) { return HubPrivate::get(other)->index > index; });
    m_hubs.insert(at, hub);
}

void Model::disconnectHub(Hub *hub)
{
    m_hubs.removeOne(hub);
    HubPrivate *d = HubPrivate::get(hub);
    d->gone = true;
    d->endQuestion();
    d->endUserNaming = false;
    SessionState::get(d->enhanced)->open = false;
    if (registration && SessionState::get(registration)->hub == hub)
        closeRegistration();
    if (naming && SessionState::get(naming)->hub == hub)
        closeNaming();
}

void Model::closeRegistration()
{
    if (registration)
        SessionState::get(registration)->open = false;
    registration = nullptr;
}

void Model::closeNaming()
{
    if (naming)
        SessionState::get(naming)->open = false;
    naming = nullptr;
}

void Model::keep(QObject *object)
{
    m_objects.emplace_back(object);
}

void Model::keep(Device *device)
{
    m_devices.emplace_back(device);
}

} // namespace Velasystem
