#include "link/uploaddialog.h"

#include "config/configstore.h"
#include "link/modbusdevice.h"
#include "link/protocol.h"
#include "link/transfercodec.h"
#include "ui_uploaddialog.h"

#include <QClipboard>
#include <QDir>
#include <QFileDialog>
#include <QGuiApplication>
#include <QHideEvent>
#include <QProgressBar>
#include <QRegularExpression>
#include <QTreeWidgetItem>
#include <QUrl>

namespace {

// Serial of the transfer that set a line's outcome (column 1).
constexpr int OutcomeSerialRole = Qt::UserRole + 2;
const QString DefaultBarFormat = QStringLiteral("%p%");

QString outcomeText(int result, bool english)
{
    if (result == Result::Ok)
        return english ? QStringLiteral("OK") : QStringLiteral("成功");
    if (result == UpLoadDialog::UnreadableFile)
        return english ? QStringLiteral("unreadable") : QStringLiteral("无法读取");
    if (result == UpLoadDialog::FileTooLarge)
        return english ? QStringLiteral("too large") : QStringLiteral("文件过大");
    if (result == Result::Busy)
        return english ? QStringLiteral("busy (code 9)") : QStringLiteral("忙 (代码 9)");
    return english ? QStringLiteral("failed (code %1)").arg(result)
                   : QStringLiteral("失败 (代码 %1)").arg(result);
}

} // namespace

UpLoadDialog::FileChooser UpLoadDialog::s_fileChooser;

UpLoadDialog::UpLoadDialog(QWidget *parent) : QDialog(parent), ui(new Ui::UpLoadDialog)
{
    ui->setupUi(this);
    ui->treeWidget->setColumnWidth(0, 280);
    m_programRoot = createRoot(QStringLiteral("程序名称"));
    ui->treeWidget->insertTopLevelItem(0, m_programRoot);
    m_fileRoot = createRoot(QStringLiteral("文件名称"));
    ui->treeWidget->insertTopLevelItem(1, m_fileRoot);
    if (ConfigStore::instance()->language() == 1)
        applyEnglishTexts();

    connect(ui->treeWidget, &QTreeWidget::itemChanged, this, &UpLoadDialog::onItemChanged);
    connect(ui->pushButton_clip, &QPushButton::clicked, this, &UpLoadDialog::addFromClipboard);
    connect(ui->pushButton_choose, &QPushButton::clicked, this, &UpLoadDialog::addFromChooser);
    connect(ui->pushButton_reset, &QPushButton::clicked, this, &UpLoadDialog::resetProgress);
    connect(ui->pushButton_trans, &QPushButton::clicked, this, &UpLoadDialog::transfer);
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

void UpLoadDialog::applyEnglishTexts()
{
    ui->treeWidget->setHeaderLabels({QStringLiteral("Name"), QStringLiteral("State")});
    m_programRoot->setText(0, QStringLiteral("ProgramName"));
    m_fileRoot->setText(0, QStringLiteral("FileName"));
    ui->pushButton_clip->setText(QStringLiteral("AddClipFile"));
    ui->pushButton_reset->setText(QStringLiteral("Reset"));
    ui->pushButton_choose->setText(QStringLiteral("AddLocalFile"));
    ui->pushButton_trans->setText(QStringLiteral("TranFile"));
    ui->label_tip1->setText(
        QStringLiteral("Hint: Confirm that the program name is OBBBB or BBBB(B being a number)"));
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
    if (!line)
        return nullptr;
    return qobject_cast<QProgressBar *>(ui->treeWidget->itemWidget(line, 1));
}

bool UpLoadDialog::programNumber(const QString &baseName, quint16 *number)
{
    QString digits = baseName;
    if (digits.startsWith(QLatin1Char('O')))
        digits.remove(0, 1);
    bool ok = false;
    const uint value = digits.toUInt(&ok, 10);
    if (ok && number)
        *number = static_cast<quint16>(value & 0xFFFF);
    return ok;
}

QString UpLoadDialog::pathFromClipboardText(const QString &text)
{
    QString path = text;
    path.remove(QLatin1Char('"'));
    // A file manager puts a line break after the path it copies.
    path = path.trimmed();
    if (path.startsWith(QLatin1String("file:"))) {
        QString local = QUrl(path).toLocalFile();
        // A URL copied on a Windows desktop names a drive: file:///D:/prg/O1.txt.
        static const QRegularExpression drive(QStringLiteral("^/[A-Za-z]:/"));
        if (drive.match(local).hasMatch())
            local.remove(0, 1);
        return local;
    }
    path.remove(QStringLiteral("file:///"));
    return path;
}

void UpLoadDialog::insertFiles(const QStringList &paths)
{
    for (const QString &path : paths)
        insertFile(QFileInfo(path));
}

void UpLoadDialog::insertFile(const QFileInfo &info)
{
    QSet<QString> openFolders;
    insertEntry(info, &openFolders);
    m_programRoot->setExpanded(true);
    m_fileRoot->setExpanded(true);
}

// openFolders holds the folders being walked, so a link back to one of them
// cannot walk forever.
void UpLoadDialog::insertEntry(const QFileInfo &info, QSet<QString> *openFolders)
{
    if (info.isFile()) {
        const QString path = info.absoluteFilePath();
        quint16 number = 0;
        const bool isProgram = programNumber(info.completeBaseName(), &number);
        if (!isProgram && info.size() > MaxFileSize)
            return;

        auto *line = new QTreeWidgetItem(LineType);
        line->setFlags(Qt::ItemIsUserCheckable | Qt::ItemIsEnabled);
        line->setToolTip(0, path);
        line->setCheckState(0, Qt::Checked);
        line->setData(0, Qt::UserRole, path);
        if (isProgram) {
            line->setText(0, QStringLiteral("O%1").arg(number, 4, 10, QLatin1Char('0')));
            line->setData(1, Qt::UserRole, QVariant::fromValue<quint16>(number));
            m_programRoot->addChild(line);
        } else {
            QString name = info.fileName();
            if (info.suffix() == QLatin1String("PLC"))
                name.prepend(QStringLiteral("SYS/"));
            line->setText(0, name);
            line->setData(1, Qt::UserRole, name);
            m_fileRoot->addChild(line);
        }
        auto *bar = new QProgressBar;
        bar->setValue(0);
        ui->treeWidget->setItemWidget(line, 1, bar);
        return;
    }
    if (info.isDir()) {
        const QString folder = info.canonicalFilePath();
        if (folder.isEmpty() || openFolders->contains(folder))
            return;
        openFolders->insert(folder);
        const QFileInfoList entries =
            QDir(info.absoluteFilePath())
                .entryInfoList(QDir::AllEntries | QDir::NoDotAndDotDot, QDir::Name | QDir::IgnoreCase);
        for (const QFileInfo &entry : entries)
            insertEntry(entry, openFolders);
        openFolders->remove(folder);
    }
}

void UpLoadDialog::addFromClipboard()
{
    const QString path = pathFromClipboardText(QGuiApplication::clipboard()->text());
    if (path.isEmpty())
        return;
    const QFileInfo info(path);
    if (info.exists())
        insertFile(info);
}

void UpLoadDialog::addFromChooser()
{
    QPointer<UpLoadDialog> self(this);
    const QString path = s_fileChooser ? s_fileChooser(this)
                                       : QFileDialog::getOpenFileName(this, QStringLiteral("选择工程文件"),
                                                                      QDir::currentPath());
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
            line->setData(1, OutcomeSerialRole, QVariant());
            if (QProgressBar *bar = progressBar(line)) {
                bar->setValue(0);
                bar->setFormat(DefaultBarFormat);
            }
        }
    }
}

void UpLoadDialog::showOutcome(QTreeWidgetItem *line, int result)
{
    const bool nested = m_transferDepth > 1;
    // A press during a running transfer is refused as busy: that must not
    // hide what the running transfer has done or is doing on a line.
    if (nested && result == Result::Busy &&
        (line == m_lineInFlight || line->data(1, OutcomeSerialRole).toULongLong() == m_outerSerial))
        return;
    line->setData(1, OutcomeRole, result);
    line->setData(1, OutcomeSerialRole, nested ? QVariant() : QVariant(m_outerSerial));
    if (QProgressBar *bar = progressBar(line))
        bar->setFormat(outcomeText(result, ConfigStore::instance()->language() == 1));
}

void UpLoadDialog::transfer()
{
    QPointer<UpLoadDialog> self(this);
    const quint64 generation = m_listGeneration;
    const bool outermost = m_transferDepth == 0;
    if (outermost)
        m_outerSerial = ++m_transferSerial;
    ++m_transferDepth;

    for (QTreeWidgetItem *root : {m_programRoot, m_fileRoot}) {
        const bool programs = root == m_programRoot;
        // Lines are looked up by position at each step: lines dropped meanwhile
        // are appended, and removal (on hide) ends the transfer below.
        for (int i = 0; i < root->childCount(); ++i) {
            QTreeWidgetItem *line = root->child(i);
            if (line->checkState(0) != Qt::Checked)
                continue;
            // Program lines have no size limit when listed; a file beyond any
            // text the transfer can carry is not read into memory at all.
            const QString path = line->data(0, Qt::UserRole).toString();
            if (!TransferCodec::fitsWindow(QFileInfo(path).size())) {
                showOutcome(line, FileTooLarge);
                continue;
            }
            QString text;
            if (!ConfigStore::readTextFile(path, &text)) {
                showOutcome(line, UnreadableFile);
                continue;
            }
            QPointer<ModbusDevice> device = m_device;
            if (!device) {
                showOutcome(line, Result::NotReady);
                continue;
            }
            QProgressBar *bar = progressBar(line);
            if (outermost) {
                m_lineInFlight = line;
                if (bar)
                    bar->setFormat(DefaultBarFormat);
            }
            const int result =
                programs ? device->writeProgram(text, line->data(1, Qt::UserRole).toInt(), bar)
                         : device->writeSystemFile(text, line->data(1, Qt::UserRole).toString(), bar);
            // The write waited in the device's event loop: the dialog may be
            // gone with its card, or hidden and so emptied.
            if (!self)
                return;
            if (outermost)
                m_lineInFlight = nullptr;
            if (m_listGeneration != generation) {
                --m_transferDepth;
                return;
            }
            showOutcome(root->child(i), result);
        }
    }
    --m_transferDepth;
}

void UpLoadDialog::clearLines()
{
    ++m_listGeneration;
    m_lineInFlight = nullptr;
    for (QTreeWidgetItem *root : {m_programRoot, m_fileRoot})
        qDeleteAll(root->takeChildren());
}

void UpLoadDialog::hideEvent(QHideEvent *event)
{
    QDialog::hideEvent(event);
    // A minimised dialog keeps its lists; only a dialog that is closed or
    // hidden by the program starts afresh.
    if (!event->spontaneous())
        clearLines();
}
