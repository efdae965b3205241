#include "views/backupdialog.h"

#include "link/modbusdevice.h"

#include <QCloseEvent>
#include <QColor>
#include <QDir>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

const QColor FailedColour(200, 0, 0);

} // namespace

BackupDialog::BackupDialog(ModbusDevice *device, QWidget *parent)
    : QDialog(parent), m_runner(new BackupRunner(device, this))
{
    setObjectName(QStringLiteral("backupDialog"));
    setWindowTitle(tr("备份整个控制器"));
    resize(560, 520);
    m_lines = new QTreeWidget(this);
    m_lines->setObjectName(QStringLiteral("backupLines"));
    m_lines->setColumnCount(2);
    m_lines->setHeaderLabels({tr("项目"), tr("结果")});
    m_lines->setRootIsDecorated(false);
    m_lines->header()->setStretchLastSection(true);
    m_lines->setColumnWidth(0, 200);
    m_bar = new QProgressBar(this);
    m_bar->setRange(0, 0);
    m_summary = new QLabel(this);
    m_summary->setObjectName(QStringLiteral("backupSummary"));
    m_summary->setWordWrap(true);
    m_summary->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_cancel = new QPushButton(tr("取消"), this);
    m_cancel->setObjectName(QStringLiteral("backupCancel"));

    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(m_cancel);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_lines, 1);
    layout->addWidget(m_bar);
    layout->addWidget(m_summary);
    layout->addLayout(buttons);

    connect(m_cancel, &QPushButton::clicked, this, [this] {
        if (m_runner->isRunning())
            m_runner->cancel();
        else
            close();
    });
    connect(m_runner, &BackupRunner::itemStarted, this, &BackupDialog::onStarted);
    connect(m_runner, &BackupRunner::itemFinished, this, &BackupDialog::onItem);
    connect(m_runner, &BackupRunner::finished, this, &BackupDialog::onFinished);
}

BackupDialog::~BackupDialog() = default;

void BackupDialog::start(const QString &root)
{
    m_lines->clear();
    m_byName.clear();
    m_done = 0;
    m_summary->clear();
    m_cancel->setText(tr("取消"));
    m_runner->setBackupRoot(root);
    m_runner->start();
}

void BackupDialog::onStarted(const QString &name)
{
    auto *line = new QTreeWidgetItem(m_lines, {BackupRunner::displayName(name), tr("读取中…")});
    m_byName.insert(name, line);
    m_lines->scrollToItem(line);
}

void BackupDialog::onItem(const Manifest::Row &row, const QString &detail)
{
    QTreeWidgetItem *line = m_byName.value(row.name);
    if (!line) {
        line = new QTreeWidgetItem(m_lines, {BackupRunner::displayName(row.name)});
        m_byName.insert(row.name, line);
    }
    QString text;
    switch (row.outcome) {
    case Manifest::Outcome::Saved:
        text = row.name == BackupRunner::directoryItem() ? tr("%n 个程序", nullptr, int(row.size))
                                                         : tr("已保存, %1 字节").arg(row.size);
        break;
    case Manifest::Outcome::Absent:
        text = tr("控制器上没有");
        break;
    case Manifest::Outcome::Failed:
        text = tr("失败: %1").arg(detail);
        for (int column = 0; column < 2; ++column)
            line->setForeground(column, FailedColour);
        break;
    }
    line->setText(1, text);
    line->setData(1, Qt::UserRole, int(row.outcome));
    ++m_done;
    // The directory tells how many items follow.
    if (row.name == BackupRunner::directoryItem() && row.outcome == Manifest::Outcome::Saved)
        m_bar->setRange(0, int(row.size) + BackupRunner::systemFiles().size() + 1);
    else if (m_bar->maximum() == 0 && row.name == BackupRunner::directoryItem())
        m_bar->setRange(0, BackupRunner::systemFiles().size() + 1);
    m_bar->setValue(qMin(m_done, m_bar->maximum()));
}

void BackupDialog::onFinished(const BackupRunner::Summary &summary)
{
    m_bar->setRange(0, 1);
    m_bar->setValue(1);
    QString text = tr("%1 个已保存, %2 个失败").arg(summary.saved).arg(summary.failed);
    if (summary.cancelled)
        text = tr("已取消: ") + text;
    if (!m_runner->folder().isEmpty())
        text += QLatin1Char('\n') + tr("备份在 %1").arg(QDir::toNativeSeparators(m_runner->folder()));
    m_summary->setText(text);
    m_cancel->setText(tr("关闭"));
}

void BackupDialog::closeEvent(QCloseEvent *event)
{
    m_runner->cancel();
    QDialog::closeEvent(event);
}
