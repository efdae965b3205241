#include "views/ioform.h"

#include "devices/devicemanager.h"
#include "link/devicestatus.h"
#include "link/protocol.h"
#include "ui_ioform.h"
#include "views/viewpoller.h"

#include <QCheckBox>
#include <QFile>
#include <QPointer>
#include <QTimer>

// The resource bundle is linked from a static library, where nothing else may
// reference its registration; without this the signal tables can be missing.
static void initSignalTableResources()
{
    Q_INIT_RESOURCE(resources);
}

namespace {
constexpr int GridSize = 8;
constexpr int LampSize = 50;

// The names are drawn in a smaller font than the window's: at the usual
// 12 pt a name such as "S-M30" or "DECX" is wider than the part of the 50-pixel
// cell right of where a check box starts its text, and was clipped.
const char LampStyle[] = "QCheckBox{padding-top:-15px;color:black;text-align:center;spacing:-16px;"
                         "font-size:11px;}"
                         "QCheckBox::indicator{top:22px;left:15px;border:1px solid black;border-radius:6px;"
                         "background-color: rgb(215, 215, 235);}"
                         "QCheckBox::indicator:checked{background-color: rgb(52, 255, 66);}";

bool signalBit(const QVector<quint16> &words, int signal)
{
    const int word = signal / 16;
    if (word >= words.size())
        return false; // a word the device did not deliver reads as 0
    return (words.at(word) >> (signal % 16)) & 1;
}
} // namespace

IoForm::IoForm(QWidget *parent) : QWidget(parent), ui(new Ui::IoForm)
{
    initSignalTableResources();
    ui->setupUi(this);

    for (QTableWidget *table : {ui->tableWidget_input, ui->tableWidget_output}) {
        table->setRowCount(GridSize);
        table->setColumnCount(GridSize);
    }
    m_inputLamps = createLamps(ui->tableWidget_input, InputLampCount);
    m_outputLamps = createLamps(ui->tableWidget_output, OutputLampCount);

    m_poller = new ViewPoller([this] { return readAndShow(); }, this);
    m_poller->fadeWhenStale({ui->tableWidget_input, ui->tableWidget_output});
    if (DeviceManager *devices = DeviceManager::instance())
        connect(devices, &DeviceManager::selectedDeviceChanged, this, &IoForm::dropShownController);
}

IoForm::~IoForm()
{
    delete ui;
}

// Each cell widget is a plain holder with the lamp inside. Item views show
// their cell widgets again whenever they lay themselves out, so hiding the
// cell widget itself would not last; a lamp hidden inside its holder stays
// hidden.
QVector<QCheckBox *> IoForm::createLamps(QTableWidget *table, int count)
{
    QVector<QCheckBox *> lamps;
    lamps.reserve(count);
    for (int i = 0; i < count; ++i) {
        auto *holder = new QWidget(this);
        holder->setFixedSize(LampSize, LampSize);
        auto *lamp = new QCheckBox(holder);
        lamp->setFixedSize(LampSize, LampSize);
        lamp->setStyleSheet(QLatin1String(LampStyle));
        table->setCellWidget(i / GridSize, i % GridSize, holder);
        lamps.append(lamp);
    }
    return lamps;
}

QCheckBox *IoForm::inputLamp(int index) const
{
    return m_inputLamps.value(index, nullptr);
}

QCheckBox *IoForm::outputLamp(int index) const
{
    return m_outputLamps.value(index, nullptr);
}

void IoForm::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    m_poller->start();
}

void IoForm::hideEvent(QHideEvent *event)
{
    QWidget::hideEvent(event);
    m_poller->stop();
}

int IoForm::tableIndex(int model)
{
    return (model == 0 || model == 1) ? model : 2;
}

void IoForm::loadTable(const QString &direction, int model, Table *table)
{
    ++m_tableReads;
    QFile file(QStringLiteral(":/define/%1_%2").arg(direction, SignalTable::modelSuffix(model)));
    if (!file.open(QIODevice::ReadOnly)) {
        table->entries.clear();
        table->loaded = false;
        return;
    }
    table->entries = SignalTable::parse(file.readAll());
    table->loaded = true;
}

void IoForm::loadInputTable(int model)
{
    loadTable(QStringLiteral("input"), model, &m_inputTables[tableIndex(model)]);
}

void IoForm::loadOutputTable(int model)
{
    loadTable(QStringLiteral("output"), model, &m_outputTables[tableIndex(model)]);
}

void IoForm::applyInputNames(int model)
{
    if (!m_inputTables[tableIndex(model)].loaded)
        loadInputTable(model);
    applyNames(m_inputTables[tableIndex(model)], m_inputLamps);
}

void IoForm::applyOutputNames(int model)
{
    if (!m_outputTables[tableIndex(model)].loaded)
        loadOutputTable(model);
    applyNames(m_outputTables[tableIndex(model)], m_outputLamps);
}

void IoForm::applyNames(const Table &table, const QVector<QCheckBox *> &lamps)
{
    const int used = qMin(table.entries.size(), lamps.size());
    for (int i = 0; i < lamps.size(); ++i) {
        QCheckBox *lamp = lamps.at(i);
        if (i < used) {
            const SignalTable::Entry &entry = table.entries.at(i);
            lamp->setText(entry.name);
            // Where the signal is: its pin, and its word and bit in the signal block.
            lamp->setToolTip(
                tr("%1\n引脚 %2\n地址 %3.%4").arg(entry.name, entry.pin).arg(i / 16).arg(i % 16));
            lamp->setVisible(true);
        } else {
            lamp->setText(QString());
            lamp->setToolTip(QString());
            lamp->setChecked(false);
            lamp->setVisible(false);
        }
    }
}

void IoForm::showSignals(const QVector<quint16> &words, const Table &table, const QVector<QCheckBox *> &lamps)
{
    const int used = qMin(table.entries.size(), lamps.size());
    for (int k = 0; k < used; ++k)
        lamps.at(k)->setChecked(signalBit(words, k));
}

// Back to the page as it starts: every lamp out and unnamed until the new
// controller tells its model.
void IoForm::dropShownController()
{
    ++m_selection;
    m_model = NoModel;
    for (const QVector<QCheckBox *> &lamps : {m_inputLamps, m_outputLamps}) {
        for (QCheckBox *lamp : lamps) {
            lamp->setChecked(false);
            lamp->setText(QString());
            lamp->setToolTip(QString());
            lamp->setVisible(true);
        }
    }
    if (m_poller->isActive())
        QTimer::singleShot(0, m_poller, &ViewPoller::refresh);
}

void IoForm::updateIo()
{
    m_poller->refresh();
}

int IoForm::readAndShow()
{
    IoStatus status;
    QPointer<IoForm> self(this);
    const quint64 selection = m_selection;
    DeviceManager *devices = DeviceManager::instance();
    const int result = devices ? devices->readIo(&status) : Result::NoDevice;
    if (!self || result != Result::Ok)
        return result; // gone while the read waited, or nothing to show
    if (selection != m_selection)
        return Result::Busy; // the signals are of a controller no longer selected: read again

    if (status.model != m_model) {
        m_model = status.model;
        applyInputNames(m_model);
        applyOutputNames(m_model);
    }
    showSignals(status.inputs, m_inputTables[tableIndex(m_model)], m_inputLamps);
    showSignals(status.outputs, m_outputTables[tableIndex(m_model)], m_outputLamps);
    return result;
}
