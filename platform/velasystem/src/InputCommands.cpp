#include "Commands.h"

#include "Model.h"

#include <velasystem/Hub.h>

#include <QList>

#include <climits>

namespace Velasystem {

namespace {
constexpr qint64 MaxStrokeSteps = 10000;

} // namespace

QString penInput(CommandContext &c)
{
    const int index = c.args.hubIndex(0);
    const auto id = static_cast<quint8>(c.args.integer(1, "ID", 0, 255));
    const auto x = static_cast<int>(c.args.integer(2, "X", INT_MIN, INT_MAX));
    const auto y = static_cast<int>(c.args.integer(3, "Y", INT_MIN, INT_MAX));
    const bool tip = c.args.flag(4, "TIP");
    const bool barrel = c.args.flag(5, "BARREL");
    const auto event = static_cast<Hub::PenEvent>(
        c.args.count() > 6 ? c.args.integer(6, "EVENT", Hub::PenMove, Hub::PenOutOfRange) : 0);
    Hub *hub = c.args.ok() ? connectedHub(c, index) : nullptr;
    if (!hub)
        return error(c.args.error());
    emit hub->penEventReceived(hub, event, id, x, y, tip, barrel);
    return ok();
}

QString touchInput(CommandContext &c)
{
    static const qint64 min[] = {0, INT_MIN, INT_MIN, 0};
    static const qint64 max[] = {255, INT_MAX, INT_MAX, 1};
    const int index = c.args.hubIndex(0);
    QList<Hub::TouchInfo> points;
    for (int i = 1; i < c.args.count(); ++i) {
        qint64 v[4] = {};
        if (!c.args.fields(i, "point (want ID:X:Y:PRESSED)", 4, min, max, v))
            break;
        Hub::TouchInfo point;
        point.id = static_cast<quint8>(v[0]);
        point.x = static_cast<int>(v[1]);
        point.y = static_cast<int>(v[2]);
        point.pressed = v[3] != 0;
        points.append(point);
    }
    Hub *hub = c.args.ok() ? connectedHub(c, index) : nullptr;
    if (!hub)
        return error(c.args.error());
    emit hub->touchEventReceived(hub, points);
    return ok();
}

QString eraserInput(CommandContext &c)
{
    static const qint64 min[] = {0, INT_MIN, INT_MIN, INT_MIN, INT_MIN, 0};
    static const qint64 max[] = {255, INT_MAX, INT_MAX, INT_MAX, INT_MAX, 1};
    const int index = c.args.hubIndex(0);
    QList<Hub::EraserInfo> erasers;
    for (int i = 1; i < c.args.count(); ++i) {
        qint64 v[6] = {};
        if (!c.args.fields(i, "contact (want ID:X:Y:W:H:PRESSED)", 6, min, max, v))
            break;
        Hub::EraserInfo eraser;
        eraser.id = static_cast<quint8>(v[0]);
        eraser.x = static_cast<int>(v[1]);
        eraser.y = static_cast<int>(v[2]);
        eraser.width = static_cast<int>(v[3]);
        eraser.height = static_cast<int>(v[4]);
        eraser.pressed = v[5] != 0;
        erasers.append(eraser);
    }
    Hub *hub = c.args.ok() ? connectedHub(c, index) : nullptr;
    if (!hub)
        return error(c.args.error());
    emit hub->eraserEventReceived(hub, erasers);
    return ok();
}

QString strokeInput(CommandContext &c)
{
    const int index = c.args.hubIndex(0);
    const auto id = static_cast<quint8>(c.args.integer(1, "ID", 0, 255));
    qint64 p[4];
    const char *names[] = {"X0", "Y0", "X1", "Y1"};
    for (int k = 0; k < 4; ++k)
        p[k] = c.args.integer(2 + k, names[k], INT_MIN, INT_MAX);
    const qint64 steps = c.args.integer(6, "STEPS", 1, MaxStrokeSteps);
    Hub *hub = c.args.ok() ? connectedHub(c, index) : nullptr;
    if (!hub)
        return error(c.args.error());
    // Samples spread evenly from the first point to the last, both included.
    for (qint64 i = 0; i < steps; ++i) {
        const qint64 span = steps > 1 ? steps - 1 : 1;
        const auto x = static_cast<int>(p[0] + (p[2] - p[0]) * i / span);
        const auto y = static_cast<int>(p[1] + (p[3] - p[1]) * i / span);
        emit hub->penEventReceived(hub, i == 0 ? Hub::PenDown : Hub::PenMove, id, x, y, true, false);
    }
    emit hub->penEventReceived(hub, Hub::PenUp, id, static_cast<int>(p[2]), static_cast<int>(p[3]), false, false);
    return ok();
}

} // namespace Velasystem
