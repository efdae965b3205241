#pragma once

#include <QWidget>

class QTimer;

namespace Ui {
class PosForm;
}

// The position page: the selected controller's axes, program, work mode,
// counters and times, read twice a second while the page is visible.
class PosForm : public QWidget
{
    Q_OBJECT

public:
    explicit PosForm(QWidget *parent = nullptr);
    ~PosForm() override;

    // One read of the selected device; on any result but 0 nothing changes.
    void updateStatus();
    // n rows of five items; rows already there keep their items.
    void setAxisCount(int n);

    // For the tests: timer ticks, refreshes that reached the screen, the last
    // read result, and whether a read waits now.
    int refreshCount() const { return m_refreshCount; }
    int lastResult() const { return m_lastResult; }
    int tickCount() const { return m_tickCount; }
    bool isReading() const { return m_updating; }

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    void onTick();
    void setCell(int row, int column, const QString &text);

    Ui::PosForm *ui = nullptr;
    QTimer *m_timer = nullptr;
    QTimer *m_retryTimer = nullptr;
    bool m_updating = false;
    int m_lastResult = -1;
    int m_refreshCount = 0;
    int m_tickCount = 0;
};
