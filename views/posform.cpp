#include "views/posform.h"

#include "devices/devicemanager.h"
#include "link/devicestatus.h"
#include "link/protocol.h"
#include "ui_posform.h"
#include "views/viewpoller.h"

#include <QHeaderView>
#include <QPointer>
#include <QTimer>

namespace {
constexpr int ColumnCount = 5;
} // namespace

PosForm::PosForm(QWidget *parent) : QWidget(parent), ui(new Ui::PosForm)
{
    ui->setupUi(this);
    ui->tableWidget_axis->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);

    m_poller = new ViewPoller([this] { return readAndShow(); }, this);
    m_poller->fadeWhenStale({ui->tableWidget_axis, ui->frame});
    if (DeviceManager *devices = DeviceManager::instance())
        connect(devices, &DeviceManager::selectedDeviceChanged, this, &PosForm::dropShownController);
}

PosForm::~PosForm()
{
    delete ui;
}

void PosForm::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    m_poller->start();
}

void PosForm::hideEvent(QHideEvent *event)
{
    QWidget::hideEvent(event);
    m_poller->stop();
}

void PosForm::updateStatus()
{
    m_poller->refresh();
}

int PosForm::readAndShow()
{
    PositionStatus status;
    QPointer<PosForm> self(this);
    const quint64 selection = m_selection;
    DeviceManager *devices = DeviceManager::instance();
    const int result = devices ? devices->readPosition(&status) : Result::NoDevice;
    if (!self || result != Result::Ok)
        return result; // gone while the read waited, or nothing to show
    if (selection != m_selection)
        return Result::Busy; // the values are of a controller no longer selected: read again

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
    return result;
}

void PosForm::dropShownController()
{
    ++m_selection;
    setAxisCount(0);
    for (QLabel *value : {ui->label_programName, ui->label_workStyle, ui->label_piece, ui->label_pieceAim,
                          ui->label_runTime, ui->label_circleTime})
        value->clear();
    if (m_poller->isActive())
        QTimer::singleShot(0, m_poller, &ViewPoller::refresh);
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
