#include "views/stopsetbox.h"

#include "config/configstore.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QTimeEdit>
#include <QVBoxLayout>

StopSetBox::StopSetBox(QWidget *parent) : QGroupBox(parent)
{
    setObjectName(QStringLiteral("groupBox_stops"));
    auto *layout = new QVBoxLayout(this);
    auto *grid = new QGridLayout;
    for (int i = 0; i < LabelCount; ++i)
        m_labels[i] = new QLabel;
    grid->addWidget(m_labels[ShiftLabel], 0, 0);
    grid->addWidget(m_labels[StartLabel], 0, 1);
    grid->addWidget(m_labels[EndLabel], 0, 2);
    for (int i = 0; i < StopSettings::MaxShifts; ++i) {
        m_names[i] = new QLineEdit;
        m_names[i]->setObjectName(QStringLiteral("lineEdit_shift%1").arg(i + 1));
        m_starts[i] = new QTimeEdit;
        m_starts[i]->setObjectName(QStringLiteral("timeEdit_shiftStart%1").arg(i + 1));
        m_ends[i] = new QTimeEdit;
        m_ends[i]->setObjectName(QStringLiteral("timeEdit_shiftEnd%1").arg(i + 1));
        for (QTimeEdit *edit : {m_starts[i], m_ends[i]})
            edit->setDisplayFormat(QStringLiteral("HH:mm"));
        grid->addWidget(m_names[i], i + 1, 0);
        grid->addWidget(m_starts[i], i + 1, 1);
        grid->addWidget(m_ends[i], i + 1, 2);
    }
    m_microStop = new QSpinBox;
    m_microStop->setObjectName(QStringLiteral("spinBox_microStop"));
    m_microStop->setRange(0, 240);
    m_untagged = new QSpinBox;
    m_untagged->setObjectName(QStringLiteral("spinBox_untaggedStop"));
    m_untagged->setRange(1, 1440);
    grid->addWidget(m_labels[MicroStopLabel], 4, 0, 1, 2);
    grid->addWidget(m_microStop, 4, 2);
    grid->addWidget(m_labels[UntaggedLabel], 5, 0, 1, 2);
    grid->addWidget(m_untagged, 5, 2);
    layout->addLayout(grid);

    m_reasons = new QTableWidget(0, ReasonColumnCount);
    m_reasons->setObjectName(QStringLiteral("tableWidget_reasons"));
    m_reasons->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    m_reasons->horizontalHeader()->setSectionResizeMode(CodeColumn, QHeaderView::ResizeToContents);
    m_reasons->verticalHeader()->hide();
    m_reasons->setMinimumHeight(200);
    layout->addWidget(m_reasons);
    auto *buttons = new QHBoxLayout;
    m_add = new QPushButton;
    m_add->setObjectName(QStringLiteral("pushButton_addReason"));
    m_retire = new QPushButton;
    m_retire->setObjectName(QStringLiteral("pushButton_removeReason"));
    buttons->addWidget(m_add);
    buttons->addWidget(m_retire);
    buttons->addStretch();
    layout->addLayout(buttons);
    m_problem = new QLabel;
    m_problem->setObjectName(QStringLiteral("label_stopProblem"));
    m_problem->setWordWrap(true);
    m_problem->hide();
    layout->addWidget(m_problem);
    connect(m_add, &QPushButton::clicked, this, &StopSetBox::addReason);
    connect(m_retire, &QPushButton::clicked, this, &StopSetBox::retireReason);
}

// Set at every load, as the rest of the page: a language stored shows at once.
void StopSetBox::showTexts()
{
    setTitle(tr("班次与停机原因"));
    m_labels[ShiftLabel]->setText(tr("班次"));
    m_labels[StartLabel]->setText(tr("开始"));
    m_labels[EndLabel]->setText(tr("结束"));
    m_labels[MicroStopLabel]->setText(tr("短停：短于（分钟）"));
    m_labels[UntaggedLabel]->setText(tr("未填原因标记：停机超过（分钟）"));
    for (QLineEdit *name : m_names)
        name->setPlaceholderText(tr("（不用）"));
    m_reasons->setHorizontalHeaderLabels({tr("代码"), tr("中文"), tr("English"), tr("计划停机")});
    m_add->setText(tr("添加原因"));
    m_retire->setText(tr("删除原因"));
}

void StopSetBox::load()
{
    showTexts();
    const ConfigStore *config = ConfigStore::instance();
    const QVector<Shift> shifts = config->shifts();
    for (int i = 0; i < StopSettings::MaxShifts; ++i) {
        const Shift shift = shifts.value(i);
        m_names[i]->setText(shift.Name);
        m_starts[i]->setTime(shift.Start.isValid() ? shift.Start : QTime(0, 0));
        m_ends[i]->setTime(shift.End.isValid() ? shift.End : QTime(0, 0));
    }
    m_microStop->setValue(config->microStopMinutes());
    m_untagged->setValue(config->untaggedStopMinutes());
    m_reasons->setRowCount(0);
    m_retired.clear();
    m_lastCode = 0;
    const QVector<StopReason> reasons = config->stopReasons();
    for (const StopReason &reason : reasons) {
        m_lastCode = qMax(m_lastCode, reason.Code);
        if (reason.Retired)
            m_retired.append(reason);
        else
            addReasonRow(reason);
    }
    m_problem->hide();
}

void StopSetBox::addReasonRow(const StopReason &reason)
{
    const int row = m_reasons->rowCount();
    m_reasons->insertRow(row);
    auto *code = new QTableWidgetItem(QString::number(reason.Code));
    code->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    code->setData(Qt::UserRole, reason.Code);
    m_reasons->setItem(row, CodeColumn, code);
    m_reasons->setItem(row, ZhColumn, new QTableWidgetItem(reason.Zh));
    m_reasons->setItem(row, EnColumn, new QTableWidgetItem(reason.En));
    auto *planned = new QTableWidgetItem;
    planned->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
    planned->setCheckState(reason.Planned ? Qt::Checked : Qt::Unchecked);
    m_reasons->setItem(row, PlannedColumn, planned);
}

void StopSetBox::addReason()
{
    addReasonRow({++m_lastCode, tr("新原因"), QString(), false, false});
    m_reasons->setCurrentCell(m_reasons->rowCount() - 1, ZhColumn);
    m_reasons->editItem(m_reasons->currentItem());
}

// Tags already given keep the reason's text: it stays in the file, retired.
void StopSetBox::retireReason()
{
    const int row = m_reasons->currentRow();
    if (row < 0)
        return;
    StopReason reason = reasonsShown().at(row);
    reason.Retired = true;
    m_retired.append(reason);
    m_reasons->removeRow(row);
}

QVector<StopReason> StopSetBox::reasonsShown() const
{
    QVector<StopReason> list;
    for (int row = 0; row < m_reasons->rowCount(); ++row) {
        StopReason reason;
        reason.Code = m_reasons->item(row, CodeColumn)->data(Qt::UserRole).toInt();
        reason.Zh = m_reasons->item(row, ZhColumn)->text().trimmed();
        reason.En = m_reasons->item(row, EnColumn)->text().trimmed();
        reason.Planned = m_reasons->item(row, PlannedColumn)->checkState() == Qt::Checked;
        list.append(reason);
    }
    return list;
}

bool StopSetBox::store()
{
    ConfigStore *config = ConfigStore::instance();
    config->setMicroStopMinutes(m_microStop->value());
    config->setUntaggedStopMinutes(m_untagged->value());
    QVector<StopReason> reasons = reasonsShown() + m_retired;
    std::sort(reasons.begin(), reasons.end(),
              [](const StopReason &a, const StopReason &b) { return a.Code < b.Code; });
    // Set only when changed: a file without a list of its own keeps none.
    if (reasons != config->stopReasons())
        config->setStopReasons(reasons);

    QVector<Shift> shifts;
    for (int i = 0; i < StopSettings::MaxShifts; ++i) {
        if (!m_names[i]->text().trimmed().isEmpty())
            shifts.append({m_names[i]->text().trimmed(), m_starts[i]->time(), m_ends[i]->time()});
    }
    QString problem;
    const bool ok = StopSettings::checkShifts(shifts, &problem);
    if (ok)
        config->setShifts(shifts);
    m_problem->setText(ok ? QString() : tr("班次未保存：%1").arg(problem));
    m_problem->setVisible(!ok);
    return ok;
}
