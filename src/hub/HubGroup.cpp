#include "HubGroup.h"

#include <velasystem/Device.h>
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
    m_penModes[penId] = isPrivate;
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
    m_touchPrivate = isPrivate;
    for (Hub *hub : hubs()) {
        if (!hub->isVirtualHub() && hub->isTouchEnabled() && hub->getNumTouchesSupported() > 0)
            hub->setTouchReportMode(isPrivate ? 1 : 0);
    }
}

void HubGroup::setEraseMode(bool isPrivate)
{
    m_erasePrivate = isPrivate;
    for (Hub *hub : hubs()) {
        if (!hub->isVirtualHub() && hub->isEraseEnabled() && hub->getNumErasesSupported() > 0)
            hub->setEraseReportMode(isPrivate ? 1 : 0);
    }
}

namespace {

QLatin1String modeName(bool isPrivate)
{
    return isPrivate ? QLatin1String("private") : QLatin1String("native");
}

QLatin1String kindOf(const Hub *hub)
{
    if (hub->getHubType() == HubGroup::VotingHubType)
        return QLatin1String("voting");
    return hub->getNumPensSupported() != 0 || hub->isTouchEnabled() ? QLatin1String("board") : QLatin1String("other");
}

QJsonArray devicesOf(const Hub *hub)
{
    QJsonArray devices;
    for (const auto type :
         {Velasystem::Device::Slate, Velasystem::Device::Velavote, Velasystem::Device::Velaexpression}) {
        QList<Velasystem::Device *> list;
        if (!hub->getDeviceList(type, list))
            continue;
        for (const Velasystem::Device *device : qAsConst(list))
            devices.append(QJsonObject{{"uid", double(device->uid())}, {"type", int(type)}, {"name", device->name()}});
    }
    return devices;
}

} // namespace

QJsonArray HubGroup::status(const Hub *votingHub) const
{
    QJsonArray list;
    for (const Hub *hub : hubs()) {
        list.append(QJsonObject{
            {"index", hub->hubIndex()},
            {"type", hub->getHubType()},
            {"kind", kindOf(hub)},
            {"virtual", hub->isVirtualHub()},
            {"pens", hub->getNumPensSupported()},
            {"touches", hub->getNumTouchesSupported()},
            {"erasers", hub->getNumErasesSupported()},
            {"state", hub->getHubState()},
            {"voting", hub == votingHub},
            {"devices", devicesOf(hub)},
        });
    }
    return list;
}

QJsonObject HubGroup::boardModes() const
{
    QJsonObject pens;
    for (auto it = m_penModes.constBegin(); it != m_penModes.constEnd(); ++it)
        pens.insert(QString::number(it.key()), modeName(it.value()));
    return QJsonObject{{"pens", pens}, {"touch", modeName(m_touchPrivate)}, {"eraser", modeName(m_erasePrivate)}};
}

int HubGroup::capabilityValue(int k)
{
    static constexpr std::array<int, 12> values = {1, 6, 1, 6, 1, 6, 1, 6, 4, 9, 1, 1};
    return k >= 0 && k < int(values.size()) ? values[size_t(k)] : 0;
}
