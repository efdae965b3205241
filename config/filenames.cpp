#include "config/filenames.h"

#include <QRegularExpression>
#include <QUrl>

namespace FileNames {

QString plain(const QString &name)
{
    int start = 0;
    for (int i = 0; i < name.size(); ++i) {
        const QChar c = name.at(i);
        if (c == QLatin1Char('/') || c == QLatin1Char('\\') || c == QLatin1Char(':'))
            start = i + 1;
    }
    while (start < name.size() && name.at(start) == QLatin1Char('.'))
        ++start;
    return name.mid(start);
}

QString programName(quint32 number)
{
    return QStringLiteral("O%1").arg(number, 4, 10, QLatin1Char('0'));
}

int programNumber(const QString &name)
{
    static const QRegularExpression program(QRegularExpression::anchoredPattern(QStringLiteral("O[0-9]{4}")));
    return program.match(name).hasMatch() ? name.midRef(1).toInt() : -1;
}

bool offeredProgramNumber(const QString &baseName, uint *number)
{
    QString digits = baseName;
    if (digits.startsWith(QLatin1Char('O')))
        digits.remove(0, 1);
    bool ok = false;
    const uint value = digits.toUInt(&ok, 10);
    if (ok && number)
        *number = value;
    return ok;
}

QString pathFromClipboard(const QString &text)
{
    QString path = text;
    path.remove(QLatin1Char('"'));
    // A file manager puts a line break after the path it copies.
    path = path.trimmed();
    if (path.startsWith(QLatin1String("file:"))) {
        QString local = QUrl(path).toLocalFile();
        // A URL copied on a Windows desktop names a drive: file:///D:/prg/O1.txt.
        static const QRegularExpression drive(QStringLiteral("^/[A-Za-z]:/"));
        if (drive.match(local).hasMatch())
            local.remove(0, 1);
        return local;
    }
    path.remove(QStringLiteral("file:///"));
    return path;
}

} // namespace FileNames
