#include "archive/textdiff.h"

#include <QHash>

#include <algorithm>
#include <dtl/dtl.hpp>
#include <vector>

namespace TextDiff {

QStringList lines(const QString &text)
{
    if (text.isEmpty())
        return {};
    QStringList out = text.split(QLatin1Char('\n'));
    if (text.endsWith(QLatin1Char('\n')))
        out.removeLast();
    for (QString &line : out) {
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
    }
    return out;
}

QString withoutNumbering(const QString &line)
{
    QString out;
    out.reserve(line.size());
    bool comment = false;
    for (int i = 0; i < line.size(); ++i) {
        const QChar c = line.at(i);
        if (!comment && (c == QLatin1Char('(') || (c == QLatin1Char('/') && i + 1 < line.size() &&
                                                   line.at(i + 1) == QLatin1Char('/'))))
            comment = true;
        if (c.isSpace())
            continue;
        // An N word starts where no letter (or # of a variable) comes before
        // it, so GOTON10 or #N1 are left alone.
        if (!comment && (c == QLatin1Char('N') || c == QLatin1Char('n')) && i + 1 < line.size() &&
            line.at(i + 1).isDigit()) {
            int before = out.size() - 1;
            const bool wordStart =
                before < 0 || (!out.at(before).isLetter() && out.at(before) != QLatin1Char('#'));
            if (wordStart) {
                int j = i + 1;
                while (j < line.size() && (line.at(j).isDigit() || line.at(j).isSpace()))
                    ++j;
                // "N10.5" is a number with its fraction too.
                if (j < line.size() && line.at(j) == QLatin1Char('.')) {
                    ++j;
                    while (j < line.size() && line.at(j).isDigit())
                        ++j;
                }
                i = j - 1;
                continue;
            }
        }
        out.append(c);
    }
    return out;
}

QVector<Line> compare(const QStringList &left, const QStringList &right, bool ignoreNumbering)
{
    // The diff runs on numbers, one per distinct line, so its element
    // compares are cheap however long the lines are.
    QHash<QString, int> ids;
    auto keys = [&](const QStringList &text) {
        std::vector<int> out;
        out.reserve(size_t(text.size()));
        for (const QString &line : text) {
            const QString key = ignoreNumbering ? withoutNumbering(line) : line;
            auto id = ids.constFind(key);
            if (id == ids.constEnd())
                id = ids.insert(key, ids.size());
            out.push_back(id.value());
        }
        return out;
    };
    const std::vector<int> a = keys(left);
    const std::vector<int> b = keys(right);

    dtl::Diff<int> diff(a, b);
    diff.compose();
    const auto script = diff.getSes().getSequence();

    QVector<Line> out;
    out.reserve(int(script.size()));
    for (const auto &step : script) {
        Line line;
        // dtl counts from 1.
        const int before = int(step.second.beforeIdx) - 1;
        const int after = int(step.second.afterIdx) - 1;
        if (step.second.type == dtl::SES_COMMON) {
            line = {Line::Same, before, after};
        } else if (step.second.type == dtl::SES_DELETE) {
            line = {Line::Removed, before, -1};
        } else {
            line = {Line::Added, -1, after};
        }
        out.append(line);
    }
    // dtl may give an addition before the removal it faces; each change is
    // laid out with its removals first.
    for (int i = 0; i < out.size();) {
        if (out.at(i).kind == Line::Same) {
            ++i;
            continue;
        }
        int end = i;
        while (end < out.size() && out.at(end).kind != Line::Same)
            ++end;
        std::stable_sort(out.begin() + i, out.begin() + end, [](const Line &x, const Line &y) {
            return x.kind == Line::Removed && y.kind == Line::Added;
        });
        i = end;
    }
    return out;
}

QVector<Row> sideBySide(const QVector<Line> &lines)
{
    QVector<Row> rows;
    rows.reserve(lines.size());
    for (int i = 0; i < lines.size();) {
        const Line &line = lines.at(i);
        if (line.kind == Line::Same) {
            rows.append({Row::Same, line.left, line.right});
            ++i;
            continue;
        }
        QVector<int> removed;
        QVector<int> added;
        for (; i < lines.size() && lines.at(i).kind != Line::Same; ++i) {
            if (lines.at(i).kind == Line::Removed)
                removed.append(lines.at(i).left);
            else
                added.append(lines.at(i).right);
        }
        const int paired = qMin(removed.size(), added.size());
        for (int k = 0; k < paired; ++k)
            rows.append({Row::Changed, removed.at(k), added.at(k)});
        for (int k = paired; k < removed.size(); ++k)
            rows.append({Row::Removed, removed.at(k), -1});
        for (int k = paired; k < added.size(); ++k)
            rows.append({Row::Added, -1, added.at(k)});
    }
    return rows;
}

int changeCount(const QVector<Line> &lines)
{
    int count = 0;
    int removed = 0;
    int added = 0;
    for (const Line &line : lines) {
        if (line.kind == Line::Same) {
            count += qMax(removed, added);
            removed = added = 0;
        } else {
            ++(line.kind == Line::Removed ? removed : added);
        }
    }
    return count + qMax(removed, added);
}

} // namespace TextDiff
