// A backup folder's manifest.tsv, which may come from anywhere: every row read
// names something and, when saved, carries a hash; what is read is written and
// read back the same, whatever the line ends.
#include "archive/manifest.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), static_cast<int>(size));
    const QList<Manifest::Row> rows = Manifest::parse(bytes);
    for (const Manifest::Row &row : rows) {
        if (row.name.isEmpty() || row.size < 0 ||
            (row.outcome == Manifest::Outcome::Saved && row.sha256.size() != 64))
            std::abort();
        Manifest::isItemName(row.name);
    }
    if (Manifest::parse(Manifest::format(rows)) != rows)
        std::abort();
    QByteArray crlf = Manifest::format(rows);
    crlf.replace('\n', "\r\n");
    if (Manifest::parse(crlf) != rows)
        std::abort();
    return 0;
}
