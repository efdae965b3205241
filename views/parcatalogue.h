#pragma once

#include "views/syspar.h"

#include <QMap>
#include <QString>
#include <QStringList>
#include <QVector>

// The fixed tables of the parameter page: the groups of SYS.PAR sections the
// page offers, each entry with its title, key, how its rows are headed and how
// many columns it has; and the meaning of every bit of the bit sections.
namespace ParCatalogue {

// How the rows of a section are headed.
enum class RowKind {
    Axes,     // one row per axis label
    Channels, // one row per channel label
    Spindles, // one row per spindle label
    Single,   // one row with an empty header
    Numbered, // one row per line of the section, numbered from 1
};

constexpr int BitColumns = 8;

struct Entry
{
    int number = 0; // the parameter number
    QString title;  // "（0001）各轴相关设置"
    QString key;    // the section's header key, "[SETx]"
    RowKind rowKind = RowKind::Numbered;
    int columns = 1; // BitColumns for a bit entry, 1 for a value entry
};

struct Group
{
    QString name;
    QVector<Entry> entries;
};

// The groups with their entries, in the order the page lists them.
const QVector<Group> &groups();

// How the tree's hidden row-kind column writes a kind: "轴数", "通道数",
// "主轴数", "1", "未定".
QString rowKindText(RowKind kind);

// Section key → the explanation of each bit, column 0 first.
using BitDescriptions = QMap<QString, QStringList>;
BitDescriptions bitDescriptions();

// The list for a key; a key without one gets a single text saying so.
QStringList descriptionsFor(const BitDescriptions &descriptions, const QString &key);
// The explanation of column `column` of a bit section; "NULL" past the list.
QString explanation(const QStringList &descriptions, int column);

// What the page's table shows for one entry: a header per row and the cells
// of each row (eight one-character bit cells, or the line as one value cell).
// Rows are headed by the labels of the entry's row kind, or numbered from 1;
// a row without a line in the section, and bits past a short line, stay
// empty, and lines beyond the headers are not shown. At most MaxTableRows
// rows are made: a SYS.PAR with a section (or an axis list) of a hundred
// thousand lines would otherwise hold the page for minutes.
constexpr int MaxTableRows = 1000;
struct Table
{
    QStringList headers;
    QVector<QStringList> cells; // one list per row, at most `columns` long
    bool cut = false;           // more rows than MaxTableRows were due
};
Table table(const Entry &entry, const QStringList &sectionRows, const SysPar::RowLabels &labels);

} // namespace ParCatalogue
