#include "DevicePrivate.h"
#include "Model.h"

namespace Velasystem {

Device *DevicePrivate::create(quint32 uid, Device::SubType subType, const QString &name)
{
    auto d = std::make_unique<DevicePrivate>();
    d->uid = uid;
    d->subType = subType;
    d->name = name;
    return new Device(std::move(d));
}

Device::Device(std::unique_ptr<DevicePrivate> state)
    : d(std::move(state))
{}

Device::~Device() = default;

quint32 Device::uid() const
{
    return d->uid;
}

Device::SubType Device::subType() const
{
    return d->subType;
}

QString Device::name() const
{
    std::lock_guard<std::mutex> lock(Model::get().mutex);
    return d->name;
}

} // namespace Velasystem
