#pragma once

#include "config/stopsettings.h"

#include <QGroupBox>
#include <QVector>

class QLabel;
class QPushButton;
class QLineEdit;
class QSpinBox;
class QTableWidget;
class QTimeEdit;

// SET's shifts and stop reasons: up to three shifts (a name, a start, an
// end; an empty name leaves the row unused), the list of reasons (a reason
// taken off stays in the file as retired, its code never given again), and
// the limits for micro-stops and for the card's mark of an untagged stop.
// Loaded from ConfigStore with the page, stored with its store button.
class StopSetBox : public QGroupBox
{
    Q_OBJECT

public:
    explicit StopSetBox(QWidget *parent = nullptr);

    void load();
    // False, saying why on the box, when the shifts overlap or lack a name
    // or time: they stay as they were, the rest is stored.
    bool store();

    enum ReasonColumn { CodeColumn, ZhColumn, EnColumn, PlannedColumn, ReasonColumnCount };

private:
    enum Label { ShiftLabel, StartLabel, EndLabel, MicroStopLabel, UntaggedLabel, LabelCount };

    void showTexts();
    void addReasonRow(const StopReason &reason);
    void addReason();
    void retireReason();
    QVector<StopReason> reasonsShown() const;

    QLineEdit *m_names[StopSettings::MaxShifts];
    QTimeEdit *m_starts[StopSettings::MaxShifts];
    QTimeEdit *m_ends[StopSettings::MaxShifts];
    QSpinBox *m_microStop;
    QSpinBox *m_untagged;
    QTableWidget *m_reasons;
    QLabel *m_problem;
    QLabel *m_labels[LabelCount];
    QPushButton *m_add;
    QPushButton *m_retire;
    QVector<StopReason> m_retired; // kept as they are, not shown
    int m_lastCode = 0;            // the highest code ever in the list
};
