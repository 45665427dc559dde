#pragma once

#include <velasystem/Export.h>

#include <QMetaType>
#include <QString>

#include <memory>

namespace Velasystem {

class DevicePrivate;

// A learner device known to a hub. Device objects live as long as the
// library: a removed device is only taken off its hub's list, so pointers
// handed out by Hub::getDeviceList stay valid. Safe to read from any thread.
class VELASYSTEM_EXPORT Device
{
public:
    enum SubType {
        Slate = 3,
        Velavote = 4,
        Velaexpression = 5,
    };

    ~Device();
    Device(const Device &) = delete;
    Device &operator=(const Device &) = delete;

    quint32 uid() const;
    SubType subType() const;
    QString name() const;

private:
    friend class DevicePrivate;
    explicit Device(std::unique_ptr<DevicePrivate> d);
    std::unique_ptr<DevicePrivate> d;
};

} // namespace Velasystem

Q_DECLARE_METATYPE(Velasystem::Device::SubType)
