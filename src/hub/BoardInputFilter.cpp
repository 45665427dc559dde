#include "BoardInputFilter.h"

#include <algorithm>
#include <cstdlib>
#include <utility>

namespace {

qint64 manhattan(qint64 dx, qint64 dy)
{
    return std::llabs(dx) + std::llabs(dy);
}

// QRect::contains on one axis: an extent of zero holds nothing, a negative one
// is taken from the other side.
bool within(qint64 value, qint64 first, qint64 last)
{
    if (last == first - 1)
        return false;
    if (last < first - 1)
        std::swap(first, last);
    return value >= first && value <= last;
}

} // namespace

void BoardInputFilter::setScreenSize(int width, int height)
{
    m_screenWidth = width;
    m_screenHeight = height;
}

void BoardInputFilter::setWindow(int x, int y, int width, int height)
{
    m_left = x;
    m_top = y;
    m_right = qint64(x) + width - 1;
    m_bottom = qint64(y) + height - 1;
}

BoardInputFilter::Point BoardInputFilter::toScreen(int x, int y) const
{
    return {qint64(x) * m_screenWidth / HubRange, qint64(y) * m_screenHeight / HubRange};
}

bool BoardInputFilter::inWindow(const Point &screen) const
{
    return within(screen.x, m_left, m_right) && within(screen.y, m_top, m_bottom);
}

bool BoardInputFilter::throttled(qint64 nowMs, qint64 lastTime, qint64 distance) const
{
    return m_minInterval != 0 && nowMs - lastTime < m_minInterval && (m_minDistance == 0 || distance < m_minDistance);
}

BoardInputFilter::Verdict BoardInputFilter::pen(quint8 id, int x, int y, bool tip, bool penPrivate, qint64 nowMs)
{
    if (id > 1) {
        m_minInterval = 20;
        m_minDistance = 50;
    }
    PenSlot &slot = m_pens[id];
    const Point screen = toScreen(x, y);
    const Point position = relative(screen);

    if (!inWindow(screen)) {
        if (!slot.down && tip)
            return penPrivate ? Verdict::FocusLost : Verdict::Drop;
        if (slot.down && !tip)
            slot.down = false;
        return Verdict::Drop;
    }
    if (!slot.down || !tip) {
        slot.down = tip;
    } else if (throttled(nowMs, slot.lastTime, manhattan(position.x - slot.last.x, position.y - slot.last.y))) {
        return Verdict::Drop;
    }
    if (screen.y < 0)
        return Verdict::Drop;
    slot.lastTime = nowMs;
    slot.last = position;
    return Verdict::Forward;
}

BoardInputFilter::Batch BoardInputFilter::touch(const QVector<Contact> &points, bool touchPrivate, qint64 nowMs)
{
    return filter(m_touches, Kind::Touch, points, touchPrivate, nowMs);
}

BoardInputFilter::Batch BoardInputFilter::eraser(const QVector<Contact> &contacts, qint64 nowMs)
{
    return filter(m_erasers, Kind::Eraser, contacts, false, nowMs);
}

BoardInputFilter::Batch BoardInputFilter::filter(Contacts &state, Kind kind, const QVector<Contact> &points,
                                                 bool isPrivate, qint64 nowMs)
{
    Batch batch;
    bool movesOnly = true;
    qint64 largestMove = 0;

    for (int i = 0; i < points.size(); ++i) {
        const Contact &p = points.at(i);
        const Point screen = toScreen(p.x, p.y);
        // An eraser report of all zeros carries no contact.
        if (kind == Kind::Eraser && screen.x == 0 && screen.y == 0 && p.width == 0 && p.height == 0)
            continue;

        if (!inWindow(screen)) {
            if (state.tracked.isEmpty()) {
                // Input outside the window with nothing under way there: the
                // client has lost the board, and this report sends nothing.
                batch.forwarded.clear();
                batch.focusLost = kind == Kind::Touch && isPrivate;
                return batch;
            }
            if (state.outside.contains(p.id)) {
                if (!p.pressed)
                    state.outside.removeAll(p.id);
            } else if (state.tracked.contains(p.id)) {
                if (!p.pressed)
                    state.tracked.remove(p.id);
            } else if (p.pressed) {
                state.outside.append(p.id);
            }
            continue;
        }

        const Point position = relative(screen);
        const auto tracked = state.tracked.find(p.id);
        if (tracked != state.tracked.end()) {
            if (p.pressed) {
                const qint64 move = manhattan(position.x - tracked->x, position.y - tracked->y);
                if (move < 2)
                    continue;
                largestMove = std::max(largestMove, move);
                *tracked = position;
            } else {
                state.tracked.erase(tracked);
                movesOnly = false;
            }
            batch.forwarded.append(i);
        } else if (state.outside.contains(p.id)) {
            // A contact that came down outside stays out of the window's
            // strokes until it is lifted.
            if (!p.pressed)
                state.outside.removeAll(p.id);
        } else {
            if (p.pressed) {
                state.tracked.insert(p.id, position);
                movesOnly = false;
            }
            batch.forwarded.append(i);
        }
    }

    if (batch.forwarded.isEmpty() || (movesOnly && throttled(nowMs, state.lastTime, largestMove))) {
        batch.forwarded.clear();
        return batch;
    }
    state.lastTime = nowMs;
    return batch;
}
