#pragma once

#include <QLabel>
#include <QTimer>

// The card's small mark for a stop that went on longer than SET's limit
// without a reason. It never asks: the operator tags the stop from the
// card's menu or later in the history window, and the mark goes.
class StopMark : public QLabel
{
    Q_OBJECT

public:
    explicit StopMark(QWidget *parent = nullptr);

    // The card's switch and state: a stop is idle, alarm or no link while on.
    void noteState(bool on, int state);
    // The stop under way was given a reason (or, 0, the tagged stop ended).
    void setReason(int reason);
    int reason() const { return m_reason; }
    bool isStopped() const { return m_stopped; }

private:
    void showMark();

    QTimer m_due; // the limit after the stop began
    bool m_stopped = false;
    int m_reason = 0;
};
