#pragma once

#include <velasystem/Device.h>

namespace Velasystem {

// A device's state; the name is guarded by the model lock.
class DevicePrivate
{
public:
    static Device *create(quint32 uid, Device::SubType subType, const QString &name);
    static DevicePrivate *get(const Device *device) { return device->d.get(); }

    quint32 uid = 0;
    Device::SubType subType = Device::Velaexpression;
    QString name;
};

} // namespace Velasystem
