// The parameter page's table for every catalogue entry, built from a SYS.PAR
// of any content: one header per row, never more cells than the entry has
// columns, a bit cell one character, and every line shown is a line of the
// section.
#include "fuzz/sysparpieces.h"
#include "views/parcatalogue.h"

#include <QSet>

#include <cstdint>
#include <cstdlib>

namespace {

// The bracketed words of the text, lower case: an entry whose key is not
// among them has no section, so only these are read (reading all 541 keys
// of every input would slow the fuzzer tenfold).
QSet<QString> bracketed(const QString &text)
{
    QSet<QString> words;
    int open = text.indexOf(QLatin1Char('['));
    while (open >= 0) {
        const int close = text.indexOf(QLatin1Char(']'), open);
        if (close < 0)
            break;
        words.insert(text.mid(open, close - open + 1).toLower());
        open = text.indexOf(QLatin1Char('['), open + 1);
    }
    return words;
}

void exercise(const QString &text)
{
    const QSet<QString> keys = bracketed(text);
    SysPar::RowLabels labels;
    SysPar::rebuildRowLabels(text, &labels);
    for (const ParCatalogue::Group &group : ParCatalogue::groups()) {
        for (const ParCatalogue::Entry &entry : group.entries) {
            if (!keys.contains(entry.key.toLower()))
                continue;
            const QStringList rows = SysPar::readSection(text, entry.key);
            if (rows.isEmpty())
                continue;
            const ParCatalogue::Table table = ParCatalogue::table(entry, rows, labels);
            if (table.cells.size() != table.headers.size())
                std::abort();
            if (entry.rowKind == ParCatalogue::RowKind::Numbered && table.headers.size() != rows.size())
                std::abort();
            for (int i = 0; i < table.cells.size(); ++i) {
                const QStringList &cells = table.cells.at(i);
                if (cells.size() > entry.columns || (!cells.isEmpty() && i >= rows.size()))
                    std::abort();
                if (entry.columns == ParCatalogue::BitColumns) {
                    for (const QString &cell : cells) {
                        if (cell.size() != 1)
                            std::abort();
                    }
                } else if (!cells.isEmpty() && cells.first() != rows.at(i)) {
                    std::abort();
                }
            }
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), static_cast<int>(size));
    exercise(QString::fromUtf8(bytes));
    exercise(FuzzPieces::sysParText(bytes));
    return 0;
}
