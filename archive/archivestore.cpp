#include "archive/archivestore.h"

#include "config/configstore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

// An index is a few kilobytes; anything far larger is not one.
constexpr qint64 MaxIndexBytes = 4ll * 1024 * 1024;

// The versions of a folder's index; false when an index is there but cannot be
// read (then it must not be replaced by one that forgets its versions).
bool readIndex(const QString &dir, QList<ArchiveIndex::Version> *versions)
{
    const QString path = dir + QLatin1Char('/') + QLatin1String(ArchiveIndex::IndexFileName);
    versions->clear();
    if (!QFileInfo::exists(path))
        return true;
    QByteArray bytes;
    if (!ConfigStore::readFileBytes(path, &bytes, MaxIndexBytes))
        return false;
    *versions = ArchiveIndex::parse(bytes);
    return true;
}

} // namespace

ArchiveStore::ArchiveStore(const QString &root, int keep) : m_root(root), m_keep(qMax(keep, 1)) {}

ArchiveStore ArchiveStore::configured()
{
    const ConfigStore *config = ConfigStore::instance();
    const QString folder = config->archiveFolder();
    return ArchiveStore(folder.isEmpty() ? defaultRoot() : folder, config->archiveKeep());
}

QString ArchiveStore::defaultRoot()
{
    return QFileInfo(ConfigStore::filePath()).absolutePath() + QStringLiteral("/archive");
}

QString ArchiveStore::folder(const QString &device, const QString &name) const
{
    return m_root + QLatin1Char('/') + ArchiveIndex::folderName(device) + QLatin1Char('/') +
           ArchiveIndex::folderName(name);
}

QString ArchiveStore::deviceFolder(const QString &root, const DeviceRecord &device, bool settle)
{
    QString bare = ArchiveIndex::folderName(device.Name);
    if (device.Id.isEmpty())
        return bare;
    const QString suffix = QLatin1Char('-') + ArchiveIndex::folderName(device.shortId());
    QString wanted = ArchiveIndex::folderName(bare + suffix);
    QDir dir(root);
    if (QFileInfo(dir.filePath(wanted)).isDir())
        return wanted;
    // Renamed since, or kept by name before.
    QString found;
    const QStringList earlier =
        dir.entryList({QLatin1Char('*') + suffix}, QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
    if (!earlier.isEmpty())
        found = earlier.first();
    else if (QFileInfo(dir.filePath(bare)).isDir())
        found = bare;
    if (found.isEmpty())
        return wanted;
    if (settle && dir.rename(found, wanted))
        return wanted;
    return found;
}

bool ArchiveStore::keep(const QString &device, const QString &name, ArchiveIndex::Operation operation,
                        const QByteArray &bytes, const QDateTime &when, QString *why) const
{
    const QString dir = folder(device, name);
    auto fail = [&](const QString &reason) {
        if (why)
            *why = reason.arg(QDir::toNativeSeparators(dir));
        return false;
    };
    if (!QDir().mkpath(dir))
        return fail(tr("无法建立存档文件夹 %1"));

    QList<ArchiveIndex::Version> list;
    if (!readIndex(dir, &list))
        return fail(tr("无法读取存档索引 %1"));
    ArchiveIndex::Version version;
    version.when = when;
    version.operation = operation;
    version.size = bytes.size();
    version.sha256 = ArchiveIndex::sha256(bytes);
    // The newest version already holds these bytes: an update repeated on a
    // running machine, or a restore of an unchanged backup, would only push
    // real versions out of the bound.
    if (!list.isEmpty() && list.last().sha256 == version.sha256 && list.last().size == version.size)
        return true;
    version.file = ArchiveIndex::versionFileName(when, list);
    const QString path = dir + QLatin1Char('/') + version.file;
    // A file of that name the index does not know (left by a failed keep) is
    // replaced.
    if (!ConfigStore::writeFileWhole(path, bytes))
        return fail(tr("无法写入存档文件夹 %1"));

    list.append(version);
    const QList<ArchiveIndex::Version> dropped = ArchiveIndex::beyondBound(list, m_keep);
    const QList<ArchiveIndex::Version> kept = list.mid(dropped.size());
    if (!ConfigStore::writeFileWhole(dir + QLatin1Char('/') + QLatin1String(ArchiveIndex::IndexFileName),
                                     ArchiveIndex::format(kept))) {
        QFile::remove(path);
        return fail(tr("无法写入存档索引 %1"));
    }
    for (const ArchiveIndex::Version &old : dropped)
        QFile::remove(dir + QLatin1Char('/') + old.file);
    return true;
}

QList<ArchiveIndex::Version> ArchiveStore::versions(const QString &device, const QString &name) const
{
    QList<ArchiveIndex::Version> list;
    readIndex(folder(device, name), &list);
    return list;
}

bool ArchiveStore::read(const QString &device, const QString &name, const ArchiveIndex::Version &version,
                        QByteArray *bytes) const
{
    const QString path = folder(device, name) + QLatin1Char('/') + version.file;
    QFile file(path);
    if (!QFileInfo(path).isFile() || file.size() != version.size || !file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray content = file.readAll();
    if (content.size() != version.size || ArchiveIndex::sha256(content) != version.sha256)
        return false;
    *bytes = content;
    return true;
}
