#include "devices/devicewidget.h"

#include "config/configstore.h"
#include "link/modbusdevice.h"
#include "link/uploaddialog.h"
#include "ui_devicewidget.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QLabel>
#include <QMimeData>
#include <QMouseEvent>
#include <QRegExp>
#include <QRegExpValidator>
#include <QTabBar>
#include <QTimer>
#include <QUrl>

namespace {

// Four dotted decimal numbers from 0 to 255; checked while the operator types.
const char *const IpExpression = "\\b(?:(?:25[0-5]|2[0-4][0-9]|[01]?[0-9][0-9]?)\\.){3}"
                                 "(?:25[0-5]|2[0-4][0-9]|[01]?[0-9][0-9]?)\\b";

const char *const SelectProperty = "select";
// The state display picks its look by this property from one sheet set once:
// a new sheet at every change would be parsed again and held, a few kilobytes
// each time, for as long as the program runs.
const char *const StateProperty = "state";

// A label's `image` is loaded as a new icon at every polish, and its pixmaps
// pile up in the pixmap cache; a background image is loaded once and drawn at
// the same place when it is positioned within the contents.
QString withStillImage(const QString &style)
{
    QStringList declarations;
    for (const QString &declaration : style.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        const QString property = declaration.section(QLatin1Char(':'), 0, 0).trimmed();
        const QString value = declaration.section(QLatin1Char(':'), 1).trimmed();
        if (property == QLatin1String("image")) {
            declarations << QStringLiteral("background-image:") + value
                         << QStringLiteral("background-repeat:no-repeat")
                         << QStringLiteral("background-origin:content");
        } else if (property == QLatin1String("image-position")) {
            declarations << QStringLiteral("background-position:") + value + QStringLiteral(" center");
        } else {
            declarations << declaration;
        }
    }
    return declarations.join(QLatin1Char(';'));
}

} // namespace

deviceWidget::deviceWidget(QWidget *parent) : QTabWidget(parent), ui(new Ui::deviceWidget)
{
    ui->setupUi(this);
    setAcceptDrops(true);

    tabBar()->hide();
    ui->lineEdit_IP->setValidator(new QRegExpValidator(
        QRegExp(QString::fromLatin1(IpExpression), Qt::CaseSensitive, QRegExp::RegExp), ui->lineEdit_IP));
    setCurrentIndex(0);
    ui->label_address->hide();
    ui->spinBox_address->hide();
    if (ConfigStore::instance()->language() == 1)
        applyEnglishTexts();

    m_device = new ModbusDevice;
    m_pollTimer = new QTimer(this);
    m_pollTimer->setSingleShot(false);

    setSelected(false);
    setUpStateDisplay();
    refreshState();

    connect(ui->checkBox_toConnect, &QCheckBox::toggled, this, &deviceWidget::onSwitchToggled);
    connect(m_pollTimer, &QTimer::timeout, this, &deviceWidget::onPollTick);
    connect(ui->comboBox_type, &QComboBox::currentTextChanged, this, &deviceWidget::onSettingChanged);
    connect(ui->comboBox_model, &QComboBox::currentTextChanged, this, &deviceWidget::onSettingChanged);
    connect(ui->lineEdit_deviceName, &QLineEdit::textChanged, this, &deviceWidget::onSettingChanged);
    connect(ui->lineEdit_IP, &QLineEdit::textChanged, this, &deviceWidget::onSettingChanged);
    connect(ui->spinBox_address, QOverload<int>::of(&QSpinBox::valueChanged), this,
            &deviceWidget::onSettingChanged);
    connect(ui->pushButton_set, &QPushButton::clicked, this, [this] { setCurrentIndex(1); });
    connect(ui->pushButton_show, &QPushButton::clicked, this, [this] { setCurrentIndex(0); });
    connect(ui->pushButton_upload, &QPushButton::clicked, this, &deviceWidget::showUploadDialog);
}

deviceWidget::~deviceWidget()
{
    m_pollTimer->stop();
    // A card destroyed with its window while still switched on leaves no
    // link behind.
    if (ui->checkBox_toConnect->isChecked())
        m_device->close();
    if (m_uploadDialog) {
        m_uploadDialog->hide();
        m_uploadDialog->deleteLater();
    }
    m_device->releaseWhenIdle();
    delete ui;
}

void deviceWidget::applyEnglishTexts()
{
    ui->label_type->setText(QStringLiteral("Type"));
    ui->label_name->setText(QStringLiteral("Name"));
    ui->label_model->setText(QStringLiteral("Model"));
    ui->label_address->setText(QStringLiteral("Addr"));
    ui->label_IP->setText(QStringLiteral("IP"));
    ui->label_deviceName->setText(QStringLiteral("Device"));
}

void deviceWidget::setRecord(const DeviceRecord &record)
{
    m_device->setRecord(record);
    // Only 0 is a serial link; any other stored value is shown and held as
    // TCP, the one kind the device can still open.
    ui->comboBox_type->setCurrentIndex(record.Type == 0 ? 0 : 1);
    // A line edit cuts what it is given at its maximum length, and the cut
    // text would be stored back; texts from the file are kept whole.
    for (QLineEdit *edit : {ui->lineEdit_deviceName, ui->lineEdit_IP}) {
        const int length = edit == ui->lineEdit_IP ? record.IP.size() : record.Name.size();
        edit->setMaxLength(qMax(edit->maxLength(), length));
    }
    ui->lineEdit_deviceName->setText(record.Name);
    // A stored model past the last one is what the IO view reads as the last
    // model (its signal tables); show and hold it as that one, so the card
    // never shows another model than the one its signals are named by.
    const int lastModel = ui->comboBox_model->count() - 1;
    ui->comboBox_model->setCurrentIndex(qMin<int>(record.Model, lastModel));
    ui->spinBox_address->setValue(record.Address);
    ui->lineEdit_IP->setText(record.IP);

    // The boxes clamp the type, the model and the address but report a change
    // only when their shown value moves; hold what they show either way, so a
    // stored address 0 is never connected with or saved again.
    DeviceRecord held = m_device->record();
    held.Type = ui->comboBox_type->currentIndex() != 0 ? 1 : 0;
    held.Model = static_cast<quint8>(ui->comboBox_model->currentIndex());
    held.Address = static_cast<quint8>(ui->spinBox_address->value());
    if (!(held == m_device->record()))
        m_device->setRecord(held);
    showRowsForType(m_device->record().Type);
}

DeviceRecord deviceWidget::record() const
{
    return m_device->record();
}

void deviceWidget::onSettingChanged()
{
    QObject *from = sender();
    DeviceRecord rec = m_device->record();
    if (from == ui->comboBox_type) {
        rec.Type = ui->comboBox_type->currentIndex() != 0 ? 1 : 0;
        showRowsForType(rec.Type);
    } else if (from == ui->lineEdit_deviceName) {
        rec.Name = ui->lineEdit_deviceName->text();
        ui->label_deviceName->setText(rec.Name);
    } else if (from == ui->comboBox_model) {
        // No item chosen (-1) is not a model.
        if (ui->comboBox_model->currentIndex() < 0)
            return;
        rec.Model = static_cast<quint8>(ui->comboBox_model->currentIndex());
    } else if (from == ui->lineEdit_IP) {
        rec.IP = ui->lineEdit_IP->text();
    } else if (from == ui->spinBox_address) {
        rec.Address = static_cast<quint8>(ui->spinBox_address->value());
    } else {
        return;
    }
    m_device->setRecord(rec);
}

void deviceWidget::showRowsForType(int type)
{
    const bool serial = type == 0;
    ui->label_address->setVisible(serial);
    ui->spinBox_address->setVisible(serial);
    ui->label_IP->setVisible(!serial);
    ui->lineEdit_IP->setVisible(!serial);
}

void deviceWidget::setSelected(bool selected)
{
    ui->tab_show->setProperty(SelectProperty, selected);
    ui->label_deviceName->setProperty(SelectProperty, selected);
    // Property selectors are matched at polish time only: re-apply the sheets
    // so the new colours show at once.
    setStyleSheet(styleSheet());
    ui->label_deviceName->setStyleSheet(ui->label_deviceName->styleSheet());
}

void deviceWidget::onSwitchToggled(bool checked)
{
    if (checked) {
        m_device->open();
        m_pollTimer->start(PollIntervalMs);
    } else {
        m_pollTimer->stop();
        m_device->close();
        refreshState();
    }
}

void deviceWidget::onPollTick()
{
    QPointer<deviceWidget> self(this);
    if (!m_device->isReady())
        m_device->tryConnect();
    if (!self)
        return;
    refreshState();
}

void deviceWidget::refreshState()
{
    QPointer<deviceWidget> self(this);
    int code = m_device->pollState();
    // The poll may have waited in the device's event loop, where the card can
    // have been removed or switched off.
    if (!self)
        return;
    if (!ui->checkBox_toConnect->isChecked())
        code = m_device->stateCode();
    if (code == m_lastState)
        return;
    m_lastState = code;
    showState(code);
}

void deviceWidget::setUpStateDisplay()
{
    QStringList styles;
    ConfigStore::instance()->stateDisplay(&m_stateTexts, &styles);
    QString sheet;
    for (int code = 0; code < styles.size(); ++code)
        sheet += QStringLiteral("QLabel[%1=\"%2\"]{%3}")
                     .arg(QLatin1String(StateProperty))
                     .arg(code)
                     .arg(withStillImage(styles.at(code)));
    // A rule matches from the start, so the label is laid out with its padding.
    ui->label_state->setProperty(StateProperty, m_lastState);
    ui->label_state->setStyleSheet(sheet);
}

void deviceWidget::showState(int code)
{
    if (code >= 0 && code < m_stateTexts.size())
        ui->label_state->setText(m_stateTexts.at(code));
    QLabel *label = ui->label_state;
    label->setProperty(StateProperty, code);
    label->style()->unpolish(label);
    label->style()->polish(label);
}

void deviceWidget::releaseConnection()
{
    ui->checkBox_toConnect->setChecked(false);
}

void deviceWidget::showUploadDialog()
{
    if (!m_uploadDialog) {
        m_uploadDialog = new UpLoadDialog;
        m_uploadDialog->bindDevice(m_device);
    }
    m_uploadDialog->show();
}

ModbusDevice *deviceWidget::device() const
{
    return m_device;
}

UpLoadDialog *deviceWidget::uploadDialog() const
{
    return m_uploadDialog;
}

void deviceWidget::releaseWhenIdle()
{
    if (!m_releasing) {
        m_releasing = true;
        m_pollTimer->stop();
        // Nothing may start new transfers on a card that has left the list.
        if (m_uploadDialog)
            m_uploadDialog->hide();
    }
    if (m_device->isWaiting()) {
        QTimer::singleShot(ReleaseRetryMs, this, &deviceWidget::releaseWhenIdle);
        return;
    }
    deleteLater();
}

void deviceWidget::mouseDoubleClickEvent(QMouseEvent *event)
{
    event->accept();
    emit signDoubleClicked();
}

void deviceWidget::dragEnterEvent(QDragEnterEvent *event)
{
    if (event->mimeData()->hasUrls())
        event->acceptProposedAction();
    else
        event->ignore();
}

void deviceWidget::dropEvent(QDropEvent *event)
{
    if (!event->mimeData()->hasUrls()) {
        event->ignore();
        return;
    }
    QStringList paths;
    const QList<QUrl> urls = event->mimeData()->urls();
    for (const QUrl &url : urls) {
        // A web link or other non-file URL has no local path to upload.
        const QString path = url.toLocalFile();
        if (!path.isEmpty())
            paths << path;
    }
    event->acceptProposedAction();
    QPointer<deviceWidget> self(this);
    showUploadDialog();
    if (self && m_uploadDialog)
        m_uploadDialog->insertFiles(paths);
}
