#include "RelayIntelligenceManager.h"

#include <QTimer>

RelayIntelligenceManager::RelayIntelligenceManager(int keepAliveTimeoutMs)
    : m_keepAliveTimeoutMs(keepAliveTimeoutMs)
{}

void RelayIntelligenceManager::setEnabled(bool enabled)
{
    m_enabled = enabled;
    // A switch-on always starts a fresh countdown, and there is never more than
    // one timer.
    delete m_keepAliveTimer;
    m_keepAliveTimer = nullptr;
    if (!enabled)
        return;
    m_keepAliveTimer = new QTimer(this);
    connect(m_keepAliveTimer, &QTimer::timeout, this, &RelayIntelligenceManager::onKeepAliveTimeout);
    m_keepAliveTimer->start(m_keepAliveTimeoutMs);
}

void RelayIntelligenceManager::keepAlive()
{
    // Deliberately not gated on the flag: a keep-alive after a lapse re-arms
    // the countdown, so a client that goes silent again is announced again.
    if (m_keepAliveTimer)
        m_keepAliveTimer->start(m_keepAliveTimeoutMs);
}

void RelayIntelligenceManager::setFocus(bool focused)
{
    emit changeReportMode(m_enabled && focused ? REPORT_PRIVATE : REPORT_NATIVE);
}

void RelayIntelligenceManager::onKeepAliveTimeout()
{
    m_keepAliveTimer->stop();
    m_enabled = false;
    emit changeReportMode(REPORT_NATIVE);
    emit clientUnresponsive();
}
