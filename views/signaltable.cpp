#include "views/signaltable.h"

#include <QList>
#include <QStringList>

namespace SignalTable {

QVector<Entry> parse(const QByteArray &content)
{
    static const QByteArray bom("\xEF\xBB\xBF");

    QByteArray data = content;
    if (data.startsWith(bom))
        data.remove(0, bom.size());

    QList<QByteArray> lines = data.split('\n');
    // A last line ended by its own line break leaves an empty remainder, which
    // is not a line of the table.
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();

    QVector<Entry> entries;
    for (const QByteArray &raw : qAsConst(lines)) {
        if (entries.size() >= MaxEntries)
            break;
        QByteArray line = raw.trimmed();
        const int nul = line.indexOf('\0');
        if (nul >= 0)
            line.truncate(nul);
        const QStringList parts = QString::fromUtf8(line).split(QLatin1Char(' '), Qt::KeepEmptyParts);
        Entry entry;
        entry.name = parts.value(0);
        entry.pin = parts.value(1);
        entries.append(entry);
    }
    return entries;
}

QString modelSuffix(int model)
{
    switch (model) {
    case 0:
        return QStringLiteral("P7");
    case 1:
        return QStringLiteral("P5");
    default:
        return QStringLiteral("P5X");
    }
}

} // namespace SignalTable
