#include "devices/uploaddialog.h"

#include "archive/archiveguard.h"
#include "config/configstore.h"
#include "config/filenames.h"
#include "link/modbusdevice.h"
#include "link/protocol.h"
#include "link/resulttext.h"
#include "link/transfercodec.h"
#include "ui_uploaddialog.h"

#include <QClipboard>
#include <QDir>
#include <QFileDialog>
#include <QGuiApplication>
#include <QHideEvent>
#include <QPainter>
#include <QProgressBar>
#include <QStyleOptionProgressBar>
#include <QStyledItemDelegate>
#include <QTimer>
#include <QTreeWidgetItem>

namespace {

const QString DefaultBarFormat = QStringLiteral("%p%");

QString outcomeText(int result)
{
    if (result == Result::Ok)
        return UpLoadDialog::tr("成功");
    if (result == UpLoadDialog::UnreadableFile)
        return UpLoadDialog::tr("无法读取");
    if (result == UpLoadDialog::FileTooLarge)
        return UpLoadDialog::tr("文件过大");
    if (result == UpLoadDialog::NumberOutOfRange)
        return UpLoadDialog::tr("编号超出 (0-9999)");
    if (result == UpLoadDialog::NotArchived)
        return ResultText::reason(Result::NotArchived);
    // The refusals an operator can act on say why: connect the device, or wait
    // until the controller is idle (it takes programs and files only then).
    return ResultText::withCode(result);
}

// Where a line keeps its bar: a hidden QProgressBar holds the line's progress
// and outcome text, and the tree draws it in the line's second column. A bar
// widget in every line would make each repaint of one of them, and every
// scroll step, visit all the others: with thousands of lines a transfer would
// spend more time on that than on the link.
constexpr int BarRole = Qt::UserRole + 2;

QProgressBar *barOf(const QTreeWidgetItem *line)
{
    return line ? qobject_cast<QProgressBar *>(line->data(1, BarRole).value<QObject *>()) : nullptr;
}

class BarDelegate : public QStyledItemDelegate
{
public:
    explicit BarDelegate(QObject *parent) : QStyledItemDelegate(parent) {}

    // Every line as high as a bar, the roots too: lines of one height are
    // placed without asking each for its height, which a transfer through
    // thousands of lines would do for every line it reaches.
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        QSize size = QStyledItemDelegate::sizeHint(option, index);
        size.setHeight(qMax(size.height(), m_barHeight));
        return size;
    }

    // The bar drawn as the widget would draw itself, where it stood.
    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        const auto *bar = qobject_cast<const QProgressBar *>(index.data(BarRole).value<QObject *>());
        if (!bar) {
            QStyledItemDelegate::paint(painter, option, index);
            return;
        }
        // Where the view put a widget of the cell's: the cell's text area.
        QStyleOptionViewItem cell = option;
        initStyleOption(&cell, index);
        const QWidget *view = option.widget;
        QStyleOptionProgressBar look;
        look.initFrom(bar);
        look.rect =
            (view ? view->style() : bar->style())->subElementRect(QStyle::SE_ItemViewItemText, &cell, view);
        look.state |= QStyle::State_Horizontal;
        look.minimum = bar->minimum();
        look.maximum = bar->maximum();
        look.progress = bar->value();
        look.text = bar->text();
        look.textAlignment = bar->alignment();
        look.textVisible = bar->isTextVisible();
        bar->style()->drawControl(QStyle::CE_ProgressBar, &look, painter, bar);
    }

private:
    const int m_barHeight = QProgressBar().sizeHint().height();
};

} // namespace

UpLoadDialog::FileChooser UpLoadDialog::s_fileChooser;

UpLoadDialog::UpLoadDialog(QWidget *parent) : QDialog(parent), ui(new Ui::UpLoadDialog)
{
    ui->setupUi(this);
    ui->treeWidget->setColumnWidth(0, 280);
    ui->treeWidget->setUniformRowHeights(true);
    ui->treeWidget->setItemDelegateForColumn(1, new BarDelegate(ui->treeWidget));
    m_bars = new QWidget(this);
    m_bars->hide();
    m_programRoot = createRoot(tr("程序名称"));
    ui->treeWidget->insertTopLevelItem(0, m_programRoot);
    m_fileRoot = createRoot(tr("文件名称", "the root of the lines of files"));
    ui->treeWidget->insertTopLevelItem(1, m_fileRoot);

    connect(ui->treeWidget, &QTreeWidget::itemChanged, this, &UpLoadDialog::onItemChanged);
    connect(ui->pushButton_clip, &QPushButton::clicked, this, &UpLoadDialog::addFromClipboard);
    connect(ui->pushButton_choose, &QPushButton::clicked, this, &UpLoadDialog::addFromChooser);
    connect(ui->pushButton_reset, &QPushButton::clicked, this, &UpLoadDialog::resetProgress);
    connect(ui->pushButton_trans, &QPushButton::clicked, this, &UpLoadDialog::transfer);

    m_busyRetry = new QTimer(this);
    m_busyRetry->setSingleShot(true);
    m_busyRetry->setInterval(BusyRetry::IntervalMs);
    connect(m_busyRetry, &QTimer::timeout, this, &UpLoadDialog::continueTransfer);
}

UpLoadDialog::~UpLoadDialog()
{
    delete ui;
}

QTreeWidgetItem *UpLoadDialog::createRoot(const QString &text)
{
    auto *root = new QTreeWidgetItem(RootType);
    root->setText(0, text);
    root->setFlags(Qt::ItemIsUserCheckable | Qt::ItemIsEnabled);
    root->setCheckState(0, Qt::Checked);
    return root;
}

void UpLoadDialog::bindDevice(ModbusDevice *device)
{
    m_device = device;
    if (device)
        setWindowTitle(device->record().Name);
}

ModbusDevice *UpLoadDialog::device() const
{
    return m_device;
}

void UpLoadDialog::setFileChooser(FileChooser chooser)
{
    s_fileChooser = std::move(chooser);
}

QProgressBar *UpLoadDialog::progressBar(QTreeWidgetItem *line) const
{
    return barOf(line);
}

void UpLoadDialog::repaintLine(QTreeWidgetItem *line)
{
    QTreeWidget *tree = ui->treeWidget;
    const QRect area = tree->visualItemRect(line) & tree->viewport()->rect();
    if (!area.isEmpty())
        tree->viewport()->update(area);
}

void UpLoadDialog::insertFiles(const QStringList &paths)
{
    // Each path is walked within its own bounds; the lines of all of them go
    // into the tree together.
    Walk walk;
    for (const QString &path : paths) {
        walk.folders.clear();
        walk.entries = 0;
        insertEntry(QFileInfo(path), 0, &walk);
    }
    addLines(walk);
}

void UpLoadDialog::insertFile(const QFileInfo &info)
{
    Walk walk;
    insertEntry(info, 0, &walk);
    addLines(walk);
}

// One insertion per root: a line added on its own makes the tree lay itself
// out again, once per line of a drop of thousands of files.
void UpLoadDialog::addLines(const Walk &walk)
{
    for (const QList<QTreeWidgetItem *> *lines : {&walk.programs, &walk.files}) {
        for (QTreeWidgetItem *line : *lines) {
            auto *bar = new QProgressBar(m_bars);
            bar->setValue(0);
            line->setData(1, BarRole, QVariant::fromValue<QObject *>(bar));
            connect(bar, &QProgressBar::valueChanged, this, [this, line] { repaintLine(line); });
        }
    }
    m_programRoot->addChildren(walk.programs);
    m_fileRoot->addChildren(walk.files);
    m_programRoot->setExpanded(true);
    m_fileRoot->setExpanded(true);
}

// Each folder is walked once, however many links lead to it (a "diamond" of
// links would otherwise be walked once per route), and the walk is bounded in
// depth and entries, so no drop keeps the window busy for more than a moment.
void UpLoadDialog::insertEntry(const QFileInfo &info, int depth, Walk *walk)
{
    if (++walk->entries > MaxWalkEntries)
        return;
    if (info.isFile()) {
        const QString path = info.absoluteFilePath();
        uint number = 0;
        const bool isProgram = FileNames::offeredProgramNumber(info.completeBaseName(), &number);
        if (!isProgram && info.size() > MaxFileSize)
            return;

        auto *line = new QTreeWidgetItem(LineType);
        line->setFlags(Qt::ItemIsUserCheckable | Qt::ItemIsEnabled);
        line->setToolTip(0, path);
        line->setCheckState(0, Qt::Checked);
        line->setData(0, Qt::UserRole, path);
        if (isProgram) {
            line->setText(0, FileNames::programName(number));
            line->setData(1, Qt::UserRole, number);
            walk->programs.append(line);
        } else {
            QString name = info.fileName();
            if (info.suffix() == QLatin1String("PLC"))
                name.prepend(QStringLiteral("SYS/"));
            line->setText(0, name);
            line->setData(1, Qt::UserRole, name);
            walk->files.append(line);
        }
        return;
    }
    if (info.isDir() && depth < MaxWalkDepth) {
        const QString folder = info.canonicalFilePath();
        if (folder.isEmpty() || walk->folders.contains(folder))
            return;
        walk->folders.insert(folder);
        const QFileInfoList entries =
            QDir(info.absoluteFilePath())
                .entryInfoList(QDir::AllEntries | QDir::NoDotAndDotDot, QDir::Name | QDir::IgnoreCase);
        for (const QFileInfo &entry : entries) {
            if (walk->entries >= MaxWalkEntries)
                break;
            insertEntry(entry, depth + 1, walk);
        }
    }
}

void UpLoadDialog::addFromClipboard()
{
    const QString path = FileNames::pathFromClipboard(QGuiApplication::clipboard()->text());
    if (path.isEmpty())
        return;
    const QFileInfo info(path);
    if (info.exists())
        insertFile(info);
}

void UpLoadDialog::addFromChooser()
{
    QPointer<UpLoadDialog> self(this);
    const QString path = s_fileChooser
                             ? s_fileChooser(this)
                             : QFileDialog::getOpenFileName(this, tr("选择工程文件"), QDir::currentPath());
    // The chooser runs its own event loop; the card may have gone meanwhile.
    if (!self || path.isEmpty())
        return;
    const QFileInfo info(path);
    if (info.isFile() || info.isDir())
        insertFile(info);
}

void UpLoadDialog::onItemChanged(QTreeWidgetItem *item, int column)
{
    if (!item || item->type() != RootType)
        return;
    const Qt::CheckState state = item->checkState(column);
    for (int i = 0; i < item->childCount(); ++i)
        item->child(i)->setCheckState(column, state);
}

void UpLoadDialog::resetProgress()
{
    for (QTreeWidgetItem *root : {m_programRoot, m_fileRoot}) {
        for (int i = 0; i < root->childCount(); ++i) {
            QTreeWidgetItem *line = root->child(i);
            line->setData(1, OutcomeRole, QVariant());
            if (QProgressBar *bar = progressBar(line)) {
                bar->setValue(0);
                bar->setFormat(DefaultBarFormat);
                repaintLine(line);
            }
        }
    }
}

void UpLoadDialog::showOutcome(QTreeWidgetItem *line, int result)
{
    line->setData(1, OutcomeRole, result);
    if (QProgressBar *bar = progressBar(line)) {
        bar->setFormat(outcomeText(result));
        repaintLine(line);
    }
}

void UpLoadDialog::transfer()
{
    if (m_transfer.running)
        return;
    m_transfer = TransferState();
    m_transfer.running = true;
    continueTransfer();
}

// Writes the lines from where the transfer is on, one after another, each
// blocking in the device's event loop. A line that finds the device busy
// returns to the event loop and is tried again shortly: whatever keeps the
// device busy may be waiting below this very call, and can only finish once
// it has returned.
void UpLoadDialog::continueTransfer()
{
    QPointer<UpLoadDialog> self(this);
    const quint64 generation = m_listGeneration;
    for (; m_transfer.root < 2; ++m_transfer.root, m_transfer.index = 0) {
        QTreeWidgetItem *root = m_transfer.root == 0 ? m_programRoot : m_fileRoot;
        // Lines are looked up by position at each step: lines dropped meanwhile
        // are appended, and removal (on hide) ends the transfer below.
        for (; m_transfer.index < root->childCount(); ++m_transfer.index) {
            QTreeWidgetItem *line = root->child(m_transfer.index);
            if (line->checkState(0) != Qt::Checked)
                continue;
            const int result = transferLine(line, root == m_programRoot);
            // The write waited in the device's event loop: the dialog may be
            // gone with its card, or hidden and so emptied.
            if (!self || m_listGeneration != generation)
                return;
            if (result == WaitingForDevice) {
                m_busyRetry->start();
                return;
            }
            showOutcome(root->child(m_transfer.index), result);
            m_transfer.haveText = false;
            m_transfer.bytes.clear();
            m_transfer.busy.reset();
        }
    }
    m_transfer.running = false;
}

int UpLoadDialog::transferLine(QTreeWidgetItem *line, bool program)
{
    // Sent as it is, the number would wrap onto another program (65536 onto
    // O0000): nothing is written.
    if (program && line->data(1, Qt::UserRole).toUInt() > uint(Protocol::MaxProgramNumber))
        return NumberOutOfRange;
    if (!m_transfer.haveText) {
        // Program lines have no size limit when listed; a file beyond any text
        // the transfer can carry is not read into memory at all.
        const QString path = line->data(0, Qt::UserRole).toString();
        if (!TransferCodec::fitsWindow(QFileInfo(path).size()))
            return FileTooLarge;
        // Sent as the bytes on disk, in whatever encoding and line ends they
        // are, less a UTF-8 byte-order mark: that never reaches a controller.
        if (!ConfigStore::readFileBytes(path, &m_transfer.bytes))
            return UnreadableFile;
        if (m_transfer.bytes.startsWith("\xEF\xBB\xBF"))
            m_transfer.bytes.remove(0, 3);
        m_transfer.haveText = true;
    }
    ModbusDevice *device = m_device;
    if (!device)
        return Result::NotReady;
    if (device->isBusy())
        return m_transfer.busy.again(device) ? WaitingForDevice : Result::Busy;
    QProgressBar *bar = progressBar(line);
    if (bar) {
        bar->setFormat(DefaultBarFormat);
        repaintLine(line);
    }
    const TextTarget target = program ? TextTarget::program(int(line->data(1, Qt::UserRole).toUInt()))
                                      : TextTarget::file(line->data(1, Qt::UserRole).toString());
    // What the line replaces is kept first. The read waits in the device's
    // loop, where this dialog may be hidden (its lines removed) or go.
    const QPointer<UpLoadDialog> self(this);
    const quint64 generation = m_listGeneration;
    QString why;
    const bool kept = ArchiveGuard::keepCurrent(device, target, ArchiveIndex::Operation::Upload, &why,
                                                m_transfer.directory);
    if (!self || m_listGeneration != generation || !m_device)
        return Result::NotReady;
    line->setToolTip(1, why); // the reason of an earlier refusal goes
    if (!kept)
        return NotArchived;
    // The bar may go with its line while a chunk waits (the dialog hidden or
    // gone): it is watched.
    const QPointer<QProgressBar> shown(progressBar(line));
    const TransferProgress progress = [shown](qint64 done, qint64 total) {
        if (shown)
            shown->setValue(TransferCodec::chunkProgress(done, total));
    };
    const int result = program ? device->writeProgram(m_transfer.bytes, target.number, progress)
                               : device->writeSystemFile(m_transfer.bytes, target.name, progress);
    if (self && m_listGeneration == generation && result == Result::Ok)
        m_transfer.directory->noteWritten(target, m_transfer.bytes.size());
    return result;
}

void UpLoadDialog::clearLines()
{
    ++m_listGeneration;
    m_transfer = TransferState();
    m_busyRetry->stop();
    for (QTreeWidgetItem *root : {m_programRoot, m_fileRoot}) {
        const QList<QTreeWidgetItem *> lines = root->takeChildren();
        for (QTreeWidgetItem *line : lines)
            delete progressBar(line);
        qDeleteAll(lines);
    }
}

void UpLoadDialog::hideEvent(QHideEvent *event)
{
    QDialog::hideEvent(event);
    // A minimised dialog keeps its lists; only a dialog that is closed or
    // hidden by the program starts afresh.
    if (!event->spontaneous())
        clearLines();
}
