#pragma once

#include <QString>
#include <QStringList>
#include <QVector>

// Line compare of two part programs (or any two texts) for the compare view.
// The edit script comes from dtl (Debian's libdtl-dev); this decides what
// counts as the same line and how the script is laid out.
namespace TextDiff {

// The lines of a text: split at line feeds, a carriage return before one
// dropped, no empty line after a final line feed.
QStringList lines(const QString &text);

// A line as the compare sees it when sequence numbers and spacing are
// ignored: no white space anywhere, and no N word (N with its number) in the
// program part; a comment keeps its N words.
QString withoutNumbering(const QString &line);

// One line of the unified view: a line both texts share, or one only the
// left (older) or only the right (newer) text has, with its index in that
// text (-1 where it has none).
struct Line
{
    enum Kind { Same, Removed, Added };
    Kind kind = Same;
    int left = -1;
    int right = -1;
};

// The lines of both texts in order, removals before additions at each change.
QVector<Line> compare(const QStringList &left, const QStringList &right, bool ignoreNumbering);

// One row of the side-by-side view: removed and added lines of one change
// face each other as changed rows; a change's extra lines stand alone.
struct Row
{
    enum Kind { Same, Changed, Removed, Added };
    Kind kind = Same;
    int left = -1;
    int right = -1;
};

QVector<Row> sideBySide(const QVector<Line> &lines);

// Lines that differ, as the side-by-side view counts its rows: a changed
// line is one, however its two versions are listed.
int changeCount(const QVector<Line> &lines);

} // namespace TextDiff
