// The archive's index.tsv of one name, which a foreign edit or a torn write may
// have left in any state: every version read has a valid time, a hash and a
// file name inside its folder, and the bound never drops more than it holds.
#include "archive/archiveindex.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), static_cast<int>(size));
    const QList<ArchiveIndex::Version> versions = ArchiveIndex::parse(bytes);
    for (const ArchiveIndex::Version &v : versions) {
        if (!v.when.isValid() || v.size < 0 || v.sha256.size() != 64 || v.file.isEmpty() ||
            v.file.contains(QLatin1Char('/')) || v.file.contains(QLatin1Char('\\')) || v.file.startsWith('.'))
            std::abort();
    }
    if (ArchiveIndex::parse(ArchiveIndex::format(versions)).size() != versions.size())
        std::abort();
    const int keep = bytes.isEmpty() ? 1 : quint8(bytes.at(0)) % 8;
    if (ArchiveIndex::beyondBound(versions, keep).size() > qMax(0, versions.size() - 1))
        std::abort();
    return 0;
}
