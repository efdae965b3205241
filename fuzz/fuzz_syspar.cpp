// SYS.PAR comes from a controller or a file the user picks: section reading
// and the row labels must never crash, and every row must be one whole line.
#include "views/syspar.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <cstdlib>
#include <iterator>

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

// Each byte picks a piece of a parameter file, so random input reaches the
// label rules as well as the line handling.
QString tokenised(const QByteArray &bytes)
{
    static const char *const pieces[] = {
        "[SPSTc]", "[SSPNn]", "[CHNs]", "[TYPEx]", "[CHNx]", "[SETx]", "[spstc]",  "\n", "\n",
        "\n",      "\r\n",    "\r",     "1",       "2",      "3",      "103",      "0",  "abc",
        "-7",      " ",       ";",      "[",       "]",      "x",      "00000010",
    };
    QString text;
    for (const char byte : bytes)
        text += QString::fromLatin1(pieces[static_cast<unsigned char>(byte) % std::size(pieces)]);
    return text;
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
    exercise(tokenised(bytes));
    return 0;
}
