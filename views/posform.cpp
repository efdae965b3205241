#include "views/posform.h"

#include "config/configstore.h"
#include "devices/devicemanager.h"
#include "link/devicestatus.h"
#include "link/protocol.h"
#include "ui_posform.h"

#include <QHeaderView>
#include <QPointer>
#include <QTimer>

namespace {
constexpr int RefreshIntervalMs = 500;
// A tick refused because the card's own status poll of the same device was
// waiting is tried once more this much later, so the page never goes stale.
constexpr int BusyRetryMs = 50;
constexpr int ResultBusy = 9;
constexpr int ColumnCount = 5;
} // namespace

PosForm::PosForm(QWidget *parent) : QWidget(parent), ui(new Ui::PosForm)
{
    ui->setupUi(this);
    ui->tableWidget_axis->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);

    if (ConfigStore::instance()->language() == 1) {
        ui->labelCurrPrg->setText(QStringLiteral("MainPrg"));
        ui->labelStyle->setText(QStringLiteral("WorkStyle"));
        ui->labelPiece->setText(QStringLiteral("Piece"));
        ui->labelCircle->setText(QStringLiteral("CircleTime"));
        ui->labelTarget->setText(QStringLiteral("Target"));
        ui->labelRun->setText(QStringLiteral("RunTime"));
        ui->tableWidget_axis->setHorizontalHeaderLabels({QStringLiteral("Name"), QStringLiteral("Abs"),
                                                         QStringLiteral("Mach"), QStringLiteral("Speed"),
                                                         QStringLiteral("Torque")});
    }

    // Precise timers: a coarse timer of the same interval as the card's status
    // poll would be lined up with it and land while the poll waits, every time.
    m_timer = new QTimer(this);
    m_timer->setTimerType(Qt::PreciseTimer);
    m_timer->setInterval(RefreshIntervalMs);
    connect(m_timer, &QTimer::timeout, this, &PosForm::onTick);

    m_retryTimer = new QTimer(this);
    m_retryTimer->setTimerType(Qt::PreciseTimer);
    m_retryTimer->setSingleShot(true);
    m_retryTimer->setInterval(BusyRetryMs);
    connect(m_retryTimer, &QTimer::timeout, this, &PosForm::updateStatus);
}

PosForm::~PosForm()
{
    delete ui;
}

void PosForm::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    m_timer->start();
}

void PosForm::hideEvent(QHideEvent *event)
{
    QWidget::hideEvent(event);
    m_timer->stop();
    m_retryTimer->stop();
}

void PosForm::onTick()
{
    if (m_updating)
        return; // our own read still waits; the outer call completes it
    ++m_tickCount;
    m_retryTimer->stop();
    QPointer<PosForm> self(this);
    updateStatus();
    if (!self)
        return;
    if (m_lastResult == ResultBusy && m_timer->isActive())
        m_retryTimer->start();
}

void PosForm::updateStatus()
{
    if (m_updating)
        return;

    PositionStatus status;
    QPointer<PosForm> self(this);
    m_updating = true;
    DeviceManager *devices = DeviceManager::instance();
    const int result = devices ? devices->readPosition(&status) : Result::NoDevice;
    if (!self)
        return; // the page went away while the read waited
    m_updating = false;
    m_lastResult = result;
    if (result != 0)
        return;

    const int rows = status.axisNames.size();
    setAxisCount(rows);
    // The device may hand over lists of differing lengths (a channel whose
    // axis set changed between reads); missing entries show as empty cells.
    for (int row = 0; row < rows; ++row) {
        setCell(row, 0, status.axisNames.at(row));
        setCell(row, 1, status.absolute.value(row));
        setCell(row, 2, status.machine.value(row));
        setCell(row, 3, row < status.speed.size() ? QString::number(status.speed.at(row)) : QString());
        setCell(row, 4, row < status.torque.size() ? QString::number(status.torque.at(row)) : QString());
    }

    ui->label_programName->setText(status.programName);
    ui->label_workStyle->setText(status.workMode);
    ui->label_piece->setText(QString::number(status.pieceCount));
    ui->label_pieceAim->setText(QString::number(status.pieceTarget));
    ui->label_runTime->setText(status.runTime);
    ui->label_circleTime->setText(status.cycleTime);
    ++m_refreshCount;
}

void PosForm::setAxisCount(int n)
{
    n = qMax(0, n);
    QTableWidget *table = ui->tableWidget_axis;
    const int oldCount = table->rowCount();
    if (oldCount == n)
        return;
    table->setRowCount(n);
    for (int row = oldCount; row < n; ++row) {
        for (int column = 0; column < ColumnCount; ++column)
            table->setItem(row, column, new QTableWidgetItem);
    }
}

void PosForm::setCell(int row, int column, const QString &text)
{
    QTableWidgetItem *item = ui->tableWidget_axis->item(row, column);
    if (!item) {
        item = new QTableWidgetItem;
        ui->tableWidget_axis->setItem(row, column, item);
    }
    item->setData(Qt::DisplayRole, text);
}
