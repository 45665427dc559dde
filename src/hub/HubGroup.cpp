#include "HubGroup.h"

#include <velasystem/Hub.h>
#include <velasystem/VelaSystem.h>

#include <algorithm>
#include <array>

using Velasystem::Hub;

HubGroup::HubGroup(Velasystem::VelaSystem *system)
    : m_system(system)
{}

QList<Hub *> HubGroup::hubs() const
{
    QList<Hub *> list;
    if (!m_system->getHubList(list))
        list.clear();
    return list;
}

namespace {

template <typename Query>
int largest(const QList<Hub *> &hubs, Query query)
{
    int value = 0;
    for (const Hub *hub : hubs)
        value = std::max(value, (hub->*query)());
    return value;
}

} // namespace

int HubGroup::maxPens() const
{
    return largest(hubs(), &Hub::getNumPensSupported);
}
int HubGroup::maxTouches() const
{
    return largest(hubs(), &Hub::getNumTouchesSupported);
}
int HubGroup::maxErasers() const
{
    return largest(hubs(), &Hub::getNumErasesSupported);
}

void HubGroup::setPenMode(bool isPrivate, int penId)
{
    for (Hub *hub : hubs()) {
        if (hub->isVirtualHub() || hub->getNumPensSupported() < penId)
            continue;
        hub->setPenHardwareMode(static_cast<quint8>(penId), PenHardwareMode);
        hub->setPenReportMode(static_cast<quint8>(penId), isPrivate ? PenReportPrivate : PenReportNative);
    }
}

void HubGroup::setAllPensMode(bool isPrivate)
{
    for (int penId = 1; penId <= 4; ++penId)
        setPenMode(isPrivate, penId);
}

void HubGroup::setTouchMode(bool isPrivate)
{
    for (Hub *hub : hubs()) {
        if (!hub->isVirtualHub() && hub->isTouchEnabled() && hub->getNumTouchesSupported() > 0)
            hub->setTouchReportMode(isPrivate ? 1 : 0);
    }
}

void HubGroup::setEraseMode(bool isPrivate)
{
    for (Hub *hub : hubs()) {
        if (!hub->isVirtualHub() && hub->isEraseEnabled() && hub->getNumErasesSupported() > 0)
            hub->setEraseReportMode(isPrivate ? 1 : 0);
    }
}

int HubGroup::capabilityValue(int k)
{
    static constexpr std::array<int, 12> values = {1, 6, 1, 6, 1, 6, 1, 6, 4, 9, 1, 1};
    return k >= 0 && k < int(values.size()) ? values[size_t(k)] : 0;
}
