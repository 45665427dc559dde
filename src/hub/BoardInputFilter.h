#pragma once

#include <QHash>
#include <QList>
#include <QVector>

#include <array>

// Decides which board input reaches the clients: only what falls inside the
// client's window, and during a stroke or a move no more often than the
// throttle allows. Hub coordinates (0 to 32767) are scaled to the client's
// screen only for the window test. All arithmetic on client numbers is 64-bit,
// so no screen size or window a client sends can overflow it.
class BoardInputFilter
{
public:
    static constexpr int HubRange = 32767;

    enum class Verdict {
        Drop,
        Forward,
        FocusLost
    };

    // One touch point or eraser contact of a report.
    struct Contact
    {
        int id = 0;
        int x = 0;
        int y = 0;
        int width = 0;
        int height = 0;
        bool pressed = false;
    };

    // Indices of the contacts that go out, in report order; empty when the
    // report sends nothing.
    struct Batch
    {
        QVector<int> forwarded;
        bool focusLost = false;
    };

    void setScreenSize(int width, int height);
    void setWindow(int x, int y, int width, int height);

    // As the client set them; the window is empty until a client sets one
    // with an extent on both axes (a negative one counts, as in the test).
    qint64 screenWidth() const { return m_screenWidth; }
    qint64 screenHeight() const { return m_screenHeight; }
    bool hasWindow() const { return m_right != m_left - 1 && m_bottom != m_top - 1; }
    qint64 windowLeft() const { return m_left; }
    qint64 windowTop() const { return m_top; }
    qint64 windowWidth() const { return m_right - m_left + 1; }
    qint64 windowHeight() const { return m_bottom - m_top + 1; }

    // nowMs is a monotonic time, so throttling survives changes of the clock.
    Verdict pen(quint8 id, int x, int y, bool tip, bool penPrivate, qint64 nowMs);
    Batch touch(const QVector<Contact> &points, bool touchPrivate, qint64 nowMs);
    Batch eraser(const QVector<Contact> &contacts, qint64 nowMs);

private:
    struct Point
    {
        qint64 x = 0;
        qint64 y = 0;
    };

    // Every pen id the hub can report (a byte) has a slot, so no id indexes
    // past the end.
    struct PenSlot
    {
        bool down = false; // the tip came down inside the window
        Point last;        // window-relative position last forwarded
        qint64 lastTime = 0;
    };

    struct Contacts
    {
        QHash<int, Point> tracked; // id to window-relative position last forwarded
        QList<int> outside;        // ids that came down outside the window
        qint64 lastTime = 0;
    };

    enum class Kind {
        Touch,
        Eraser
    };

    Point toScreen(int x, int y) const;
    bool inWindow(const Point &screen) const;
    Point relative(const Point &screen) const { return {screen.x - m_left, screen.y - m_top}; }
    bool throttled(qint64 nowMs, qint64 lastTime, qint64 distance) const;
    Batch filter(Contacts &state, Kind kind, const QVector<Contact> &points, bool isPrivate, qint64 nowMs);

    qint64 m_screenWidth = 0;
    qint64 m_screenHeight = 0;
    // A rectangle in the manner of QRect: right = left + width - 1, so an
    // empty window contains nothing.
    qint64 m_left = 0;
    qint64 m_top = 0;
    qint64 m_right = -1;
    qint64 m_bottom = -1;

    // Throttling starts once a pen id above 1 is seen and then stays on.
    int m_minInterval = 0;
    int m_minDistance = 0;

    std::array<PenSlot, 256> m_pens{};
    Contacts m_touches;
    Contacts m_erasers;
};
