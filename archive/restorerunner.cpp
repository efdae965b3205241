#include "archive/restorerunner.h"

#include "archive/archiveguard.h"
#include "archive/archiveindex.h"
#include "archive/backuprunner.h"
#include "archive/controllertexts.h"
#include "config/filenames.h"
#include "link/modbusdevice.h"
#include "link/resulttext.h"
#include "link/transfercodec.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QTimer>

#include <algorithm>

namespace {

// A manifest lists a few hundred rows at most.
constexpr qint64 MaxManifestBytes = 4ll * 1024 * 1024;

bool programFirst(const BackupItem &a, const BackupItem &b)
{
    const bool ap = FileNames::programNumber(a.name) >= 0;
    const bool bp = FileNames::programNumber(b.name) >= 0;
    return ap != bp ? ap : a.name < b.name;
}

} // namespace

Manifest::Device readBackupDevice(const QString &folder)
{
    QFile file(QDir(folder).filePath(QLatin1String(Manifest::FileName)));
    if (!QFileInfo(file.fileName()).isFile() || file.size() > MaxManifestBytes ||
        !file.open(QIODevice::ReadOnly))
        return {};
    return Manifest::parseDevice(file.readAll());
}

QString otherDeviceText(const Manifest::Device &backup, const DeviceRecord &target)
{
    if (backup.id.isEmpty() || backup.id == target.Id)
        return QString();
    const QString where =
        backup.address.isEmpty() ? backup.link : backup.link + QLatin1Char(' ') + backup.address;
    return QCoreApplication::translate("RestoreRunner", "备份来自另一设备 \"%1\" (%2, %3, 站号 %4, Id %5)，"
                                                        "不是 \"%6\"")
        .arg(backup.name, where, backup.model)
        .arg(backup.station)
        .arg(backup.id, target.Name);
}

QList<BackupItem> readBackupFolder(const QString &folder, QString *why)
{
    const QDir dir(folder);
    if (folder.isEmpty() || !dir.exists()) {
        if (why)
            *why = QCoreApplication::translate("RestoreRunner", "找不到备份文件夹 %1")
                       .arg(QDir::toNativeSeparators(folder));
        return {};
    }
    QHash<QString, Manifest::Row> manifest;
    QFile manifestFile(dir.filePath(QLatin1String(Manifest::FileName)));
    if (QFileInfo(manifestFile.fileName()).isFile() && manifestFile.size() <= MaxManifestBytes &&
        manifestFile.open(QIODevice::ReadOnly)) {
        for (const Manifest::Row &row : Manifest::parse(manifestFile.readAll()))
            manifest.insert(row.name, row);
    }

    QList<BackupItem> items;
    QSet<QString> seen;
    const QFileInfoList files = dir.entryInfoList(QDir::Files, QDir::Name);
    for (const QFileInfo &info : files) {
        const QString name = info.fileName();
        if (!Manifest::isItemName(name))
            continue;
        seen.insert(name);
        BackupItem item{name, info.absoluteFilePath(), info.size(), QByteArray(), QString()};
        QFile file(item.path);
        if (!info.isReadable() || !TransferCodec::fitsWindow(info.size()) ||
            !file.open(QIODevice::ReadOnly)) {
            item.problem = QCoreApplication::translate("RestoreRunner", "无法读取");
            items.append(item);
            continue;
        }
        const QByteArray bytes = file.readAll();
        item.size = bytes.size();
        item.sha256 = ArchiveIndex::sha256(bytes);
        const auto row = manifest.constFind(name);
        item.unchecked = row == manifest.constEnd();
        if (!item.unchecked && (row->outcome != Manifest::Outcome::Saved || row->size != item.size ||
                                row->sha256 != item.sha256))
            item.problem = QCoreApplication::translate("RestoreRunner", "与备份清单不符");
        items.append(item);
    }
    for (const Manifest::Row &row : qAsConst(manifest)) {
        if (row.outcome == Manifest::Outcome::Saved && Manifest::isItemName(row.name) &&
            !seen.contains(row.name))
            items.append({row.name, dir.filePath(row.name), row.size, row.sha256,
                          QCoreApplication::translate("RestoreRunner", "文件缺失")});
    }
    std::stable_sort(items.begin(), items.end(), programFirst);
    return items;
}

QList<RestoreItem> compareWithController(const QList<BackupItem> &backup,
                                         const QHash<QString, QByteArray> &controller)
{
    QList<RestoreItem> out;
    QSet<QString> inBackup;
    for (const BackupItem &item : backup) {
        inBackup.insert(item.name);
        RestoreItem r{item.name, RestoreItem::Same};
        if (!item.problem.isEmpty())
            r.status = RestoreItem::Unusable;
        else if (!controller.contains(item.name))
            r.status = RestoreItem::OnlyInBackup;
        else if (controller.value(item.name) != item.sha256)
            r.status = RestoreItem::Changed;
        out.append(r);
    }
    QStringList extra;
    for (auto it = controller.constBegin(); it != controller.constEnd(); ++it) {
        if (!inBackup.contains(it.key()))
            extra.append(it.key());
    }
    std::sort(extra.begin(), extra.end());
    for (const QString &name : qAsConst(extra))
        out.append({name, RestoreItem::OnlyOnController});
    return out;
}

RestoreRunner::RestoreRunner(ModbusDevice *device, QObject *parent)
    : QObject(parent), m_device(device), m_step(new QTimer(this))
{
    m_step->setSingleShot(true);
    connect(m_step, &QTimer::timeout, this, &RestoreRunner::next);
}

RestoreRunner::~RestoreRunner() = default;

void RestoreRunner::start(const QList<BackupItem> &items)
{
    if (m_running)
        return;
    m_queue = items;
    std::stable_sort(m_queue.begin(), m_queue.end(), programFirst);
    m_running = true;
    m_cancel = false;
    m_written = 0;
    m_failed = 0;
    m_directory = std::make_shared<ControllerTexts::Directory>();
    m_busy.reset();
    m_step->start(0);
}

void RestoreRunner::cancel()
{
    m_cancel = true;
}

bool RestoreRunner::isRunning() const
{
    return m_running;
}

QString RestoreRunner::resultText(int result)
{
    return result == Result::Ok ? tr("已写入") : ResultText::withCode(result);
}

QString RestoreRunner::uncheckedText()
{
    return tr("未校验");
}

void RestoreRunner::next()
{
    if (!m_running)
        return;
    if (m_cancel || m_queue.isEmpty()) {
        m_running = false;
        emit finished(m_written, m_failed, m_cancel && !m_queue.isEmpty());
        return;
    }
    ModbusDevice *device = m_device;
    if (device && device->isBusy() && m_busy.again(device)) {
        m_step->start(BusyRetry::IntervalMs);
        return;
    }
    m_busy.reset();
    const BackupItem item = m_queue.takeFirst();
    emit itemStarted(item.name);

    int result = Result::Ok;
    QString detail = item.problem;
    QByteArray bytes;
    QFile file(item.path);
    if (detail.isEmpty()) {
        if (!file.open(QIODevice::ReadOnly) || (bytes = file.readAll()).size() != item.size ||
            ArchiveIndex::sha256(bytes) != item.sha256)
            detail = tr("备份文件已改变或无法读取");
    }
    const QPointer<RestoreRunner> self(this);
    if (detail.isEmpty()) {
        result = ArchiveGuard::write(device, TextTarget::fromName(item.name), bytes,
                                     ArchiveIndex::Operation::Restore, {}, &detail, m_directory);
        if (!self)
            return;
    } else {
        result = Result::OpenFailed;
    }
    if (result == Result::Ok)
        ++m_written;
    else
        ++m_failed;
    emit itemFinished(item.name, result, detail.isEmpty() ? resultText(result) : detail);
    if (self && m_running)
        m_step->start(0);
}
