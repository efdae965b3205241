// SYS.PAR comes from a controller or a file the user picks: section reading
// and the row labels must never crash, and every row must be one whole line.
#include "fuzz/sysparpieces.h"
#include "views/syspar.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <cstdlib>

namespace {

void checkRows(const QString &text, const QStringList &rows)
{
    const int breaks =
        text.count(QLatin1Char('\n')) + text.count(QLatin1Char('\r')) - text.count(QLatin1String("\r\n"));
    if (rows.size() > breaks + 1)
        std::abort();
    int characters = 0;
    for (const QString &row : rows) {
        if (row.contains(QLatin1Char('\n')) || row.contains(QLatin1Char('\r')) ||
            row.startsWith(QLatin1Char('[')))
            std::abort();
        characters += row.size();
    }
    if (characters > text.size())
        std::abort();
}

void exercise(const QString &text)
{
    // The first line, when short, is a key too: any text may be looked up.
    const int firstBreak = text.indexOf(QLatin1Char('\n'));
    if (firstBreak > 0 && firstBreak <= 16)
        checkRows(text, SysPar::readSection(text, text.left(firstBreak)));
    const char *const keys[] = {"[SPSTc]", "[SSPNn]", "[CHNs]", "[TYPEx]", "[CHNx]", "[SETx]"};
    for (const char *key : keys) {
        const QStringList rows = SysPar::readSection(text, QString::fromLatin1(key));
        checkRows(text, rows);
        for (const QString &row : rows)
            SysPar::axisName(row);
    }

    SysPar::RowLabels labels;
    SysPar::rebuildRowLabels(text, &labels);
    if (labels.spindles.size() > 4 && labels.channels.size() == 1)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), static_cast<int>(size));
    exercise(QString::fromUtf8(bytes));
    exercise(FuzzPieces::sysParText(bytes));
    return 0;
}
