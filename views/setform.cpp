#include "views/setform.h"

#include "archive/archivestore.h"
#include "archive/backuprunner.h"
#include "config/configstore.h"
#include "config/translations.h"
#include "ui_setform.h"
#include "views/mqttsetbox.h"
#include "views/stopsetbox.h"
#include "views/websetbox.h"

#include <QCheckBox>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMap>
#include <QSerialPortInfo>
#include <QSpinBox>
#include <QTime>

namespace {

QStringList systemPorts()
{
    QStringList names;
    const QList<QSerialPortInfo> ports = QSerialPortInfo::availablePorts();
    for (const QSerialPortInfo &port : ports)
        names.append(port.portName());
    return names;
}

QList<SetForm::NetworkInterface> systemInterfaces()
{
    QList<SetForm::NetworkInterface> list;
    const QList<QNetworkInterface> interfaces = QNetworkInterface::allInterfaces();
    for (const QNetworkInterface &i : interfaces) {
        SetForm::NetworkInterface entry;
        entry.type = i.type();
        entry.flags = i.flags();
        const QList<QNetworkAddressEntry> addresses = i.addressEntries();
        for (const QNetworkAddressEntry &a : addresses)
            entry.addresses.append(a.ip());
        list.append(entry);
    }
    return list;
}

SetForm::PortLister &portLister()
{
    static SetForm::PortLister lister;
    return lister;
}

SetForm::InterfaceLister &interfaceLister()
{
    static SetForm::InterfaceLister lister;
    return lister;
}

// Selecting by a text that no item has keeps the current item.
void selectText(QComboBox *box, const QString &text)
{
    const int index = box->findText(text);
    if (index >= 0)
        box->setCurrentIndex(index);
}

} // namespace

SetForm::SetForm(QWidget *parent) : QWidget(parent), ui(new Ui::SetForm)
{
    ui->setupUi(this);
    m_mqtt = new MqttSetBox(this);
    ui->gridLayout->addWidget(m_mqtt, 2, 0, 1, 2);
    m_web = new WebSetBox(this);
    ui->gridLayout->addWidget(m_web, 3, 0, 1, 2);
    m_stops = new StopSetBox(this);
    ui->gridLayout->removeItem(ui->verticalSpacer);
    ui->gridLayout->addWidget(m_stops, 4, 0, 1, 2);
    ui->gridLayout->addItem(ui->verticalSpacer, 5, 0, 1, 2);
    addArchiveSettings();
    listSerialPorts();
    showPcAddress();
    load();
    orderTabs();
    connect(ui->pushButton_store, &QPushButton::clicked, this, &SetForm::store);
    // Ports plugged in and addresses taken after the start are found again on demand.
    connect(ui->btn_refreshSerial, &QPushButton::clicked, this, &SetForm::listSerialPorts);
    connect(ui->pushButton_pcIP, &QPushButton::clicked, this, &SetForm::showPcAddress);
}

SetForm::~SetForm()
{
    delete ui;
}

void SetForm::setSystemListers(PortLister ports, InterfaceLister interfaces)
{
    portLister() = std::move(ports);
    interfaceLister() = std::move(interfaces);
}

QString SetForm::pcAddress(const QList<NetworkInterface> &interfaces)
{
    QString address;
    for (const NetworkInterface &i : interfaces) {
        // Whether the interface is up is not asked: a cable plugged in later
        // brings the same address.
        if (i.type != QNetworkInterface::Ethernet || i.flags.testFlag(QNetworkInterface::IsLoopBack))
            continue;
        for (const QHostAddress &ip : i.addresses) {
            if (ip.protocol() == QAbstractSocket::IPv4Protocol)
                address = ip.toString();
        }
    }
    return address;
}

void SetForm::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    // Edits that were not stored are dropped each time the page comes back.
    load();
}

void SetForm::addArchiveSettings()
{
    m_archive = new QCheckBox(ui->groupBox_other);
    m_archive->setObjectName(QStringLiteral("checkBox_archive"));
    m_archiveFolder = new QLineEdit(ui->groupBox_other);
    m_archiveFolder->setObjectName(QStringLiteral("lineEdit_archiveFolder"));
    m_archiveKeep = new QSpinBox(ui->groupBox_other);
    m_archiveKeep->setObjectName(QStringLiteral("spinBox_archiveKeep"));
    m_archiveKeep->setRange(1, 10000);
    m_backupFolder = new QLineEdit(ui->groupBox_other);
    m_backupFolder->setObjectName(QStringLiteral("lineEdit_backupFolder"));

    QGridLayout *grid = ui->gridLayout_other;
    grid->removeWidget(ui->pushButton_store);
    grid->addWidget(m_archive, 2, 0, 1, 2);
    m_archiveFolderLabel = new QLabel(ui->groupBox_other);
    m_archiveKeepLabel = new QLabel(ui->groupBox_other);
    m_backupFolderLabel = new QLabel(ui->groupBox_other);
    grid->addWidget(m_archiveFolderLabel, 3, 0);
    grid->addWidget(m_archiveFolder, 3, 1);
    grid->addWidget(m_archiveKeepLabel, 4, 0);
    grid->addWidget(m_archiveKeep, 4, 1);
    grid->addWidget(m_backupFolderLabel, 5, 0);
    grid->addWidget(m_backupFolder, 5, 1);
    grid->addWidget(ui->pushButton_store, 6, 1);

    // What the store did, and the settings that wait for the next start.
    m_storeStatus = new QLabel(ui->groupBox_other);
    m_storeStatus->setObjectName(QStringLiteral("label_storeStatus"));
    m_storeStatus->setWordWrap(true);
    grid->addWidget(m_storeStatus, 6, 0);
    for (int row : {0, 1}) {
        auto *note = new QLabel(ui->groupBox_other);
        note->setObjectName(QStringLiteral("label_nextStart%1").arg(row));
        note->setStyleSheet(QStringLiteral("color: rgb(110, 110, 110); font: 8pt;"));
        grid->addWidget(note, row, 2);
        m_nextStart.append(note);
    }
}

// Down each column of the page, then the broker's box: the order the groups
// are read in, whatever order their widgets were made in.
void SetForm::orderTabs()
{
    QWidget *previous = nullptr;
    for (QGroupBox *group : {ui->groupBox_net, ui->groupBox_rtu, ui->groupBox_par, ui->groupBox_other,
                             static_cast<QGroupBox *>(m_mqtt), static_cast<QGroupBox *>(m_web)}) {
        auto *grid = qobject_cast<QGridLayout *>(group->layout());
        if (!grid)
            continue;
        QMap<QPair<int, int>, QWidget *> cells;
        for (int i = 0; i < grid->count(); ++i) {
            QWidget *widget = grid->itemAt(i)->widget();
            int row = 0, column = 0, rows = 0, columns = 0;
            grid->getItemPosition(i, &row, &column, &rows, &columns);
            if (widget && (widget->focusPolicy() & Qt::TabFocus))
                cells.insert({row, column}, widget);
        }
        for (QWidget *widget : qAsConst(cells)) {
            if (previous)
                setTabOrder(previous, widget);
            previous = widget;
        }
    }
}

// Set at every load: a language stored here shows on this page at once.
void SetForm::showArchiveTexts()
{
    m_archive->setText(tr("替换或删除前先存档"));
    m_archiveFolderLabel->setText(tr("存档文件夹"));
    m_archiveKeepLabel->setText(tr("每个名称保留版本数"));
    m_backupFolderLabel->setText(tr("备份文件夹"));
    // Short enough to be read whole; the tool tip says where it is.
    m_backupFolder->setPlaceholderText(tr("默认: backups/"));
    m_backupFolder->setToolTip(tr("留空: Configure.xml 旁的 backups/ 文件夹"));
    m_archiveFolder->setPlaceholderText(tr("默认: archive/"));
    m_archiveFolder->setToolTip(tr("留空: %1").arg(QDir::toNativeSeparators(ArchiveStore::defaultRoot())));
    for (QLabel *note : qAsConst(m_nextStart))
        note->setText(tr("下次启动生效"));
}

void SetForm::listSerialPorts()
{
    const QString current = ui->comBox_serialPort->currentText();
    const QStringList names = portLister() ? portLister()() : systemPorts();
    ui->comBox_serialPort->clear();
    for (int i = 0; i < names.size(); ++i)
        ui->comBox_serialPort->addItem(names.at(i), i);
    selectPort(current);
}

// A port the PC does not list now (a USB adapter unplugged for a moment, a
// pseudo-terminal, a device path) stays selectable as an extra item: storing
// the page must never swap the stored port for whichever port happens to be
// listed first.
void SetForm::selectPort(const QString &name)
{
    QComboBox *box = ui->comBox_serialPort;
    if (name.isEmpty())
        return;
    int index = box->findText(name);
    if (index < 0) {
        box->addItem(name, UnlistedPort);
        index = box->count() - 1;
        box->setItemData(index, tr("本机当前未找到此串口"), Qt::ToolTipRole);
    }
    box->setCurrentIndex(index);
}

void SetForm::showPcAddress()
{
    const QString address = pcAddress(interfaceLister() ? interfaceLister()() : systemInterfaces());
    ui->label_pcIp->setText(address.isEmpty() ? QStringLiteral("ip") : address);
}

void SetForm::load()
{
    // In the language stored last: the page shows a new language the next
    // time it is shown.
    ui->retranslateUi(this);
    const ConfigStore *config = ConfigStore::instance();
    const ModbusSettings settings = config->modbusSettings();
    selectPort(settings.Port.toString());
    // The item index is the parity code; a code without an item shows none.
    ui->comBox_parity->setCurrentIndex(settings.Parity.toInt());
    selectText(ui->comBox_baud, settings.BaudRate.toString());
    selectText(ui->comboBox_data, settings.DataBits.toString());
    selectText(ui->comboBox_stop, settings.StopBits.toString());
    ui->spinBox_delayTime->setValue(settings.Timeout);
    ui->spinBox_retries->setValue(settings.NumberOfRetries);
    ui->checkBox_verify->setChecked(config->verifyAfterWrite());
    ui->spinBox_historyDays->setValue(config->historyRetentionDays());
    // Every language flag other than 1 means Chinese.
    ui->comboBox_language->setCurrentIndex(config->language() == 1 ? 1 : 0);
    m_archive->setChecked(config->archiveEnabled());
    m_archiveFolder->setText(config->archiveFolder());
    m_archiveKeep->setValue(config->archiveKeep());
    m_backupFolder->setText(config->backupFolder());
    showArchiveTexts();
    m_mqtt->load();
    m_web->load();
    m_stops->load();
    m_storeStatus->clear();
}

void SetForm::store()
{
    ConfigStore *config = ConfigStore::instance();
    // Only what the page edits is replaced; the TCP port is shown, not edited.
    ModbusSettings settings = config->modbusSettings();
    settings.Port = ui->comBox_serialPort->currentText();
    settings.Parity = ui->comBox_parity->currentIndex();
    settings.BaudRate = ui->comBox_baud->currentText();
    settings.DataBits = ui->comboBox_data->currentText();
    settings.StopBits = ui->comboBox_stop->currentText();
    settings.Timeout = ui->spinBox_delayTime->value();
    settings.NumberOfRetries = static_cast<quint8>(ui->spinBox_retries->value());
    config->setModbusSettings(settings);
    config->setVerifyAfterWrite(ui->checkBox_verify->isChecked());
    config->setLanguage(ui->comboBox_language->currentIndex());
    m_mqtt->store();
    m_web->store();
    m_stops->store();
    config->setArchiveEnabled(m_archive->isChecked());
    config->setArchiveFolder(m_archiveFolder->text().trimmed());
    config->setArchiveKeep(m_archiveKeep->value());
    config->setBackupFolder(m_backupFolder->text().trimmed());
    config->setHistoryRetentionDays(ui->spinBox_historyDays->value());
    // Texts made from now on are in the stored language, as after a restart.
    Translations::install(config->language());
    config->saveSoon();
    m_storeStatus->setText(tr("已保存 %1").arg(QTime::currentTime().toString(QStringLiteral("HH:mm:ss"))));
}
