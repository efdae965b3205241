#pragma once

#include <QString>
#include <QStringList>
#include <QVector>
#include <QtGlobal>

// The program editor's canonical spacing and word classes. A part program line
// is made of words: an address letter with its number (G01, X100.5, F300), runs
// of upper-case letters (GOTO, N), and a comment from "(" or "//" to the end of
// the line. Rebuilding a line drops all white space, puts one space in front of
// every new word and gives every character its word's class, which the editor
// shows as a colour.
namespace ProgramWords {

// Only equality matters for the spacing; the editor gives each its own colour.
enum Class : quint8 {
    Plain = 0,       // values after a letter word; lower-case text
    Word = 1,        // an upper-case letter that is not a G, M, F, S or T word, or a run of letters
    Comment = 2,     // from "(" or "//" to the end of the line
    GWord = 3,       // G with its number
    MWord = 4,       // M with its number
    FeedOrSpeed = 5, // F or S with its number: one class, so F100S500 stays one word
    ToolWord = 6,    // T with its number
};
constexpr int ClassCount = 7;

// Characters [start, start + length) of a rebuilt line share one class.
struct Run
{
    int start = 0;
    int length = 0;
    Class wordClass = Plain;
};

struct Line
{
    QString text;
    // Cover the text in order; neighbours differ in class. A space put in
    // front of a word belongs to that word's run.
    QVector<Run> runs;
};

inline bool operator==(const Run &a, const Run &b)
{
    return a.start == b.start && a.length == b.length && a.wordClass == b.wordClass;
}
inline bool operator==(const Line &a, const Line &b)
{
    return a.text == b.text && a.runs == b.runs;
}

// One line of typed text (line breaks count as white space and are dropped).
Line rebuildLine(const QString &typed);

// The classes of a line as typed, before any rebuild: runs that cover the
// typed text, each character in the class the rebuild would give it. White
// space takes the class of the word it stands in front of (at the end of the
// line, of the word before it). A view colours a line the user has not
// rebuilt with these.
QVector<Run> typedRuns(const QString &typed);

// Characters for which QChar::isSpace() holds.
int countSpaces(const QString &text);

// The lines a whole-text rebuild writes, each to be followed by one line feed:
// the text split at line feeds, without the empty part after a final one. So a
// text without a final line feed gains one, and a rebuilt text rebuilds to
// itself.
QStringList textLines(const QString &text);

} // namespace ProgramWords
