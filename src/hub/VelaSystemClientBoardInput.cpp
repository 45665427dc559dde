// The hub adapter's board input: pen samples, touch and eraser reports from
// the hub library's thread to the clients (docs/ARCHITECTURE.md, "A pen
// sample's walk").
#include "VelaSystemClient.h"

#include <QThread>

#include <chrono>

using Velasystem::Hub;

namespace {

// A pen sample that follows the one before it sooner than this belongs to a
// burst, which the main thread gathers and writes in one piece; one pen
// reports every 5 to 10 ms.
constexpr qint64 kLonePenGapUs = 1000;

} // namespace

void VelaSystemClient::forwardPenEvent(Hub *hub, Hub::PenEvent event, quint8 id, int x, int y, bool tip, bool barrel)
{
    // What an automatic connection does, at a fraction of the cost.
    if (QThread::currentThread() == thread()) {
        onPenEventReceived(hub, event, id, x, y, tip, barrel);
        return;
    }
    const PenSample sample{hub, event, id, x, y, tip, barrel};
    if (!passPenSample(sample))
        handOver(sample);
}

void VelaSystemClient::handOver(BoardInput input)
{
    // One wake-up for everything that gathers before this thread takes it.
    if (m_boardInput.push(std::move(input)))
        m_takeBoardInput.invoke(this, Qt::QueuedConnection);
}

bool VelaSystemClient::passPenSample(const PenSample &s)
{
    if (m_gate == nullptr)
        return false;
    using namespace std::chrono;
    const qint64 now = duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count();
    const qint64 previous = m_lastPenArrival.exchange(now, std::memory_order_relaxed);
    if (now - previous < kLonePenGapUs || !m_gate->tryPass())
        return false;
    // Until endPass() the main thread stays in its loop or waits at the gate.
    // It has yet to handle what was handed over before; this sample may not
    // overtake that.
    bool passed = m_boardInput.empty();
    if (passed && m_numConnections != 0) {
        switch (m_input.pen(s.id, s.x, s.y, s.tip, m_penPrivate, m_clock())) {
        case BoardInputFilter::Verdict::Forward: emit pen(PenData{s.id, s.x, s.y, s.tip, s.barrel}); break;
        // Losing the focus calls the hub library, which is not to be entered
        // from inside its own signal: the main thread does it.
        case BoardInputFilter::Verdict::FocusLost: passed = false; break;
        case BoardInputFilter::Verdict::Drop: break;
        }
    }
    m_gate->endPass();
    return passed;
}

void VelaSystemClient::takeBoardInput()
{
    for (const BoardInput &input : m_boardInput.takeAll()) {
        if (const auto *s = std::get_if<PenSample>(&input))
            onPenEventReceived(s->hub, s->event, s->id, s->x, s->y, s->tip, s->barrel);
        else if (const auto *t = std::get_if<TouchReport>(&input))
            onTouchEventReceived(t->hub, t->points);
        else if (const auto *e = std::get_if<EraserReport>(&input))
            onEraserEventReceived(e->hub, e->erasers);
    }
}

void VelaSystemClient::onPenEventReceived(Hub *, Hub::PenEvent, quint8 id, int x, int y, bool tip, bool barrel)
{
    if (m_numConnections == 0)
        return;
    switch (m_input.pen(id, x, y, tip, m_penPrivate, m_clock())) {
    case BoardInputFilter::Verdict::Forward: emit pen(PenData{id, x, y, tip, barrel}); break;
    case BoardInputFilter::Verdict::FocusLost: focusLost(); break;
    case BoardInputFilter::Verdict::Drop: break;
    }
}

void VelaSystemClient::forwardTouchEvent(Hub *hub, const QList<Hub::TouchInfo> &points)
{
    if (QThread::currentThread() == thread())
        onTouchEventReceived(hub, points);
    else
        handOver(TouchReport{hub, points});
}

void VelaSystemClient::forwardEraserEvent(Hub *hub, const QList<Hub::EraserInfo> &erasers)
{
    if (QThread::currentThread() == thread())
        onEraserEventReceived(hub, erasers);
    else
        handOver(EraserReport{hub, erasers});
}

void VelaSystemClient::onTouchEventReceived(Hub *, const QList<Hub::TouchInfo> &points)
{
    if (m_numConnections == 0)
        return;
    QVector<BoardInputFilter::Contact> contacts;
    contacts.reserve(points.size());
    for (const Hub::TouchInfo &p : points)
        contacts.append({p.id, p.x, p.y, 0, 0, p.pressed});
    const BoardInputFilter::Batch batch = m_input.touch(contacts, m_touchPrivate, m_clock());
    if (batch.focusLost)
        focusLost();
    if (batch.forwarded.isEmpty())
        return;
    QList<TouchData> touchData;
    touchData.reserve(batch.forwarded.size());
    for (int i : batch.forwarded) {
        const Hub::TouchInfo &p = points.at(i);
        touchData.append(TouchData{p.id, p.x, p.y, static_cast<unsigned char>(p.pressed)});
    }
    emit touch(touchData);
}

void VelaSystemClient::onEraserEventReceived(Hub *, const QList<Hub::EraserInfo> &erasers)
{
    if (m_numConnections == 0)
        return;
    QVector<BoardInputFilter::Contact> contacts;
    contacts.reserve(erasers.size());
    for (const Hub::EraserInfo &e : erasers)
        contacts.append({e.id, e.x, e.y, e.width, e.height, e.pressed});
    const BoardInputFilter::Batch batch = m_input.eraser(contacts, m_clock());
    if (batch.forwarded.isEmpty())
        return;
    QList<EraserData> eraserData;
    eraserData.reserve(batch.forwarded.size());
    for (int i : batch.forwarded) {
        const Hub::EraserInfo &e = erasers.at(i);
        eraserData.append(EraserData{e.id, e.x, e.y, e.width, e.height, static_cast<unsigned char>(e.pressed)});
    }
    emit eraser(eraserData);
}
