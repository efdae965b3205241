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

} // namespace

Line rebuildLine(const QString &typed)
{
    QString s;
    s.reserve(typed.size());
    for (const QChar c : typed) {
        if (!c.isSpace())
            s.append(c);
    }

    Line line;
    const int n = s.size();
    line.text.reserve(n + n / 2 + 1);
    Class previous = Plain;
    for (int i = 0; i < n; ++i) {
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
        if (line.runs.isEmpty() || line.runs.last().wordClass != current)
            line.runs.append(Run{line.text.size(), 0, current});
        if (space)
            line.text.append(QLatin1Char(' '));
        line.text.append(c);
        line.runs.last().length = line.text.size() - line.runs.last().start;
        previous = current;
    }
    return line;
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
