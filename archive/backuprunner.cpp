#include "archive/backuprunner.h"

#include "archive/archiveindex.h"
#include "archive/archivestore.h"
#include "archive/controllertexts.h"
#include "archive/manifest.h"
#include "config/configstore.h"
#include "config/filenames.h"
#include "link/modbusdevice.h"
#include "link/resulttext.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QTimer>

const QStringList &BackupRunner::systemFiles()
{
    return Manifest::systemFiles();
}

QString BackupRunner::directoryItem()
{
    // Parentheses: no program or file is named so, and a restore skips it.
    return QStringLiteral("(directory)");
}

QString BackupRunner::displayName(const QString &item)
{
    return item == directoryItem() ? tr("(目录)") : item;
}

QString BackupRunner::configuredRoot()
{
    const QString folder = ConfigStore::instance()->backupFolder();
    return folder.isEmpty() ? QFileInfo(ConfigStore::filePath()).absolutePath() + QStringLiteral("/backups")
                            : folder;
}

BackupRunner::BackupRunner(ModbusDevice *device, QObject *parent)
    : QObject(parent), m_device(device), m_step(new QTimer(this))
{
    qRegisterMetaType<BackupRunner::Summary>();
    qRegisterMetaType<Manifest::Row>();
    m_step->setSingleShot(true);
    connect(m_step, &QTimer::timeout, this, &BackupRunner::next);
    if (device)
        m_record = device->record();
}

Manifest::Device BackupRunner::manifestDevice(const DeviceRecord &record)
{
    static const char *const models[] = {"P7", "P5", "P5X"};
    const DeviceRecord held = record.cleaned();
    Manifest::Device device;
    device.id = held.Id;
    device.name = held.Name;
    device.link = held.Type == 0 ? QStringLiteral("rtu") : QStringLiteral("tcp");
    device.address = held.Type == 0 ? ConfigStore::instance()->modbusSettings().Port.toString() : held.IP;
    device.station = held.Address;
    device.model = QLatin1String(models[held.Model]);
    return device;
}

BackupRunner::~BackupRunner() = default;

void BackupRunner::setBackupRoot(const QString &root)
{
    m_root = root;
}

QString BackupRunner::folder() const
{
    return m_folder;
}

QString BackupRunner::plannedFolder() const
{
    return m_plannedFolder;
}

bool BackupRunner::isRunning() const
{
    return m_running;
}

BackupRunner::Summary BackupRunner::summary() const
{
    return m_summary;
}

QList<Manifest::Row> BackupRunner::rows() const
{
    return m_rows;
}

QHash<QString, QByteArray> BackupRunner::texts() const
{
    return m_texts;
}

bool BackupRunner::makeFolder(QString *why)
{
    const QString base = m_root + QLatin1Char('/') + ArchiveStore::deviceFolder(m_root, m_record, true) +
                         QLatin1Char('/') +
                         QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    QString folder = base;
    for (int n = 2; QFileInfo::exists(folder); ++n)
        folder = base + QStringLiteral("-%1").arg(n);
    m_plannedFolder = folder;
    if (!QDir().mkpath(folder)) {
        *why = tr("无法建立备份文件夹 %1").arg(QDir::toNativeSeparators(folder));
        return false;
    }
    m_folder = folder;
    return true;
}

void BackupRunner::start()
{
    if (m_running)
        return;
    m_running = true;
    m_cancel = false;
    m_rows.clear();
    m_texts.clear();
    m_summary = Summary();
    if (m_device)
        m_record = m_device->record(); // as the card is named now
    m_queue = QStringList{directoryItem()};
    m_folder.clear();
    m_plannedFolder.clear();
    m_directory = std::make_shared<ControllerTexts::Directory>();
    if (!m_root.isEmpty()) {
        QString why;
        if (!makeFolder(&why)) {
            m_queue.clear();
            finishItem({directoryItem(), 0, QByteArray(), Manifest::Outcome::Failed}, why);
            finish(false);
            return;
        }
    }
    m_step->start(0);
}

void BackupRunner::cancel()
{
    m_cancel = true;
}

void BackupRunner::next()
{
    if (!m_running)
        return;
    if (m_cancel) {
        finish(true);
        return;
    }
    if (m_queue.isEmpty()) {
        finish(false);
        return;
    }
    const QString name = m_queue.first();
    if (!m_busy.isWaiting())
        emit itemStarted(name);
    const QPointer<BackupRunner> self(this);
    runItem(name);
    if (!self)
        return;
    if (m_running)
        m_step->start(m_busy.isWaiting() ? BusyRetry::IntervalMs : 0);
}

void BackupRunner::runItem(const QString &name)
{
    ModbusDevice *device = m_device;
    // Busy with someone else (a view's read, the upload dialog): asked again
    // shortly, from the event loop, for as long as one request may take.
    if (device && device->isBusy() && m_busy.again(device))
        return;
    m_busy.reset();
    const QPointer<BackupRunner> self(this);

    if (name == directoryItem()) {
        ControllerTexts::ensureDirectory(device, m_directory);
        if (!self)
            return;
        const int result = m_directory->result;
        const QList<ProgramEntry> &entries = m_directory->entries;
        m_queue.removeFirst();
        if (result != Result::Ok) {
            // Without the directory no program is known; the files still are.
            m_queue = systemFiles();
            finishItem({name, 0, QByteArray(), Manifest::Outcome::Failed}, ResultText::withCode(result));
        } else {
            QStringList programs;
            for (const ProgramEntry &entry : entries) {
                if (!programs.contains(entry.name))
                    programs.append(entry.name);
            }
            m_queue = programs + systemFiles();
            finishItem({name, entries.size(), QByteArray(), Manifest::Outcome::Saved}, QString());
        }
        return;
    }

    m_queue.removeFirst();
    // A directory line is the controller's word: only a program name is read
    // and written under its name.
    const bool program = FileNames::programNumber(name) >= 0;
    if (!program && !systemFiles().contains(name)) {
        finishItem({name, 0, QByteArray(), Manifest::Outcome::Failed}, tr("不是程序名"));
        return;
    }
    const ControllerTexts::Current current =
        ControllerTexts::read(device, TextTarget::fromName(name), m_directory);
    if (!self)
        return;
    Manifest::Row row{name, current.bytes.size(), QByteArray(), Manifest::Outcome::Failed};
    // A program is queued because the directory lists it: one that went
    // since failed to read, it is not absent.
    if (current.absent && !program) {
        row.size = 0;
        row.outcome = Manifest::Outcome::Absent;
        finishItem(row, QString());
        return;
    }
    if (!current.ok()) {
        row.size = 0;
        finishItem(row, ResultText::withCode(current.result));
        return;
    }
    if (!m_folder.isEmpty() &&
        !ConfigStore::writeFileWhole(m_folder + QLatin1Char('/') + name, current.bytes)) {
        row.size = 0;
        finishItem(row, tr("无法写入 %1").arg(QDir::toNativeSeparators(m_folder + QLatin1Char('/') + name)));
        return;
    }
    if (m_folder.isEmpty())
        m_texts.insert(name, current.bytes);
    row.sha256 = ArchiveIndex::sha256(current.bytes);
    row.outcome = Manifest::Outcome::Saved;
    finishItem(row, QString());
}

void BackupRunner::finishItem(const Manifest::Row &row, const QString &detail)
{
    // The directory is no file: in the manifest and the count only when it failed.
    if (row.name == directoryItem() && row.outcome != Manifest::Outcome::Failed) {
        emit itemFinished(row, detail);
        return;
    }
    m_rows.append(row);
    switch (row.outcome) {
    case Manifest::Outcome::Saved:
        ++m_summary.saved;
        break;
    case Manifest::Outcome::Failed:
        ++m_summary.failed;
        break;
    case Manifest::Outcome::Absent:
        ++m_summary.absent;
        break;
    }
    emit itemFinished(row, detail);
}

void BackupRunner::finish(bool cancelled)
{
    m_running = false;
    m_step->stop();
    m_summary.cancelled = cancelled;
    m_summary.finished = true;
    if (!m_folder.isEmpty() &&
        !ConfigStore::writeFileWhole(m_folder + QLatin1Char('/') + QLatin1String(Manifest::FileName),
                                     Manifest::format(m_rows, manifestDevice(m_record)))) {
        // Without its manifest a backup cannot be checked: counted as a failure.
        ++m_summary.failed;
        const Manifest::Row row{QLatin1String(Manifest::FileName), 0, QByteArray(),
                                Manifest::Outcome::Failed};
        emit itemFinished(row, tr("无法写入 %1").arg(QDir::toNativeSeparators(m_folder)));
    }
    emit finished(m_summary);
}
