#include "views/viewpoller.h"

#include "devices/devicemanager.h"
#include "link/protocol.h"

#include <QAbstractScrollArea>
#include <QGraphicsOpacityEffect>
#include <QPointer>
#include <QTimer>
#include <QWidget>

namespace {
// How much of a stale value still shows: readable, plainly not live.
constexpr qreal StaleOpacity = 0.35;
} // namespace

ViewPoller::ViewPoller(Read read, QObject *parent) : QObject(parent), m_read(std::move(read))
{
    m_timer = new QTimer(this);
    m_timer->setTimerType(Qt::PreciseTimer);
    m_timer->setInterval(IntervalMs);
    connect(m_timer, &QTimer::timeout, this, &ViewPoller::tick);

    m_retry = new QTimer(this);
    m_retry->setTimerType(Qt::PreciseTimer);
    m_retry->setSingleShot(true);
    m_retry->setInterval(BusyRetry::IntervalMs);
    connect(m_retry, &QTimer::timeout, this, &ViewPoller::refresh);
}

void ViewPoller::start()
{
    m_answeredThisTick = true;
    m_timer->start();
}

void ViewPoller::stop()
{
    m_timer->stop();
    m_retry->stop();
    m_busy.reset();
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
    m_busy.reset();
    // A tick whose reads were all refused as busy left the values older
    // than the interval, however often the retries tried.
    if (!m_answeredThisTick)
        setStale(true);
    m_answeredThisTick = false;
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
    if (result == Result::Busy && m_timer->isActive() &&
        m_busy.again(DeviceManager::selectedModbusDevice())) {
        m_retry->start();
        return;
    }
    m_busy.reset();
    if (result == Result::Ok) {
        ++m_refreshes;
        m_answeredThisTick = true;
        setStale(false);
    } else {
        m_answeredThisTick = true;
        setStale(true);
    }
}

void ViewPoller::setStale(bool stale)
{
    if (m_stale == stale)
        return;
    m_stale = stale;
    emit staleChanged(stale);
}

void ViewPoller::fadeWhenStale(const QList<QWidget *> &widgets)
{
    for (QWidget *widget : widgets) {
        // Faded whole, a table's frame and headers turn dark; its cells alone fade.
        if (auto *area = qobject_cast<QAbstractScrollArea *>(widget))
            widget = area->viewport();
        auto *effect = new QGraphicsOpacityEffect(widget);
        effect->setOpacity(StaleOpacity);
        effect->setEnabled(m_stale);
        widget->setGraphicsEffect(effect);
        connect(this, &ViewPoller::staleChanged, effect, &QGraphicsEffect::setEnabled);
    }
}
