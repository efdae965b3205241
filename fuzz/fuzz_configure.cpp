// Configure.xml is a file anyone can edit: the real loader must read any bytes
// without crashing, and what it read must survive a save and a second load
// unchanged (a loaded file saved twice gives the same bytes twice).
#include "config/configstore.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cstdint>
#include <cstdlib>

namespace {

QByteArray fileBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool sameRecords(const QList<DeviceRecord> &a, const QList<DeviceRecord> &b)
{
    if (a.size() != b.size())
        return false;
    for (int i = 0; i < a.size(); ++i) {
        if (a.at(i).Type != b.at(i).Type || a.at(i).Model != b.at(i).Model ||
            a.at(i).Address != b.at(i).Address || a.at(i).Id != b.at(i).Id)
            return false;
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // Saving syncs the file to disk; in memory that costs nothing.
    static QTemporaryDir dir(QDir(QStringLiteral("/dev/shm")).exists()
                                 ? QStringLiteral("/dev/shm/vexa-fuzz-XXXXXX")
                                 : QDir::tempPath() + QStringLiteral("/vexa-fuzz-XXXXXX"));
    static const QString input = dir.filePath(QStringLiteral("Configure.xml"));
    static const QString first = dir.filePath(QStringLiteral("first.xml"));
    static const QString second = dir.filePath(QStringLiteral("second.xml"));
    if (!dir.isValid())
        std::abort();

    QFile file(input);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        std::abort();
    file.write(reinterpret_cast<const char *>(data), static_cast<qint64>(size));
    file.close();

    ConfigStore *store = ConfigStore::instance();
    store->resetToDefaults();
    store->loadFrom(input);
    const QList<DeviceRecord> loaded = store->devices();
    if (!store->saveTo(first, loaded))
        std::abort();

    store->resetToDefaults();
    store->loadFrom(first);
    const QList<DeviceRecord> reloaded = store->devices();
    if (!sameRecords(loaded, reloaded))
        std::abort();
    if (!store->saveTo(second, reloaded) || fileBytes(first) != fileBytes(second))
        std::abort();
    return 0;
}
