#include "config/filenames.h"

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

} // namespace FileNames
