#include "views/syspar.h"

#include "link/registercodec.h"

namespace SysPar {

namespace {

constexpr int MaxSingleChannelSpindles = 4;

// CR LF and lone CR become LF, so positions count one per line break.
QString withLineFeeds(const QString &text)
{
    if (!text.contains(QLatin1Char('\r')))
        return text;
    QString normalised = text;
    normalised.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    normalised.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return normalised;
}

bool isWordCharacter(const QString &text, int index)
{
    return index >= 0 && index < text.size() && text.at(index).isLetterOrNumber();
}

int findWholeWord(const QString &text, const QString &key)
{
    for (int from = 0;;) {
        const int at = text.indexOf(key, from, Qt::CaseInsensitive);
        if (at < 0)
            return -1;
        if (!isWordCharacter(text, at - 1) && !isWordCharacter(text, at + key.size()))
            return at;
        from = at + 1;
    }
}

} // namespace

QStringList readSection(const QString &source, const QString &key, int maxRows)
{
    QStringList rows;
    if (key.isEmpty())
        return rows;
    const QString text = withLineFeeds(source);
    const int match = findWholeWord(text, key);
    if (match < 0)
        return rows;

    // p is the end of the header line when the key ends it; the line holding
    // p + 1 is then the next one. Text positions run up to text.size(), the
    // position after the last character.
    int p = match + key.size();
    while (maxRows < 0 || rows.size() < maxRows) {
        const int position = p + 1;
        if (position > text.size())
            break;
        const int lineStart = text.lastIndexOf(QLatin1Char('\n'), position - 1) + 1;
        int lineEnd = text.indexOf(QLatin1Char('\n'), position);
        if (lineEnd < 0)
            lineEnd = text.size();
        if (lineStart < text.size() && text.at(lineStart) == QLatin1Char('['))
            break;
        rows.append(text.mid(lineStart, lineEnd - lineStart));
        p = lineEnd;
    }
    return rows;
}

QString axisName(int code)
{
    if ((code >= 1 && code <= 9) || (code >= 101 && code <= 999))
        return RegisterCodec::axisLabel(quint16(code));
    return {};
}

QString axisName(const QString &row)
{
    bool ok = false;
    const int code = row.toInt(&ok, 10);
    return axisName(ok ? code : 0);
}

bool rebuildRowLabels(const QString &text, RowLabels *labels)
{
    if (text.isEmpty() || !labels)
        return false;
    labels->channels.clear();
    labels->axes.clear();
    labels->spindles.clear();

    const QStringList channelRows = readSection(text, QStringLiteral("[SPSTc]"));
    if (channelRows.isEmpty())
        return false;
    const bool oneChannel = channelRows.size() == 1;
    if (oneChannel) {
        labels->channels.append(QStringLiteral(" "));
    } else {
        for (int i = 1; i <= channelRows.size(); ++i)
            labels->channels.append(QStringLiteral(":%1").arg(i));
    }

    if (oneChannel) {
        // The rows are counted, not read: one row per spindle shown.
        const QStringList spindleRows = readSection(text, QStringLiteral("[SSPNn]"));
        if (spindleRows.isEmpty())
            return false;
        const int count = qMin(spindleRows.size(), MaxSingleChannelSpindles);
        for (int i = 1; i <= count; ++i)
            labels->spindles.append(QString::number(i));
    } else {
        const QStringList spindleChannels = readSection(text, QStringLiteral("[CHNs]"));
        if (spindleChannels.isEmpty())
            return false;
        for (int i = 0; i < spindleChannels.size(); ++i)
            labels->spindles.append(
                QStringLiteral("%1:%2").arg(QString::number(i + 1), spindleChannels.at(i)));
    }

    const QStringList types = readSection(text, QStringLiteral("[TYPEx]"));
    if (oneChannel) {
        for (const QString &type : types)
            labels->axes.append(axisName(type));
    } else {
        // An axis with a channel row but no type row has no known name; it
        // reads as a type row that is not a number.
        const QStringList axisChannels = readSection(text, QStringLiteral("[CHNx]"));
        for (int i = 0; i < axisChannels.size(); ++i)
            labels->axes.append(QStringLiteral("%1:%2").arg(axisName(types.value(i)), axisChannels.at(i)));
    }
    return true;
}

} // namespace SysPar
