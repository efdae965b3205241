#include "views/viewpoller.h"

#include "link/protocol.h"

#include <QPointer>
#include <QTimer>

ViewPoller::ViewPoller(Read read, QObject *parent) : QObject(parent), m_read(std::move(read))
{
    m_timer = new QTimer(this);
    m_timer->setTimerType(Qt::PreciseTimer);
    m_timer->setInterval(IntervalMs);
    connect(m_timer, &QTimer::timeout, this, &ViewPoller::tick);

    m_retry = new QTimer(this);
    m_retry->setTimerType(Qt::PreciseTimer);
    m_retry->setSingleShot(true);
    m_retry->setInterval(BusyRetryMs);
    connect(m_retry, &QTimer::timeout, this, &ViewPoller::refresh);
}

void ViewPoller::start()
{
    m_timer->start();
}

void ViewPoller::stop()
{
    m_timer->stop();
    m_retry->stop();
}

void ViewPoller::setInterval(int ms)
{
    m_timer->setInterval(ms);
}

bool ViewPoller::isActive() const
{
    return m_timer->isActive();
}

void ViewPoller::tick()
{
    if (m_reading)
        return; // the read of an earlier tick still waits; it completes the refresh
    ++m_ticks;
    m_retry->stop();
    refresh();
}

void ViewPoller::refresh()
{
    if (m_reading)
        return;
    QPointer<ViewPoller> self(this);
    m_reading = true;
    const int result = m_read();
    if (!self)
        return; // the page went away while the read waited
    m_reading = false;
    m_lastResult = result;
    if (result == Result::Ok)
        ++m_refreshes;
    else if (result == Result::Busy && m_timer->isActive())
        m_retry->start();
}
