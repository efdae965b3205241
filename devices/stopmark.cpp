#include "devices/stopmark.h"

#include "config/configstore.h"
#include "history/stopreasons.h"

StopMark::StopMark(QWidget *parent) : QLabel(parent)
{
    setObjectName(QStringLiteral("stopReasonMark"));
    setText(QStringLiteral("?"));
    setAlignment(Qt::AlignCenter);
    setToolTip(tr("停机未填原因：右键 → 停机原因"));
    setFixedSize(16, 16);
    hide();
    m_due.setSingleShot(true);
    connect(&m_due, &QTimer::timeout, this, &StopMark::showMark);
}

void StopMark::noteState(bool on, int state)
{
    const bool stopped = on && History::isStopState(state);
    if (stopped == m_stopped)
        return;
    m_stopped = stopped;
    m_reason = 0;
    hide();
    if (stopped)
        m_due.start(ConfigStore::instance()->untaggedStopMinutes() * 60 * 1000);
    else
        m_due.stop();
}

void StopMark::setReason(int reason)
{
    m_reason = reason;
    if (reason != 0)
        hide();
    else if (m_stopped && !m_due.isActive())
        showMark();
}

void StopMark::showMark()
{
    if (m_stopped && m_reason == 0)
        show();
}
