#include "views/restoredialog.h"

#include "archive/archiveindex.h"
#include "config/configstore.h"
#include "config/filenames.h"
#include "config/textcodec.h"
#include "link/modbusdevice.h"
#include "link/protocol.h"
#include "views/compareview.h"
#include "views/dialogs.h"

#include <QCloseEvent>
#include <QDir>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

const QColor FailedColour(200, 0, 0);

} // namespace

RestoreDialog::RestoreDialog(ModbusDevice *device, QWidget *parent)
    : QDialog(parent), m_device(device), m_reader(new BackupRunner(device, this)),
      m_writer(new RestoreRunner(device, this))
{
    setObjectName(QStringLiteral("restoreDialog"));
    setWindowTitle(tr("与备份比较 / 恢复"));
    Dialogs::fitToScreen(this, QSize(640, 560));
    m_items = new QTreeWidget(this);
    m_items->setObjectName(QStringLiteral("restoreItems"));
    m_items->setColumnCount(3);
    m_items->setHeaderLabels({tr("项目"), tr("比较"), tr("结果")});
    m_items->setRootIsDecorated(false);
    m_items->setColumnWidth(NameColumn, 180);
    m_items->setColumnWidth(StatusColumn, 160);
    m_items->header()->setStretchLastSection(true);
    m_status = new QLabel(this);
    m_status->setObjectName(QStringLiteral("restoreStatus"));
    m_status->setWordWrap(true);
    m_choose = new QPushButton(tr("选择备份…"), this);
    m_write = new QPushButton(tr("写回所选"), this);
    m_write->setObjectName(QStringLiteral("restoreWrite"));
    m_write->setEnabled(false);
    m_cancel = new QPushButton(tr("关闭"), this);

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(m_choose);
    buttons->addStretch(1);
    buttons->addWidget(m_write);
    buttons->addWidget(m_cancel);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_items, 1);
    layout->addWidget(m_status);
    layout->addLayout(buttons);

    connect(m_choose, &QPushButton::clicked, this, &RestoreDialog::chooseFolder);
    connect(m_write, &QPushButton::clicked, this, &RestoreDialog::writeChosen);
    connect(m_cancel, &QPushButton::clicked, this, [this] {
        if (isBusy()) {
            m_reader->cancel();
            m_writer->cancel();
        } else {
            close();
        }
    });
    connect(m_items, &QTreeWidget::itemActivated, this, &RestoreDialog::compareItem);
    connect(m_reader, &BackupRunner::finished, this, &RestoreDialog::onControllerRead);
    connect(m_reader, &BackupRunner::itemStarted, this,
            [this](const QString &name) { m_status->setText(tr("读取控制器: %1").arg(name)); });
    connect(m_writer, &RestoreRunner::itemStarted, this,
            [this](const QString &name) { m_status->setText(tr("写入: %1").arg(name)); });
    connect(m_writer, &RestoreRunner::itemFinished, this, &RestoreDialog::onWritten);
    connect(m_writer, &RestoreRunner::finished, this, [this](int written, int failed, bool cancelled) {
        QString text = tr("%1 个已写入, %2 个失败").arg(written).arg(failed);
        if (cancelled)
            text = tr("已取消: ") + text;
        m_status->setText(text);
        m_choose->setEnabled(true);
        m_cancel->setText(tr("关闭"));
    });
}

RestoreDialog::~RestoreDialog() = default;

bool RestoreDialog::isBusy() const
{
    return m_reader->isRunning() || m_writer->isRunning();
}

QString RestoreDialog::statusText() const
{
    return m_status->text();
}

QString RestoreDialog::statusText(RestoreItem::Status status)
{
    switch (status) {
    case RestoreItem::Same:
        return tr("相同");
    case RestoreItem::Changed:
        return tr("已改变");
    case RestoreItem::OnlyInBackup:
        return tr("仅在备份中");
    case RestoreItem::OnlyOnController:
        return tr("仅在控制器上");
    case RestoreItem::Unusable:
        break;
    }
    return tr("备份文件不可用");
}

void RestoreDialog::chooseFolder()
{
    if (isBusy())
        return;
    const QPointer<RestoreDialog> self(this);
    const QString folder =
        Dialogs::existingFolder(this, tr("选择备份文件夹"), BackupRunner::configuredRoot());
    if (self && !folder.isEmpty())
        openFolder(folder);
}

void RestoreDialog::openFolder(const QString &folder)
{
    if (isBusy())
        return;
    m_items->clear();
    m_write->setEnabled(false);
    QString why;
    m_backup = readBackupFolder(folder, &why);
    if (!why.isEmpty()) {
        m_status->setText(why);
        return;
    }
    m_folder = folder;
    setWindowTitle(tr("与备份比较 / 恢复: %1").arg(QDir::toNativeSeparators(folder)));
    m_choose->setEnabled(false);
    m_cancel->setText(tr("取消"));
    // The controller's side of the compare is a backup kept in memory.
    m_reader->setBackupRoot(QString());
    m_reader->start();
}

void RestoreDialog::onControllerRead(const BackupRunner::Summary &summary)
{
    m_choose->setEnabled(true);
    m_cancel->setText(tr("关闭"));
    if (summary.cancelled) {
        m_status->setText(tr("已取消"));
        return;
    }
    QHash<QString, QByteArray> controller;
    const QHash<QString, QByteArray> texts = m_reader->texts();
    for (auto it = texts.constBegin(); it != texts.constEnd(); ++it)
        controller.insert(it.key(), ArchiveIndex::sha256(it.value()));
    QStringList unread;
    QStringList unreadShown;
    for (const Manifest::Row &row : m_reader->rows()) {
        if (row.outcome == Manifest::Outcome::Failed) {
            unread.append(row.name);
            unreadShown.append(BackupRunner::displayName(row.name));
        }
    }

    for (const RestoreItem &item : compareWithController(m_backup, controller)) {
        auto *line = new QTreeWidgetItem(m_items, {item.name, statusText(item.status)});
        line->setData(NameColumn, StatusRole, int(item.status));
        // A text the controller did not give cannot be told same or changed;
        // without its directory no program was read at all.
        const bool unknown = unread.contains(item.name) || (item.status == RestoreItem::OnlyInBackup &&
                                                            FileNames::programNumber(item.name) >= 0 &&
                                                            unread.contains(BackupRunner::directoryItem()));
        if (unknown)
            line->setText(StatusColumn, tr("无法读取控制器"));
        const BackupItem *backup = nullptr;
        for (const BackupItem &b : qAsConst(m_backup)) {
            if (b.name == item.name)
                backup = &b;
        }
        // No manifest row vouches for an unchecked file: written only when ticked.
        const bool unchecked = backup && backup->unchecked;
        const bool writable =
            item.status != RestoreItem::OnlyOnController && item.status != RestoreItem::Unusable;
        if (writable) {
            line->setFlags(line->flags() | Qt::ItemIsUserCheckable);
            line->setCheckState(NameColumn, (item.status == RestoreItem::Same && !unknown) || unchecked
                                                ? Qt::Unchecked
                                                : Qt::Checked);
        }
        if (item.status == RestoreItem::Unusable && backup)
            line->setText(ResultColumn, backup->problem);
        else if (unchecked)
            line->setText(ResultColumn, RestoreRunner::uncheckedText());
    }
    m_write->setEnabled(true);
    m_status->setText(unread.isEmpty()
                          ? tr("比较完成")
                          : tr("比较完成; 控制器上无法读取: %1").arg(unreadShown.join(QStringLiteral(", "))));
}

void RestoreDialog::writeChosen()
{
    if (isBusy())
        return;
    QList<BackupItem> chosen;
    for (int i = 0; i < m_items->topLevelItemCount(); ++i) {
        QTreeWidgetItem *line = m_items->topLevelItem(i);
        if (!(line->flags() & Qt::ItemIsUserCheckable) || line->checkState(NameColumn) != Qt::Checked)
            continue;
        for (const BackupItem &item : qAsConst(m_backup)) {
            if (item.name == line->text(NameColumn))
                chosen.append(item);
        }
    }
    if (chosen.isEmpty()) {
        m_status->setText(tr("没有选择项目"));
        return;
    }
    const QPointer<RestoreDialog> self(this);
    const QString other =
        m_device ? otherDeviceText(readBackupDevice(m_folder), m_device->record()) : QString();
    if (!other.isEmpty()) {
        const int answer = Dialogs::message(
            this, QMessageBox::Warning, windowTitle(), tr("%1。仍写入这台控制器？").arg(other),
            {{tr("写入"), QMessageBox::AcceptRole}, {tr("取消"), QMessageBox::RejectRole, true}});
        if (!self || answer != 0 || isBusy())
            return;
    }
    const QString device = m_device ? m_device->record().Name : QString();
    const int answer =
        Dialogs::message(this, QMessageBox::Question, windowTitle(),
                         tr("写入 %n 项到 %1?", nullptr, chosen.size()).arg(device),
                         {{tr("写入"), QMessageBox::YesRole}, {tr("取消"), QMessageBox::NoRole, true}});
    if (!self || answer != 0 || isBusy())
        return;
    for (int i = 0; i < m_items->topLevelItemCount(); ++i) {
        QTreeWidgetItem *line = m_items->topLevelItem(i);
        if ((line->flags() & Qt::ItemIsUserCheckable) && line->checkState(NameColumn) == Qt::Checked) {
            line->setText(ResultColumn, QString());
            line->setForeground(ResultColumn, QBrush());
        }
    }
    m_choose->setEnabled(false);
    m_cancel->setText(tr("取消"));
    m_writer->start(chosen);
}

void RestoreDialog::onWritten(const QString &name, int result, const QString &detail)
{
    const QList<QTreeWidgetItem *> lines = m_items->findItems(name, Qt::MatchExactly, NameColumn);
    for (QTreeWidgetItem *line : lines) {
        line->setText(ResultColumn, detail);
        line->setData(ResultColumn, Qt::UserRole, result);
        line->setForeground(ResultColumn, result != Result::Ok ? QBrush(FailedColour) : QBrush());
        if (result == Result::Ok)
            line->setText(StatusColumn, statusText(RestoreItem::Same));
    }
}

// A changed item shows what writing it back would change.
void RestoreDialog::compareItem(QTreeWidgetItem *line)
{
    if (!line || isBusy() || line->data(NameColumn, StatusRole).toInt() != RestoreItem::Changed)
        return;
    const QString name = line->text(NameColumn);
    QByteArray backup;
    for (const BackupItem &item : qAsConst(m_backup)) {
        if (item.name == name && !ConfigStore::readFileBytes(item.path, &backup, Protocol::MaxTextBytes)) {
            m_status->setText(tr("无法读取 %1").arg(QDir::toNativeSeparators(item.path)));
            return;
        }
    }
    CompareView::showDialog(this, tr("控制器"),
                            TextCodec::decodeControllerText(m_reader->texts().value(name)), tr("备份"),
                            TextCodec::decodeControllerText(backup));
}

void RestoreDialog::closeEvent(QCloseEvent *event)
{
    m_reader->cancel();
    m_writer->cancel();
    QDialog::closeEvent(event);
}
