#include "devices/devicewidget.h"

#include "config/configstore.h"
#include "devices/statelook.h"
#include "devices/stopmark.h"
#include "devices/uploaddialog.h"
#include "link/devicewatch.h"
#include "link/modbusdevice.h"
#include "ui_devicesettings.h"
#include "ui_devicewidget.h"

#include <QContextMenuEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QLabel>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QRegExp>
#include <QRegExpValidator>
#include <QTabBar>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>

namespace {

// Four dotted decimal numbers from 0 to 255; checked while the operator types.
const char *const IpExpression = "\\b(?:(?:25[0-5]|2[0-4][0-9]|[01]?[0-9][0-9]?)\\.){3}"
                                 "(?:25[0-5]|2[0-4][0-9]|[01]?[0-9][0-9]?)\\b";

// The card's look: one sheet for all the cards of the list, set once on the
// list (or on a card that stands alone). Sheets of their own on the widgets of
// every card would each be parsed and matched again for every card, which with
// many devices is much of the start-up.
const char *const CardRules = R"(
deviceWidget{background: transparent; border: 1px solid transparent;}
deviceWidget::pane{background: transparent; border: 1px solid transparent;}
deviceWidget QTabBar{background: transparent; border: 1px solid transparent;}
deviceWidget #tab_show[select="false"]{background-color: rgb(35, 105, 255); border-radius: 15px;}
deviceWidget #tab_show[select="true"]{background-color: rgb(30, 30, 225); border-radius: 15px;}
deviceWidget QLabel#label_deviceName[select="false"]{font: 700 10pt "微软雅黑"; color: rgb(238, 238, 238);}
deviceWidget QLabel#label_deviceName[select="true"]{font: 700 10pt "微软雅黑"; color: rgb(255, 255, 0);}
deviceWidget QPushButton#pushButton_upload{border-image: url(:/image/updown.png);}
deviceWidget QCheckBox#checkBox_toConnect::indicator{min-width: 24px; border: 1px solid transparent; border-radius: 2px; border-image: url(:/image/unconnect.png);}
deviceWidget QCheckBox#checkBox_toConnect::indicator:checked{border-image: url(:/image/toconnect.png);}
deviceWidget QCheckBox#checkBox_toConnect::indicator:hover{background-color: rgb(43, 163, 255);}
deviceWidget QPushButton#pushButton_set{border-image: url(:/image/deviceSet.png);}
deviceWidget #tab_setting QLabel{font: 700 9pt "微软雅黑"; color: rgb(245, 245, 245);}
deviceWidget #tab_setting{background-color: rgb(35, 105, 255); border-radius: 15px;}
deviceWidget QPushButton#pushButton_show{border-image: url(:/image/deviceShow.png);}
)";

// Set on a widget whose sheet holds the card's look for the cards inside it.
const char *const SharedLookProperty = "deviceCardLook";

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

// The rules of the five state looks, chosen by the state display's `state`
// property: set once, never replaced at a change.
QString stateRules()
{
    const QStringList styles = StateLook::styles();
    QString rules;
    for (int code = 0; code < styles.size(); ++code)
        rules += QStringLiteral("deviceWidget QLabel#label_state[%1=\"%2\"]{%3}\n")
                     .arg(QLatin1String(StateProperty))
                     .arg(code)
                     .arg(withStillImage(styles.at(code)));
    // The mark of a stop without a reason, in the same sheet.
    rules += QStringLiteral("deviceWidget QLabel#stopReasonMark{color:white;background:rgb(230,120,0);"
                            "border-radius:8px;font-weight:bold;}\n");
    return rules;
}

bool hasSharedLook(const QWidget *widget)
{
    for (; widget; widget = widget->parentWidget()) {
        if (widget->property(SharedLookProperty).toBool())
            return true;
    }
    return false;
}

// The size the setting page will ask for once it is built, measured once per
// run on a page built for the purpose inside a card's (styled) placeholder.
QSize settingsPageSize(QWidget *placeholder)
{
    static QSize size;
    if (!size.isValid()) {
        QWidget probe(placeholder);
        Ui::deviceSettings page;
        page.setupUi(&probe);
        page.label_address->hide(); // a new card is TCP
        page.spinBox_address->hide();
        probe.ensurePolished();
        size = probe.sizeHint();
    }
    return size;
}

void repolish(QWidget *widget)
{
    widget->style()->unpolish(widget);
    widget->style()->polish(widget);
}

} // namespace

QString deviceWidget::lookSheet()
{
    return QString::fromUtf8(CardRules) + stateRules();
}

void deviceWidget::shareLook(QWidget *list)
{
    list->setStyleSheet(list->styleSheet() + lookSheet());
    list->setProperty(SharedLookProperty, true);
}

deviceWidget::deviceWidget(QWidget *parent) : QTabWidget(parent), ui(new Ui::deviceWidget)
{
    // Before the widgets exist, so that each is styled once.
    if (!hasSharedLook(parent))
        setStyleSheet(lookSheet());
    ui->setupUi(this);
    setAcceptDrops(true);

    tabBar()->hide();
    setCurrentIndex(0);
    // Until it is built the setting page keeps its room: the card has the size
    // it will have then.
    auto *room = new QVBoxLayout(ui->tab_setting);
    room->setContentsMargins(0, 0, 0, 0);
    const QSize pageSize = settingsPageSize(ui->tab_setting);
    room->addItem(new QSpacerItem(pageSize.width(), pageSize.height()));

    m_device = new ModbusDevice;
    m_watch = new DeviceWatch(m_device, this);

    m_stopMark = new StopMark(ui->tab_show);
    ui->gridLayout_2->addWidget(m_stopMark, 1, 4, Qt::AlignCenter);
    setSelected(false);
    setUpStateDisplay();
    showState(m_device->stateCode());

    connect(ui->checkBox_toConnect, &QCheckBox::toggled, this, &deviceWidget::onSwitchToggled);
    connect(m_watch, &DeviceWatch::snapshotChanged, this, [this](const DeviceSnapshot &snapshot) {
        showState(snapshot.state);
        m_stopMark->noteState(m_watch->isOn(), snapshot.state);
    });
    connect(ui->pushButton_set, &QPushButton::clicked, this, [this] { setCurrentIndex(1); });
    connect(ui->pushButton_upload, &QPushButton::clicked, this, &deviceWidget::showUploadDialog);
    // The setting page is built the first time it is shown, whoever shows it.
    connect(this, &QTabWidget::currentChanged, this, [this](int index) {
        if (index == 1)
            buildSettingsPage();
    });
}

deviceWidget::~deviceWidget()
{
    m_watch->stopTicks();
    // A card destroyed with its window while still switched on leaves no
    // link behind.
    if (ui->checkBox_toConnect->isChecked())
        m_device->close();
    if (m_uploadDialog) {
        m_uploadDialog->hide();
        m_uploadDialog->deleteLater();
    }
    // They run on this card's device: cancelled, and gone with the card.
    for (const QPointer<QDialog> &dialog : qAsConst(m_heldDialogs)) {
        if (dialog) {
            dialog->close();
            dialog->deleteLater();
        }
    }
    m_device->releaseWhenIdle();
    delete m_settings;
    delete ui;
}

// Most cards are never set up by hand, and the page's boxes cost more to build
// than the rest of the card: it is made when first shown, from the record.
void deviceWidget::buildSettingsPage()
{
    if (m_settings)
        return;
    delete ui->tab_setting->layout(); // the room kept for the page
    m_settings = new Ui::deviceSettings;
    Ui::deviceSettings *page = m_settings;
    page->setupUi(ui->tab_setting);
    page->lineEdit_IP->setValidator(new QRegExpValidator(
        QRegExp(QString::fromLatin1(IpExpression), Qt::CaseSensitive, QRegExp::RegExp), page->lineEdit_IP));
    fillSettingsPage(m_device->record());
    // Children made after their parent was shown stay hidden unless shown;
    // those the type rule left alone show with the page.
    if (ui->tab_setting->isVisible()) {
        for (QWidget *child :
             ui->tab_setting->findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly)) {
            if (!child->testAttribute(Qt::WA_WState_ExplicitShowHide))
                child->show();
        }
    }

    connect(page->comboBox_type, &QComboBox::currentTextChanged, this, &deviceWidget::onSettingChanged);
    connect(page->comboBox_model, &QComboBox::currentTextChanged, this, &deviceWidget::onSettingChanged);
    connect(page->lineEdit_deviceName, &QLineEdit::textChanged, this, &deviceWidget::onSettingChanged);
    connect(page->lineEdit_IP, &QLineEdit::textChanged, this, &deviceWidget::onSettingChanged);
    connect(page->spinBox_address, QOverload<int>::of(&QSpinBox::valueChanged), this,
            &deviceWidget::onSettingChanged);
    connect(page->pushButton_show, &QPushButton::clicked, this, [this] { setCurrentIndex(0); });
}

void deviceWidget::fillSettingsPage(const DeviceRecord &record)
{
    m_settings->comboBox_type->setCurrentIndex(record.Type);
    // A line edit cuts what it is given at its maximum length, and the cut
    // text would be stored back; texts from the file are kept whole.
    for (QLineEdit *edit : {m_settings->lineEdit_deviceName, m_settings->lineEdit_IP}) {
        const int length = edit == m_settings->lineEdit_IP ? record.IP.size() : record.Name.size();
        edit->setMaxLength(qMax(edit->maxLength(), length));
    }
    m_settings->lineEdit_deviceName->setText(record.Name);
    m_settings->comboBox_model->setCurrentIndex(record.Model);
    m_settings->spinBox_address->setValue(record.Address);
    m_settings->lineEdit_IP->setText(record.IP);
    showRowsForType(record.Type);
}

void deviceWidget::setRecord(const DeviceRecord &record)
{
    // Held as the setting page's boxes show it (the address box starts at 1,
    // the model box ends at the last model), so what is shown is what is
    // connected with and saved.
    const DeviceRecord held = record.cleaned();
    m_device->setRecord(held);
    if (m_settings)
        fillSettingsPage(held);
    showName(held.Name);
}

// The name label follows the name field, which starts empty: a card whose
// record has no name keeps the label's placeholder until a name is set.
void deviceWidget::showName(const QString &name)
{
    if (name == m_nameField)
        return;
    m_nameField = name;
    ui->label_deviceName->setText(name);
}

DeviceRecord deviceWidget::record() const
{
    DeviceRecord record = m_device->record();
    record.On = ui->checkBox_toConnect->isChecked();
    return record;
}

void deviceWidget::setSwitchedOn(bool on)
{
    ui->checkBox_toConnect->setChecked(on);
}

void deviceWidget::onSettingChanged()
{
    QObject *from = sender();
    DeviceRecord rec = m_device->record();
    if (from == m_settings->comboBox_type) {
        rec.Type = m_settings->comboBox_type->currentIndex() != 0 ? 1 : 0;
        showRowsForType(rec.Type);
    } else if (from == m_settings->lineEdit_deviceName) {
        rec.Name = m_settings->lineEdit_deviceName->text();
        showName(rec.Name);
    } else if (from == m_settings->comboBox_model) {
        // No item chosen (-1) is not a model.
        if (m_settings->comboBox_model->currentIndex() < 0)
            return;
        rec.Model = static_cast<quint8>(m_settings->comboBox_model->currentIndex());
    } else if (from == m_settings->lineEdit_IP) {
        rec.IP = m_settings->lineEdit_IP->text();
    } else if (from == m_settings->spinBox_address) {
        rec.Address = static_cast<quint8>(m_settings->spinBox_address->value());
    } else {
        return;
    }
    m_device->setRecord(rec);
    ConfigStore::instance()->saveSoon();
}

void deviceWidget::showRowsForType(int type)
{
    const bool serial = type == 0;
    m_settings->label_address->setVisible(serial);
    m_settings->spinBox_address->setVisible(serial);
    m_settings->label_IP->setVisible(!serial);
    m_settings->lineEdit_IP->setVisible(!serial);
}

void deviceWidget::setSelected(bool selected)
{
    // Property selectors are matched at polish time only: the two widgets are
    // polished again so the new colours show at once.
    for (QWidget *widget :
         {static_cast<QWidget *>(ui->tab_show), static_cast<QWidget *>(ui->label_deviceName)}) {
        if (widget->property(SelectProperty).toBool() == selected)
            continue;
        widget->setProperty(SelectProperty, selected);
        repolish(widget);
    }
}

void deviceWidget::onSwitchToggled(bool checked)
{
    m_watch->setOn(checked);
    m_stopMark->noteState(checked, m_lastState);
    // Kept for the next start, which switches the card on again.
    ConfigStore::instance()->saveSoon();
}

void deviceWidget::refreshState()
{
    m_watch->refresh();
}

void deviceWidget::setUpStateDisplay()
{
    // The form starts the label at state 0, what a new card shows, so that a
    // rule matches from its first polish and it is laid out with the rule's
    // padding.
    m_stateTexts = StateLook::texts();
}

void deviceWidget::showState(int code)
{
    // Text and look change only with the state, not at every tick.
    if (code == m_lastState)
        return;
    m_lastState = code;
    if (code >= 0 && code < m_stateTexts.size())
        ui->label_state->setText(m_stateTexts.at(code));
    if (ui->label_state->property(StateProperty).toInt() != code) {
        ui->label_state->setProperty(StateProperty, code);
        repolish(ui->label_state);
    }
}

// The reasons offered for the stop under way, the one given checked.
void deviceWidget::addStopReasonMenu(QMenu *menu)
{
    QMenu *reasons = menu->addMenu(tr("停机原因"));
    reasons->setObjectName(QStringLiteral("menuStopReason"));
    reasons->setEnabled(m_stopMark->isStopped());
    const int language = ConfigStore::instance()->language();
    const QVector<StopReason> list = ConfigStore::instance()->stopReasons();
    for (const StopReason &reason : list) {
        if (reason.Retired)
            continue;
        QAction *action = reasons->addAction(reason.text(language), this, [this, code = reason.Code] {
            if (m_stopMark->isStopped())
                emit stopReasonChosen(code);
        });
        action->setCheckable(true);
        action->setChecked(reason.Code == m_stopMark->reason());
        action->setData(reason.Code);
    }
}

void deviceWidget::showStopReason(int reason)
{
    m_stopMark->setReason(reason);
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

void deviceWidget::holdDialog(QDialog *dialog)
{
    m_heldDialogs.removeAll(nullptr);
    m_heldDialogs.append(dialog);
}

ModbusDevice *deviceWidget::device() const
{
    return m_device;
}

DeviceWatch *deviceWidget::watch() const
{
    return m_watch;
}

UpLoadDialog *deviceWidget::uploadDialog() const
{
    return m_uploadDialog;
}

void deviceWidget::releaseWhenIdle()
{
    if (!m_releasing) {
        m_releasing = true;
        m_watch->stopTicks();
        // Nothing may start new transfers on a card that has left the list.
        if (m_uploadDialog)
            m_uploadDialog->hide();
        for (const QPointer<QDialog> &dialog : qAsConst(m_heldDialogs)) {
            if (dialog)
                dialog->close();
        }
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

// The menu is not waited for: the card may go while it is open.
void deviceWidget::contextMenuEvent(QContextMenuEvent *event)
{
    // Not a nested loop: the card may go while the menu is open, and the menu
    // (its child) goes with it.
    auto *menu = new QMenu(this);
    menu->setObjectName(QStringLiteral("cardMenu"));
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->addAction(tr("历史记录"), this, &deviceWidget::historyRequested)
        ->setObjectName(QStringLiteral("actionHistory"));
    addStopReasonMenu(menu);
    menu->addSeparator();
    menu->addAction(tr("备份整个控制器…"), this,
                    [this] {
                        if (!m_releasing)
                            emit backupRequested();
                    })
        ->setObjectName(QStringLiteral("actionBackup"));
    menu->addAction(tr("与备份比较 / 恢复…"), this,
                    [this] {
                        if (!m_releasing)
                            emit restoreRequested();
                    })
        ->setObjectName(QStringLiteral("actionRestore"));
    menu->popup(event->globalPos());
    event->accept();
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
