#include "views/prgform.h"

#include "archive/archiveguard.h"
#include "archive/archivestore.h"
#include "config/configstore.h"
#include "config/filenames.h"
#include "devices/devicemanager.h"
#include "devices/devicewidget.h"
#include "link/devicestatus.h"
#include "link/modbusdevice.h"
#include "link/protocol.h"
#include "link/resulttext.h"
#include "ui_prgform.h"
#include "views/compareview.h"
#include "views/dialogs.h"
#include "views/historydialog.h"
#include "views/readstatusline.h"

#include <QDebug>
#include <QHeaderView>
#include <QMenu>
#include <QPointer>
#include <QSignalBlocker>
#include <QTimer>

namespace {

using Protocol::MaxProgramNumber;

using FileNames::programName;
// The directory comes from the controller: "/0012", ".0012" or "O+012" must
// not act on program 12.
using FileNames::programNumber;

const QList<Dialogs::Button> &updateButtons()
{
    static const QList<Dialogs::Button> buttons{{PrgForm::tr("更新(ok)"), QMessageBox::YesRole},
                                                {PrgForm::tr("取消(cancel)"), QMessageBox::NoRole}};
    return buttons;
}

// Deleting or replacing is never the default: Enter or closing the box keeps
// the program.
const QList<Dialogs::Button> &deleteButtons()
{
    static const QList<Dialogs::Button> buttons{{PrgForm::tr("删除(delete)"), QMessageBox::YesRole},
                                                {PrgForm::tr("取消(cancel)"), QMessageBox::NoRole, true}};
    return buttons;
}

const QList<Dialogs::Button> &replaceButtons()
{
    static const QList<Dialogs::Button> buttons{{PrgForm::tr("替换(replace)"), QMessageBox::YesRole},
                                                {PrgForm::tr("取消(cancel)"), QMessageBox::NoRole, true}};
    return buttons;
}

// A change made at the machine is looked at before it is thrown away: Enter
// compares.
const QList<Dialogs::Button> &changedButtons()
{
    static const QList<Dialogs::Button> buttons{{PrgForm::tr("更新(ok)"), QMessageBox::YesRole},
                                                {PrgForm::tr("比较(compare)"), QMessageBox::ActionRole, true},
                                                {PrgForm::tr("取消(cancel)"), QMessageBox::NoRole}};
    return buttons;
}

deviceWidget *selectedCard()
{
    const DeviceManager *devices = DeviceManager::instance();
    return devices ? devices->selectedDevice() : nullptr;
}

void sayNotKept(const QString &title, const QString &name, const QString &why)
{
    Dialogs::message(nullptr, QMessageBox::Warning, title, PrgForm::tr("错误发生(error):") + name,
                     {{PrgForm::tr("OK"), QMessageBox::AcceptRole}}, why);
}

} // namespace

PrgForm::PrgForm(QWidget *parent) : QWidget(parent), ui(new Ui::PrgForm)
{
    ui->setupUi(this);
    ui->tableWidget_programList->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ui->tableWidget_programList->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);

    m_readStatus = new ReadStatusLine(this);
    ui->verticalLayout->addWidget(m_readStatus);

    m_listRetry = new QTimer(this);
    m_listRetry->setSingleShot(true);
    m_listRetry->setInterval(BusyRetry::IntervalMs);

    connect(ui->tableWidget_programList, &QTableWidget::cellDoubleClicked, this, &PrgForm::previewProgram);
    connect(ui->btn_readProgramList, &QPushButton::clicked, this, &PrgForm::readProgramList);
    connect(ui->btn_coverProgram, &QPushButton::clicked, this, &PrgForm::coverProgram);
    connect(ui->btn_newProgram, &QPushButton::clicked, this, &PrgForm::newProgram);
    connect(ui->btn_deleteProgram, &QPushButton::clicked, this, &PrgForm::deleteProgram);
    connect(ui->btn_downloadProgram, &QPushButton::clicked, this, &PrgForm::downloadProgram);
    connect(ui->btn_programStyle, &QPushButton::clicked, ui->textEdit_program, &PrgTextEdit::formatAll);
    // History and compare: a button beside the others and the list's context menu.
    auto *history = new QPushButton(tr("历史"), this);
    history->setObjectName(QStringLiteral("btn_programHistory"));
    history->setSizePolicy(ui->btn_programStyle->sizePolicy());
    ui->horizontalLayout_program->addWidget(history);
    connect(history, &QPushButton::clicked, this, &PrgForm::showHistory);
    ui->tableWidget_programList->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(ui->tableWidget_programList, &QWidget::customContextMenuRequested, this,
            [this](const QPoint &at) {
                // The history of the row clicked, whatever the editor shows.
                const QTableWidgetItem *clicked = ui->tableWidget_programList->itemAt(at);
                const QTableWidgetItem *nameItem =
                    clicked ? ui->tableWidget_programList->item(clicked->row(), 0) : nullptr;
                if (!nameItem)
                    return;
                const QString name = nameItem->text();
                const QPoint where = ui->tableWidget_programList->viewport()->mapToGlobal(at);
                QMenu menu;
                const QAction *show = menu.addAction(tr("历史与比较…"));
                const QPointer<PrgForm> self(this);
                if (menu.exec(where) == show && self)
                    showHistoryOf(name);
            });
    connect(m_listRetry, &QTimer::timeout, this, [this] { readList(true); });
    if (DeviceManager *devices = DeviceManager::instance())
        connect(devices, &DeviceManager::selectedDeviceChanged, this, &PrgForm::dropShownController);
}

PrgForm::~PrgForm()
{
    delete ui;
}

void PrgForm::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    readProgramList();
}

void PrgForm::readProgramList()
{
    m_listBusy.reset();
    readList(true);
}

int PrgForm::readList(bool retryWhenBusy, ControllerTexts::Directory *directory)
{
    m_listRetry->stop();
    QList<ProgramEntry> entries;
    const QPointer<PrgForm> self(this);
    const quint64 selection = m_selection;
    // Always from the controller: the device's cached directory would hide
    // programs created or deleted since it was read.
    DeviceManager *devices = DeviceManager::instance();
    const int result = devices ? devices->readProgramList(&entries, true) : Result::NoDevice;
    if (!self || selection != m_selection)
        return result; // the page went, or the list is of a controller no longer selected
    if (result == Result::Busy && retryWhenBusy && m_listBusy.again(DeviceManager::selectedModbusDevice())) {
        m_listRetry->start();
        return result;
    }
    m_listBusy.reset();
    m_readStatus->setResult(result);
    if (result != Result::Ok)
        return result;
    if (directory)
        *directory = {result, entries};

    QTableWidget *table = ui->tableWidget_programList;
    table->setRowCount(entries.size());
    for (int row = 0; row < entries.size(); ++row) {
        const ProgramEntry &entry = entries.at(row);
        table->setItem(row, 0, new QTableWidgetItem(entry.name));
        table->setItem(row, 1, new QTableWidgetItem(entry.date));
        table->setItem(row, 2, new QTableWidgetItem(entry.size));
    }
    return result;
}

void PrgForm::dropShownController()
{
    ++m_selection;
    m_listRetry->stop();
    m_shownCard = nullptr;
    m_shownNumber = -1;
    m_program = TextCodec::DecodedText();
    m_previewedBytes.clear();
    {
        const QSignalBlocker quiet(ui->textEdit_program);
        ui->textEdit_program->setPlainText(QString());
    }
    ui->label_programName->clear();
    ui->tableWidget_programList->setRowCount(0);
    m_readStatus->reset();
    // Not from inside the selection itself: the read waits for the controller.
    QTimer::singleShot(0, this, [this] {
        if (isVisible())
            readProgramList();
    });
}

bool PrgForm::isListed(const QString &name) const
{
    const QTableWidget *table = ui->tableWidget_programList;
    for (int row = 0; row < table->rowCount(); ++row) {
        if (table->item(row, 0) && table->item(row, 0)->text() == name)
            return true;
    }
    return false;
}

bool PrgForm::ownsShownProgram(const QString &title)
{
    DeviceManager *devices = DeviceManager::instance();
    if (m_shownCard && m_shownNumber >= 0 && devices && devices->selectedDevice() == m_shownCard)
        return true;
    Dialogs::message(this, QMessageBox::Warning, title,
                     tr("未从所选设备读取程序(no program read from the selected device)"),
                     {{tr("OK"), QMessageBox::AcceptRole}});
    return false;
}

bool PrgForm::putOff(const std::function<void()> &action)
{
    return m_actionBusy.later(DeviceManager::selectedModbusDevice(), this,
                              [this, selection = m_selection, action] {
                                  if (selection == m_selection)
                                      action();
                              });
}

void PrgForm::previewProgram(int row, int column)
{
    if (column != 0 || putOff([this, row, column] { previewProgram(row, column); }))
        return;
    const QTableWidgetItem *item = ui->tableWidget_programList->item(row, 0);
    if (!item)
        return;
    const QString name = item->text();
    const int number = programNumber(name);
    if (number < 0) {
        qDebug() << "no program named" << name;
        return;
    }

    QByteArray bytes;
    const QPointer<PrgForm> self(this);
    const quint64 selection = m_selection;
    DeviceManager *devices = DeviceManager::instance();
    const QPointer<deviceWidget> card = devices ? devices->selectedDevice() : nullptr;
    // The size as the directory listed it: a text cut short on the way is
    // not shown, so never offered for Update.
    const QTableWidgetItem *size = ui->tableWidget_programList->item(row, 2);
    const qint64 listed = size ? ControllerTexts::listedSize({name, QString(), size->text()}) : -1;
    int result = devices ? devices->readProgram(&bytes, number) : Result::NoDevice;
    if (!self || selection != m_selection)
        return;
    if (result == Result::Ok && listed >= 0 && bytes.size() != listed)
        result = Result::SizeDiffers;
    m_readStatus->setResult(result);
    if (result != Result::Ok)
        return;
    m_previewedBytes = bytes;
    // Plain text, byte for byte: a program whose first line looks like markup
    // must not be shown (and written back) as rich text, and the editor's line
    // rebuild (which drops spaces, also inside a comment) is for what the user
    // types, not for a program put in whole.
    m_program = TextCodec::decodeFromController(bytes);
    {
        const QSignalBlocker quiet(ui->textEdit_program);
        ui->textEdit_program->setPlainText(m_program.text);
    }
    ui->label_programName->setText(name);
    m_shownCard = card;
    m_shownNumber = number;
}

void PrgForm::coverProgram()
{
    if (putOff([this] { coverProgram(); }))
        return;
    const QString title = tr("更新程序(update prg)");
    if (!ownsShownProgram(title))
        return;
    const int number = m_shownNumber;
    const QString name = programName(number);
    const QPointer<PrgForm> self(this);
    if (Dialogs::message(nullptr, QMessageBox::NoIcon, title, tr("是否更新程序(update):") + name,
                         updateButtons()) != 0 ||
        !self || !ownsShownProgram(title))
        return;
    if (!keepBeforeUpdate(name, number) || !self || !ownsShownProgram(title))
        return;

    const QByteArray bytes = TextCodec::encode(m_program, ui->textEdit_program->toPlainText());
    DeviceManager *devices = DeviceManager::instance();
    const int result = devices ? devices->writeProgram(bytes, number) : Result::NoDevice;
    if (self && result == Result::Ok && number == m_shownNumber)
        m_previewedBytes = bytes; // what the controller holds now
    const QString outcome = result != Result::Ok ? tr("错误发生(error):") : tr("更新结束(success):");
    Dialogs::message(nullptr, QMessageBox::NoIcon, title, outcome + name, updateButtons(),
                     ResultText::reason(result));
}

void PrgForm::newProgram()
{
    if (putOff([this] { newProgram(); }))
        return;
    const QPointer<PrgForm> self(this);
    const quint64 selection = m_selection;
    const QString title = tr("新建程序(new prg)");
    int number = 0;
    if (!Dialogs::integer(this, title, tr("输入程序名(prg name)[0-9999]"), 1000, 0, MaxProgramNumber, 1000,
                          &number) ||
        !self || selection != m_selection || number < 0 || number > MaxProgramNumber)
        return;
    // Whether the number is taken is asked of the controller itself (the rows
    // may be older than a program made there since); a list that cannot be
    // read writes nothing, and the status line says why.
    const QString name = programName(number);
    const auto directory = std::make_shared<ControllerTexts::Directory>();
    const int listed = readList(false, directory.get());
    if (!self || selection != m_selection || listed != Result::Ok)
        return;
    if (isListed(name) &&
        (Dialogs::message(this, QMessageBox::Question, title, tr("程序已存在,是否替换(replace):") + name,
                          replaceButtons()) != 0 ||
         !self || selection != m_selection))
        return;
    // A new program holds its own name; one it replaces is kept in the
    // archive first.
    if (!keepBefore(number, ArchiveIndex::Operation::New, title, directory) || !self ||
        selection != m_selection)
        return;
    DeviceManager *devices = DeviceManager::instance();
    const int result = devices ? devices->writeProgram(name.toLocal8Bit(), number) : Result::NoDevice;
    if (!self)
        return;
    if (result != Result::Ok) {
        // Told, in the style of the other outcomes: a press that does nothing
        // would look like a program created.
        qDebug() << result;
        Dialogs::message(this, QMessageBox::Warning, title, tr("错误发生(error):") + name,
                         {{tr("OK"), QMessageBox::AcceptRole}}, ResultText::reason(result));
        return;
    }
    readProgramList();
}

void PrgForm::deleteProgram()
{
    if (putOff([this] { deleteProgram(); }))
        return;
    const QString title = tr("删除程序(delete prg)");
    if (!ownsShownProgram(title))
        return;
    const int number = m_shownNumber;
    const QString name = programName(number);
    const QPointer<PrgForm> self(this);
    if (Dialogs::message(nullptr, QMessageBox::NoIcon, title, tr("是否删除程序(delete):") + name,
                         deleteButtons()) != 0 ||
        !self || !ownsShownProgram(title))
        return;
    if (!keepBefore(number, ArchiveIndex::Operation::Delete, title) || !self || !ownsShownProgram(title))
        return;

    DeviceManager *devices = DeviceManager::instance();
    const int result = devices ? devices->deleteProgram(number) : Result::NoDevice;
    const QString outcome = result != Result::Ok ? tr("删除错误(error):") : tr("删除结束(success):");
    Dialogs::message(nullptr, QMessageBox::NoIcon, title, outcome + name, deleteButtons(),
                     ResultText::reason(result));
}

void PrgForm::downloadProgram()
{
    const QString text = ui->textEdit_program->toPlainText();
    const QString title = tr("信息(info)");
    if (text.isEmpty() || !ownsShownProgram(title))
        return;
    const QString name = programName(m_shownNumber);
    const QPointer<PrgForm> self(this);
    const QString path =
        Dialogs::saveFileName(this, tr("程序存放地址(down local)"), name + QStringLiteral(".txt"), QString());
    if (!self || path.isEmpty())
        return;

    // The file is replaced only once it is written whole; a failure leaves the
    // previous file of that name as it was, and says so.
    if (ConfigStore::writeFileBytes(path, TextCodec::encode(m_program, text)))
        Dialogs::information(this, title, tr("下载完成(success):%1").arg(name));
    else
        Dialogs::message(this, QMessageBox::Warning, title, tr("下载失败(error):%1").arg(name),
                         {{tr("OK"), QMessageBox::AcceptRole}});
}

bool PrgForm::keepBeforeUpdate(const QString &name, int number)
{
    const QString title = tr("更新程序(update prg)");
    const QPointer<PrgForm> self(this);
    const QPointer<deviceWidget> card = m_shownCard;
    const TextTarget target = TextTarget::program(number);
    const ControllerTexts::Current current = ControllerTexts::read(card ? card->device() : nullptr, target);
    if (!self || !card)
        return false;
    // Someone else changed the program since it was read into the editor:
    // the update would throw that change away unseen.
    while (current.ok() && current.bytes != m_previewedBytes) {
        const int answer = Dialogs::message(
            nullptr, QMessageBox::Warning, title,
            tr("控制器上的程序在预览后已改变(changed on the controller since preview):") + name,
            changedButtons());
        if (!self || (answer != 0 && answer != 1))
            return false;
        if (answer == 0)
            break;
        CompareView::showDialog(this, tr("预览时"), TextCodec::decodeControllerText(m_previewedBytes),
                                tr("控制器"), TextCodec::decodeControllerText(current.bytes));
        if (!self)
            return false;
    }
    QString why;
    if (!card ||
        !ArchiveGuard::keep(card->record(), target, ArchiveIndex::Operation::Update, current, &why)) {
        sayNotKept(title, name, why);
        return false;
    }
    return true;
}

bool PrgForm::keepBefore(int number, ArchiveIndex::Operation operation, const QString &title,
                         const ControllerTexts::SharedDirectory &directory)
{
    QString why;
    const QPointer<PrgForm> self(this);
    deviceWidget *card = selectedCard();
    if (ArchiveGuard::keepCurrent(card ? card->device() : nullptr, TextTarget::program(number), operation,
                                  &why, directory))
        return true;
    if (self)
        sayNotKept(title, programName(number), why);
    return false;
}

void PrgForm::showHistory()
{
    QString name = m_shownNumber >= 0 ? programName(m_shownNumber) : QString();
    if (name.isEmpty()) {
        const QTableWidgetItem *item = ui->tableWidget_programList->currentItem();
        const int row = item ? item->row() : -1;
        const QTableWidgetItem *nameItem = row >= 0 ? ui->tableWidget_programList->item(row, 0) : nullptr;
        name = nameItem ? nameItem->text() : QString();
    }
    showHistoryOf(name);
}

void PrgForm::showHistoryOf(const QString &name)
{
    deviceWidget *card = selectedCard();
    if (programNumber(name) < 0 || !card)
        return;
    const DeviceRecord record = card->record();
    auto *dialog = new HistoryDialog(card->device(), record.Name,
                                     ArchiveStore::configured().deviceFolder(record, false), name, this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->show();
}
