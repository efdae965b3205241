#include "views/historydialog.h"

#include "archive/archiveguard.h"
#include "archive/archivestore.h"
#include "archive/controllertexts.h"
#include "config/configstore.h"
#include "config/textcodec.h"
#include "link/modbusdevice.h"
#include "link/resulttext.h"
#include "views/compareview.h"
#include "views/dialogs.h"

#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QSplitter>
#include <QTableWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace {

// A local file to compare with is a program or a system file: nothing larger
// than the transfer can carry.
constexpr qint64 MaxLocalBytes = 16ll * 1024 * 1024;

QString operationText(ArchiveIndex::Operation operation)
{
    switch (operation) {
    case ArchiveIndex::Operation::Update:
        return HistoryDialog::tr("更新");
    case ArchiveIndex::Operation::New:
        return HistoryDialog::tr("新建");
    case ArchiveIndex::Operation::Delete:
        return HistoryDialog::tr("删除");
    case ArchiveIndex::Operation::Upload:
        return HistoryDialog::tr("上传");
    case ArchiveIndex::Operation::Restore:
        return HistoryDialog::tr("恢复");
    }
    return QString();
}

} // namespace

HistoryDialog::HistoryDialog(ModbusDevice *device, const QString &deviceName, const QString &deviceFolder,
                             const QString &name, QWidget *parent)
    : QDialog(parent), m_device(device), m_deviceFolder(deviceFolder), m_name(name)
{
    setObjectName(QStringLiteral("historyDialog"));
    setWindowTitle(tr("历史版本: %1 (%2)").arg(name, deviceName));
    Dialogs::fitToScreen(this, QSize(1100, 700));

    m_table = new QTableWidget(0, 4, this);
    m_table->setObjectName(QStringLiteral("historyVersions"));
    m_table->setHorizontalHeaderLabels({tr("时间"), tr("操作"), tr("大小"), QStringLiteral("SHA-256")});
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_table->verticalHeader()->hide();
    m_table->horizontalHeader()->setStretchLastSection(true);

    auto *two = new QPushButton(tr("比较所选两个版本"), this);
    two->setObjectName(QStringLiteral("historyCompareTwo"));
    auto *controller = new QPushButton(tr("与控制器当前程序比较"), this);
    controller->setObjectName(QStringLiteral("historyCompareController"));
    auto *file = new QPushButton(tr("与本地文件比较"), this);
    file->setObjectName(QStringLiteral("historyCompareFile"));
    m_status = new QLabel(this);
    m_status->setObjectName(QStringLiteral("historyStatus"));
    m_status->setWordWrap(true);
    m_view = new CompareView(this);

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(two);
    buttons->addWidget(controller);
    buttons->addWidget(file);
    buttons->addStretch(1);
    auto *top = new QWidget(this);
    auto *topLayout = new QVBoxLayout(top);
    topLayout->setContentsMargins(0, 0, 0, 0);
    topLayout->addWidget(m_table, 1);
    topLayout->addLayout(buttons);
    topLayout->addWidget(m_status);
    auto *splitter = new QSplitter(Qt::Vertical, this);
    splitter->addWidget(top);
    splitter->addWidget(m_view);
    splitter->setStretchFactor(1, 2);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(splitter);

    // What the compare shows belongs to the versions it was asked for.
    connect(m_table->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
        m_view->clear();
        m_status->clear();
    });
    connect(two, &QPushButton::clicked, this, &HistoryDialog::compareSelected);
    connect(controller, &QPushButton::clicked, this, &HistoryDialog::compareWithController);
    connect(file, &QPushButton::clicked, this, &HistoryDialog::compareWithFile);
    reload();
}

HistoryDialog::~HistoryDialog() = default;

QString HistoryDialog::status() const
{
    return m_status->text();
}

void HistoryDialog::reload()
{
    m_versions = ArchiveStore::configured().versions(m_deviceFolder, m_name);
    std::reverse(m_versions.begin(), m_versions.end());
    m_table->setRowCount(m_versions.size());
    const QLocale locale;
    for (int row = 0; row < m_versions.size(); ++row) {
        const ArchiveIndex::Version &v = m_versions.at(row);
        m_table->setItem(row, 0,
                         new QTableWidgetItem(v.when.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"))));
        m_table->setItem(row, 1, new QTableWidgetItem(operationText(v.operation)));
        m_table->setItem(row, 2, new QTableWidgetItem(locale.toString(v.size)));
        m_table->setItem(row, 3, new QTableWidgetItem(QString::fromLatin1(v.sha256.left(16))));
    }
    m_table->resizeColumnsToContents();
    if (!m_versions.isEmpty())
        m_table->selectRow(0);
    m_status->setText(m_versions.isEmpty() ? tr("存档中没有 %1 的版本").arg(m_name) : QString());
}

QList<ArchiveIndex::Version> HistoryDialog::selectedVersions() const
{
    QList<int> rows;
    for (const QModelIndex &index : m_table->selectionModel()->selectedRows())
        rows.append(index.row());
    // Newest last, so the older text is on the left.
    std::sort(rows.begin(), rows.end(), std::greater<int>());
    QList<ArchiveIndex::Version> out;
    for (int row : rows)
        out.append(m_versions.value(row));
    return out;
}

bool HistoryDialog::versionText(const ArchiveIndex::Version &version, QString *text, QString *title)
{
    QByteArray bytes;
    if (!ArchiveStore::configured().read(m_deviceFolder, m_name, version, &bytes)) {
        m_view->clear();
        m_status->setText(tr("存档版本 %1 无法读取或已损坏").arg(version.file));
        return false;
    }
    *text = TextCodec::decodeControllerText(bytes);
    *title = version.when.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    return true;
}

void HistoryDialog::showCompare(const QString &leftTitle, const QString &left, const QString &rightTitle,
                                const QString &right)
{
    m_view->setTexts(leftTitle, left, rightTitle, right);
    m_status->setText(tr("%1 与 %2").arg(leftTitle, rightTitle));
}

void HistoryDialog::compareSelected()
{
    const QList<ArchiveIndex::Version> chosen = selectedVersions();
    if (chosen.size() != 2) {
        m_view->clear();
        m_status->setText(tr("请选择两个版本"));
        return;
    }
    QString left, right, leftTitle, rightTitle;
    if (versionText(chosen.at(0), &left, &leftTitle) && versionText(chosen.at(1), &right, &rightTitle))
        showCompare(leftTitle, left, rightTitle, right);
}

void HistoryDialog::compareWithController()
{
    const QList<ArchiveIndex::Version> chosen = selectedVersions();
    if (chosen.size() != 1) {
        m_view->clear();
        m_status->setText(tr("请选择一个版本"));
        return;
    }
    QString left, leftTitle;
    if (!versionText(chosen.first(), &left, &leftTitle))
        return;
    const QPointer<HistoryDialog> self(this);
    const ControllerTexts::Current current = ControllerTexts::read(m_device, TextTarget::fromName(m_name));
    if (!self)
        return;
    if (current.absent || !current.ok()) {
        m_view->clear();
        m_status->setText(
            current.absent
                ? tr("控制器上没有 %1").arg(m_name)
                : tr("无法读取控制器上的 %1：%2").arg(m_name, ResultText::withCode(current.result)));
        return;
    }
    showCompare(leftTitle, left, tr("控制器"), TextCodec::decodeControllerText(current.bytes));
}

void HistoryDialog::compareWithFile()
{
    const QList<ArchiveIndex::Version> chosen = selectedVersions();
    if (chosen.size() != 1) {
        m_view->clear();
        m_status->setText(tr("请选择一个版本"));
        return;
    }
    const QPointer<HistoryDialog> self(this);
    const QString path = Dialogs::openFileName(this, tr("选择本地文件"), QString(), QString());
    if (!self || path.isEmpty())
        return;
    QString left, leftTitle, right;
    if (!versionText(chosen.first(), &left, &leftTitle))
        return;
    if (!ConfigStore::readTextFile(path, &right, MaxLocalBytes)) {
        m_view->clear();
        m_status->setText(tr("无法读取 %1").arg(QDir::toNativeSeparators(path)));
        return;
    }
    showCompare(leftTitle, left, QFileInfo(path).fileName(), right);
}
