#pragma once

#include <QWidget>

class ViewPoller;

namespace Ui {
class PosForm;
}

// The position page: the selected controller's axes, program, work mode,
// counters and times, read twice a second while the page is visible. Another
// selection clears them.
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

    // The refresh timer and its counts, for the tests.
    ViewPoller *poller() const { return m_poller; }

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    int readAndShow();
    void setCell(int row, int column, const QString &text);
    void dropShownController();

    Ui::PosForm *ui = nullptr;
    ViewPoller *m_poller = nullptr;
    quint64 m_selection = 0; // counts selection changes
};
