#include "views/programwords.h"

namespace ProgramWords {

namespace {

bool startsComment(const QString &s, int i)
{
    const QChar c = s.at(i);
    return c == QLatin1Char('(') ||
           (c == QLatin1Char('/') && i + 1 < s.size() && s.at(i + 1) == QLatin1Char('/'));
}

// An upper-case letter is an address word only when a number (or a bracketed
// expression, G[#1]) follows, and it does not continue a run of letters.
Class letterClass(const QString &s, int i)
{
    if (i > 0 && s.at(i - 1).isUpper())
        return Word;
    if (i + 1 >= s.size())
        return Word;
    const QChar next = s.at(i + 1);
    if (!next.isDigit() && next != QLatin1Char('['))
        return Word;
    switch (s.at(i).unicode()) {
    case 'G':
        return GWord;
    case 'M':
        return MWord;
    case 'F':
    case 'S':
        return FeedOrSpeed;
    case 'T':
        return ToolWord;
    default:
        return Word;
    }
}

// The characters of a line that are not white space, in order.
QString withoutSpaces(const QString &typed)
{
    QString s;
    s.reserve(typed.size());
    for (const QChar c : typed) {
        if (!c.isSpace())
            s.append(c);
    }
    return s;
}

// Walks a line without white space and tells each character's class and
// whether the rebuild puts a space in front of it (a new word starts there).
template<typename Visit> void classify(const QString &s, Visit visit)
{
    Class previous = Plain;
    for (int i = 0; i < s.size(); ++i) {
        const QChar c = s.at(i);
        Class current;
        if (previous == Comment)
            current = Comment;
        else if (!c.isUpper())
            current = startsComment(s, i) ? Comment : previous == Word ? Plain : previous;
        else
            current = letterClass(s, i);

        // Nothing after a letter word is split off: GOTO10, X100.
        const bool space = current != previous && i > 0 && previous != Word;
        visit(i, current, space);
        previous = current;
    }
}

void appendRun(QVector<Run> *runs, int at, Class wordClass)
{
    if (runs->isEmpty() || runs->last().wordClass != wordClass)
        runs->append(Run{at, 0, wordClass});
    runs->last().length = at + 1 - runs->last().start;
}

} // namespace

Line rebuildLine(const QString &typed)
{
    const QString s = withoutSpaces(typed);
    Line line;
    line.text.reserve(s.size() + s.size() / 2 + 1);
    classify(s, [&](int i, Class current, bool space) {
        if (line.runs.isEmpty() || line.runs.last().wordClass != current)
            line.runs.append(Run{line.text.size(), 0, current});
        if (space)
            line.text.append(QLatin1Char(' '));
        line.text.append(s.at(i));
        line.runs.last().length = line.text.size() - line.runs.last().start;
    });
    return line;
}

QVector<Run> typedRuns(const QString &typed)
{
    QVector<int> at; // where each character without white space stands in the typed line
    at.reserve(typed.size());
    QString s;
    s.reserve(typed.size());
    for (int i = 0; i < typed.size(); ++i) {
        if (!typed.at(i).isSpace()) {
            at.append(i);
            s.append(typed.at(i));
        }
    }
    QVector<Run> runs;
    int next = 0; // the first typed character without a class yet
    Class last = Plain;
    classify(s, [&](int i, Class current, bool) {
        for (; next <= at.at(i); ++next)
            appendRun(&runs, next, current);
        last = current;
    });
    for (; next < typed.size(); ++next)
        appendRun(&runs, next, last);
    return runs;
}

int countSpaces(const QString &text)
{
    int count = 0;
    for (const QChar c : text) {
        if (c.isSpace())
            ++count;
    }
    return count;
}

QStringList textLines(const QString &text)
{
    QStringList lines = text.split(QLatin1Char('\n'));
    if (lines.size() > 1 && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

} // namespace ProgramWords
