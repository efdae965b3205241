#pragma once

#include <QString>
#include <QStringList>

// Reading SYS.PAR, the controller's parameter file. The file is never parsed
// as a whole: single sections are read out of the text on demand by their
// header key ("[SETx]"), and three row-label lists (channels, axes, spindles)
// are derived from five of its sections.
namespace SysPar {

// The rows of the section whose header holds `key` (brackets included): every
// line after the header line up to the next line that begins with "[", or to
// the end of the text. The key is found case-insensitively, as a whole word,
// at its first such occurrence. A header line must end with its key: anything
// after the closing bracket makes the section read as empty. Lines end at CR
// LF, LF or CR; empty lines are rows too, so a text ending in a line break
// gives its last section one empty row more. Empty when the key is absent.
// With maxRows >= 0, reading stops after that many rows.
QStringList readSection(const QString &text, const QString &key, int maxRows = -1);

// The name of an axis type code: 1 to 9 "X" "Y" "Z" "A" "B" "C" "U" "V" "W",
// 101 to 109 "X1" to "X9", 110 to 999 as the controller names an axis by its
// name code (166 "XB", 203 "Y3"), anything else empty.
QString axisName(int code);
// The name of a "[TYPEx]" row; a row that is not a decimal integer counts as 0.
QString axisName(const QString &row);

struct RowLabels
{
    QStringList channels;
    QStringList axes;
    QStringList spindles;
};

// Rebuilds the labels from a parameter text. An empty text changes nothing.
// Otherwise the lists are emptied and built from "[SPSTc]", then "[SSPNn]"
// (one channel) or "[CHNs]" (several), then "[TYPEx]" and "[CHNx]". Returns
// true when all three were built, so the counts shown may follow them; false
// when a section they need is absent and the build stopped there (the lists
// then hold what was built before the stop).
bool rebuildRowLabels(const QString &text, RowLabels *labels);

} // namespace SysPar
