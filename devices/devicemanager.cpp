#include "devices/devicemanager.h"

#include "config/configstore.h"
#include "devices/devicewidget.h"
#include "link/devicefleet.h"
#include "link/modbusdevice.h"
#include "ui_devicemanager.h"

#include <QTimer>

namespace {
QPointer<DeviceManager> s_instance;
bool s_built = false;
} // namespace

DeviceManager *DeviceManager::instance()
{
    if (!s_instance && !s_built) {
        s_built = true;
        s_instance = new DeviceManager;
    }
    return s_instance;
}

DeviceManager *DeviceManager::existing()
{
    return s_instance;
}

void DeviceManager::resetInstanceForTesting()
{
    delete s_instance.data();
    s_built = false;
}

DeviceManager::DeviceManager(QWidget *parent)
    : QWidget(parent), ui(new Ui::DeviceManager), m_fleet(new DeviceFleet(this))
{
    ui->setupUi(this);

    deviceWidget::shareLook(ui->scrollAreaWidgetContents);
    ConfigStore *config = ConfigStore::instance();
    const QList<DeviceRecord> stored = config->devices();
    for (const DeviceRecord &record : stored)
        addCard(record);
    // From now on the cards hold the records, and each save takes them here.
    config->setRecordSource(this, [this] { return deviceRecords(); });

    connect(ui->pushButton_addDevice, &QPushButton::clicked, this, [this] { addDevice(); });
    connect(ui->pushButton_removeDevice, &QPushButton::clicked, this, &DeviceManager::removeSelectedDevice);
}

DeviceManager::~DeviceManager()
{
    // Nothing left to save from: the main window saved before the list went.
    ConfigStore::instance()->cancelSaveSoon();
    ConfigStore::instance()->setRecordSource(nullptr, {});
    // The observers hear of every card leaving while the cards are whole.
    for (const deviceWidget *card : qAsConst(m_cards))
        m_fleet->remove(card->watch());
    delete ui;
}

QString DeviceManager::noSelectionText() const
{
    return tr("无");
}

void DeviceManager::addDevice()
{
    // Two cards of one name could not be told apart in a list, a command line
    // or a history band.
    DeviceRecord record = DeviceRecord::newDevice();
    QStringList names;
    for (const deviceWidget *card : qAsConst(m_cards))
        names.append(card->record().Name);
    record.Name = DeviceRecord::unusedName(record.Name, names);
    addDevice(record);
}

void DeviceManager::addDevice(const DeviceRecord &record)
{
    addCard(record);
    ConfigStore::instance()->saveSoon();
    // The new card is the last: shown, however long the list.
    QWidget *card = m_cards.last();
    QTimer::singleShot(0, card, [this, card] {
        ui->scrollAreaWidgetContents->layout()->activate();
        ui->scrollArea->ensureWidgetVisible(card);
    });
}

void DeviceManager::addCard(const DeviceRecord &record)
{
    auto *card = new deviceWidget(ui->scrollAreaWidgetContents);
    DeviceRecord held = record;
    if (held.Id.isEmpty())
        held.Id = DeviceRecord::newId();
    card->setRecord(held);
    m_cards.append(card);
    connect(card, &deviceWidget::signDoubleClicked, this, &DeviceManager::selectDevice);
    connect(card, &deviceWidget::historyRequested, this,
            [this, card] { emit historyRequested(card->record().Name); });
    connect(card, &deviceWidget::backupRequested, this, [this, card] { emit backupRequested(card); });
    connect(card, &deviceWidget::restoreRequested, this, [this, card] { emit restoreRequested(card); });
    connect(card, &deviceWidget::stopReasonChosen, this,
            [this, card](int reason) { emit stopReasonChosen(card, reason); });
    ui->verticalLayout_devices->addWidget(card, 0, Qt::AlignTop);
    m_fleet->add(card->watch());
    // What was running when the list was saved runs again.
    if (record.On)
        card->setSwitchedOn(true);
}

void DeviceManager::removeSelectedDevice()
{
    if (!m_selected)
        return;
    deviceWidget *card = m_selected;
    m_selected = nullptr;

    card->releaseConnection();
    m_fleet->remove(card->watch());
    disconnect(card, nullptr, this, nullptr);
    ui->verticalLayout_devices->removeWidget(card);
    card->setParent(nullptr);
    card->hide();
    m_cards.removeAll(card);
    ui->label_selectDevice->setText(noSelectionText());
    card->releaseWhenIdle();
    ConfigStore::instance()->saveSoon();
    emit selectedDeviceChanged();
}

void DeviceManager::selectDevice()
{
    auto *card = qobject_cast<deviceWidget *>(sender());
    if (!card || !m_cards.contains(card))
        return;
    if (m_selected == card)
        return;
    if (m_selected)
        m_selected->setSelected(false);
    m_selected = card;
    card->setSelected(true);
    ui->label_selectDevice->setText(card->record().Name);
    emit selectedDeviceChanged();
}

deviceWidget *DeviceManager::selectedDevice() const
{
    return m_selected;
}

ModbusDevice *DeviceManager::selectedModbusDevice()
{
    const DeviceManager *list = existing();
    const deviceWidget *card = list ? list->selectedDevice() : nullptr;
    return card ? card->device() : nullptr;
}

QList<DeviceRecord> DeviceManager::deviceRecords() const
{
    QList<DeviceRecord> records;
    records.reserve(m_cards.size());
    for (const deviceWidget *card : m_cards)
        records.append(card->record());
    return records;
}

QList<deviceWidget *> DeviceManager::cards() const
{
    return m_cards;
}

DeviceFleet *DeviceManager::fleet() const
{
    return m_fleet;
}

int DeviceManager::readPosition(PositionStatus *status)
{
    return m_selected ? m_selected->device()->readPosition(status) : 1;
}

int DeviceManager::readIo(IoStatus *status)
{
    return m_selected ? m_selected->device()->readIo(status) : 1;
}

int DeviceManager::readProgramList(QList<ProgramEntry> *list, bool reload)
{
    return m_selected ? m_selected->device()->readProgramList(list, reload) : 1;
}

int DeviceManager::readProgram(QByteArray *bytes, int number)
{
    return m_selected ? m_selected->device()->readProgram(bytes, number) : 1;
}

int DeviceManager::writeProgram(const QByteArray &bytes, int number)
{
    return m_selected ? m_selected->device()->writeProgram(bytes, number) : 1;
}

int DeviceManager::deleteProgram(int number)
{
    return m_selected ? m_selected->device()->deleteProgram(number) : 1;
}

int DeviceManager::readSystemFile(QByteArray *bytes, const QString &name)
{
    return m_selected ? m_selected->device()->readSystemFile(bytes, name) : 1;
}
