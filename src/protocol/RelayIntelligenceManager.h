#pragma once

#include "RelayRecords.h"

#include <QObject>

class QTimer;

// Decides the boards' report mode from the client's supervision: while
// supervision is on and the client has focus the boards report privately,
// otherwise natively. A supervised client must send a keep-alive within every
// interval; when one is missed the boards go back to native reporting and the
// client is announced as unresponsive.
//
// States: Off (no timer), Supervising (on, timer running), Lapsed (off, timer
// stopped after a time-out), Re-armed (off, timer running again after a
// keep-alive in Lapsed, so silence announces the client once more).
class RelayIntelligenceManager : public QObject
{
    Q_OBJECT

public:
    static constexpr int DefaultKeepAliveTimeoutMs = 11000;

    explicit RelayIntelligenceManager(int keepAliveTimeoutMs = DefaultKeepAliveTimeoutMs);

    void setEnabled(bool enabled);
    void keepAlive();
    void setFocus(bool focused);

    bool isEnabled() const { return m_enabled; }

signals:
    void changeReportMode(BoardReportType type);
    void clientUnresponsive();

private slots:
    void onKeepAliveTimeout();

private:
    const int m_keepAliveTimeoutMs;
    bool m_enabled = false;
    QTimer *m_keepAliveTimer = nullptr; // child; exists from the first switch-on
};
