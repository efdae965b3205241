#include "archive/archiveindex.h"

#include <QCryptographicHash>
#include <QRegularExpression>

namespace ArchiveIndex {

namespace {

struct OperationName
{
    Operation operation;
    const char *word;
};
constexpr OperationName OperationNames[] = {
    {Operation::Update, "update"}, {Operation::New, "new"},         {Operation::Delete, "delete"},
    {Operation::Upload, "upload"}, {Operation::Restore, "restore"},
};

const QString WhenFormat = QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzz");
constexpr int ColumnCount = 5;

} // namespace

bool operator==(const Version &a, const Version &b)
{
    return a.when == b.when && a.operation == b.operation && a.size == b.size && a.sha256 == b.sha256 &&
           a.file == b.file;
}

QString operationWord(Operation operation)
{
    for (const OperationName &name : OperationNames) {
        if (name.operation == operation)
            return QString::fromLatin1(name.word);
    }
    return QString();
}

bool operationFromWord(const QString &word, Operation *operation)
{
    for (const OperationName &name : OperationNames) {
        if (word == QLatin1String(name.word)) {
            *operation = name.operation;
            return true;
        }
    }
    return false;
}

QString folderName(const QString &name)
{
    static const QString refused = QStringLiteral("/\\:*?\"<>|");
    QString out;
    out.reserve(name.size());
    for (const QChar c : name)
        out.append(c.unicode() < 0x20 || c.unicode() == 0x7F || refused.contains(c) ? QLatin1Char('_') : c);
    while (out.endsWith(QLatin1Char('.')) || out.endsWith(QLatin1Char(' ')))
        out.chop(1);
    if (out.isEmpty() || out == QLatin1String("."))
        return QStringLiteral("_");
    return out;
}

QString versionFileName(const QDateTime &when, const QList<Version> &taken)
{
    const QString plain = when.toString(QStringLiteral("yyyyMMdd-HHmmss"));
    auto used = [&taken](const QString &file) {
        for (const Version &v : taken) {
            if (v.file == file)
                return true;
        }
        return false;
    };
    QString name = plain;
    for (int n = 2; used(name); ++n)
        name = plain + QStringLiteral("-%1").arg(n);
    return name;
}

QByteArray sha256(const QByteArray &bytes)
{
    return QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex();
}

QByteArray format(const QList<Version> &versions)
{
    QByteArray out = "when\toperation\tsize\tsha256\tfile\n";
    for (const Version &v : versions) {
        out += v.when.toString(WhenFormat).toLatin1();
        out += '\t' + operationWord(v.operation).toLatin1() + '\t' + QByteArray::number(v.size) + '\t' +
               v.sha256 + '\t' + v.file.toUtf8() + '\n';
    }
    return out;
}

QList<Version> parse(const QByteArray &text)
{
    static const QRegularExpression fileName(QStringLiteral("^\\d{8}-\\d{6}(-\\d+)?$"));
    static const QRegularExpression hex(QStringLiteral("^[0-9a-f]{64}$"));
    QList<Version> versions;
    const QList<QByteArray> lines = text.split('\n');
    for (const QByteArray &line : lines) {
        const QList<QByteArray> columns = line.split('\t');
        if (columns.size() != ColumnCount)
            continue;
        Version v;
        v.when = QDateTime::fromString(QString::fromLatin1(columns.at(0)), WhenFormat);
        bool sized = false;
        v.size = columns.at(2).toLongLong(&sized);
        v.sha256 = columns.at(3);
        v.file = QString::fromUtf8(columns.at(4));
        if (!v.when.isValid() || !operationFromWord(QString::fromLatin1(columns.at(1)), &v.operation) ||
            !sized || v.size < 0 || !hex.match(QString::fromLatin1(v.sha256)).hasMatch() ||
            !fileName.match(v.file).hasMatch())
            continue;
        versions.append(v);
    }
    return versions;
}

QList<Version> beyondBound(const QList<Version> &versions, int keep)
{
    const int kept = qMax(keep, 1);
    return versions.size() > kept ? versions.mid(0, versions.size() - kept) : QList<Version>();
}

} // namespace ArchiveIndex
