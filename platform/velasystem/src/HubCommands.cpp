#include "Commands.h"

#include "DevicePrivate.h"
#include "Escape.h"
#include "HubPrivate.h"
#include "Model.h"
#include "SessionState.h"

#include <velasystem/VelaSystem.h>

#include <QSet>

namespace Velasystem {

namespace {
// Reads key=value words from argument `first` on; keys not given are left.
bool readSettings(Arguments &args, int first, HubSettings *settings, QSet<QString> *given)
{
    for (int i = first; i < args.count(); ++i) {
        QString key;
        QString problem;
        if (!settings->apply(args.word(i), &key, &problem)) {
            args.fail(problem);
            return false;
        }
        given->insert(key);
    }
    return true;
}

} // namespace

// With the model locked by the caller: the connected hub, or null with the
// reason (a bad argument read earlier, or no such hub) in the arguments.
Hub *lockedHub(CommandContext &c, int index)
{
    Hub *hub = c.args.ok() ? c.model.hubAt(index) : nullptr;
    if (c.args.ok() && !hub)
        c.args.fail(QStringLiteral("no connected hub %1").arg(index));
    return hub;
}

Hub *connectedHub(CommandContext &c, int index)
{
    std::lock_guard<std::mutex> lock(c.model.mutex);
    return lockedHub(c, index);
}

Hub *hubWithDevice(CommandContext &c, int index, quint32 uid)
{
    std::lock_guard<std::mutex> lock(c.model.mutex);
    Hub *hub = lockedHub(c, index);
    if (hub && !HubPrivate::get(hub)->device(uid))
        c.args.fail(QStringLiteral("hub %1 has no device %2").arg(index).arg(uid));
    return c.args.ok() ? hub : nullptr;
}

QString hubAdd(CommandContext &c)
{
    const int index = c.args.hubIndex(0);
    HubSettings settings;
    QSet<QString> given;
    if (!c.args.ok() || !readSettings(c.args, 1, &settings, &given))
        return error(c.args.error());
    if (!given.contains(QStringLiteral("touch")))
        settings.touch = settings.touches > 0;
    if (!given.contains(QStringLiteral("erase")))
        settings.erase = settings.erasers > 0;
    Hub *hub = nullptr;
    {
        std::lock_guard<std::mutex> lock(c.model.mutex);
        if (c.model.hubAt(index))
            return error(QStringLiteral("hub %1 is already connected").arg(index));
        hub = HubPrivate::create(c.model, index, settings);
        c.model.connectHub(hub);
    }
    emit c.system.newHubConnected(hub);
    return ok();
}

QString hubRemove(CommandContext &c)
{
    const int index = c.args.hubIndex(0);
    Hub *hub = nullptr;
    {
        std::lock_guard<std::mutex> lock(c.model.mutex);
        hub = lockedHub(c, index);
        if (!hub)
            return error(c.args.error());
        c.model.disconnectHub(hub);
    }
    emit c.system.hubDisconnected(hub);
    return ok();
}

QString hubSet(CommandContext &c)
{
    const int index = c.args.hubIndex(0);
    std::lock_guard<std::mutex> lock(c.model.mutex);
    Hub *hub = lockedHub(c, index);
    if (!hub)
        return error(c.args.error());
    HubSettings settings = HubPrivate::get(hub)->settings;
    QSet<QString> given;
    if (!readSettings(c.args, 1, &settings, &given))
        return error(c.args.error());
    HubPrivate *d = HubPrivate::get(hub);
    d->settings = settings;
    // A hub that no longer offers an enhanced session has none running.
    if (!settings.enhanced)
        SessionState::get(d->enhanced)->open = false;
    return ok();
}

QString hubList(CommandContext &c)
{
    std::lock_guard<std::mutex> lock(c.model.mutex);
    QStringList groups;
    for (Hub *hub : c.model.hubs()) {
        const HubPrivate *d = HubPrivate::get(hub);
        groups.append(QString::number(d->index) + QLatin1Char(':') + d->settings.describe());
    }
    return ok(groups.join(QLatin1Char(' ')));
}

QString deviceAdd(CommandContext &c)
{
    const int index = c.args.hubIndex(0);
    const quint32 uid = c.args.uid(1);
    const auto subType =
        static_cast<Device::SubType>(c.args.integer(2, "SUBTYPE", Device::Slate, Device::Velaexpression));
    const QString name = c.args.text(3);
    std::lock_guard<std::mutex> lock(c.model.mutex);
    Hub *hub = lockedHub(c, index);
    if (!hub)
        return error(c.args.error());
    HubPrivate *d = HubPrivate::get(hub);
    if (d->device(uid))
        return error(QStringLiteral("hub %1 already has device %2").arg(index).arg(uid));
    Device *device = DevicePrivate::create(uid, subType, name);
    c.model.keep(device);
    d->devices.append(device);
    return ok();
}

QString deviceRemove(CommandContext &c)
{
    const int index = c.args.hubIndex(0);
    const quint32 uid = c.args.uid(1);
    std::lock_guard<std::mutex> lock(c.model.mutex);
    Hub *hub = lockedHub(c, index);
    if (!hub)
        return error(c.args.error());
    if (!HubPrivate::get(hub)->unlist(uid, -1))
        return error(QStringLiteral("hub %1 has no device %2").arg(index).arg(uid));
    return ok();
}

QString deviceList(CommandContext &c)
{
    const int index = c.args.hubIndex(0);
    std::lock_guard<std::mutex> lock(c.model.mutex);
    Hub *hub = lockedHub(c, index);
    if (!hub)
        return error(c.args.error());
    QStringList entries;
    for (const Device *device : HubPrivate::get(hub)->devices) {
        const DevicePrivate *d = DevicePrivate::get(device);
        // The name is escaped so that neither a line feed nor the entry
        // separator inside it can break the reply.
        entries.append(QStringLiteral("%1:%2:%3").arg(d->uid).arg(int(d->subType)).arg(escapeText(d->name)));
    }
    return ok(entries.join(QChar(0x1e)));
}

} // namespace Velasystem
