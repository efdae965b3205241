#include "archive/manifest.h"

#include "config/filenames.h"

#include <QRegularExpression>

namespace Manifest {

namespace {

struct OutcomeName
{
    Outcome outcome;
    const char *word;
};
constexpr OutcomeName OutcomeNames[] = {
    {Outcome::Saved, "saved"},
    {Outcome::Failed, "failed"},
    {Outcome::Absent, "absent"},
};

} // namespace

bool operator==(const Row &a, const Row &b)
{
    return a.name == b.name && a.size == b.size && a.sha256 == b.sha256 && a.outcome == b.outcome;
}

QString outcomeWord(Outcome outcome)
{
    for (const OutcomeName &name : OutcomeNames) {
        if (name.outcome == outcome)
            return QString::fromLatin1(name.word);
    }
    return QString();
}

namespace {

constexpr char DeviceMark[] = "# device";

// A value on one line of one column: tabs and line breaks become spaces.
QByteArray oneCell(const QString &value)
{
    QByteArray cell = value.toUtf8();
    for (char &c : cell) {
        if (c == '\t' || c == '\n' || c == '\r')
            c = ' ';
    }
    return cell;
}

} // namespace

Device parseDevice(const QByteArray &text)
{
    Device device;
    const QList<QByteArray> lines = text.split('\n');
    for (QByteArray line : lines) {
        if (line.endsWith('\r'))
            line.chop(1);
        const QList<QByteArray> columns = line.split('\t');
        if (columns.size() != 3 || columns.at(0) != DeviceMark)
            continue;
        const QByteArray &key = columns.at(1);
        const QString value = QString::fromUtf8(columns.at(2));
        if (key == "id")
            device.id = value;
        else if (key == "name")
            device.name = value;
        else if (key == "link")
            device.link = value;
        else if (key == "address" || key == "port")
            device.address = value;
        else if (key == "station")
            device.station = value.toInt();
        else if (key == "model")
            device.model = value;
    }
    return device;
}

QByteArray format(const QList<Row> &rows, const Device &device)
{
    QByteArray out;
    if (!device.isEmpty()) {
        const auto line = [&out](const char *key, const QString &value) {
            out += QByteArray(DeviceMark) + '\t' + key + '\t' + oneCell(value) + '\n';
        };
        line("id", device.id);
        line("name", device.name);
        line("link", device.link);
        line(device.link == QLatin1String("rtu") ? "port" : "address", device.address);
        line("station", QString::number(device.station));
        line("model", device.model);
    }
    out += "name\tsize\tsha256\tresult\n";
    for (const Row &row : rows)
        out += row.name.toUtf8() + '\t' + QByteArray::number(row.size) + '\t' + row.sha256 + '\t' +
               outcomeWord(row.outcome).toLatin1() + '\n';
    return out;
}

QList<Row> parse(const QByteArray &text)
{
    static const QRegularExpression hex(QStringLiteral("^[0-9a-f]{64}$"));
    QList<Row> rows;
    const QList<QByteArray> lines = text.split('\n');
    for (const QByteArray &line : lines) {
        // A manifest that went through an editor or a copy may end its lines in CR LF.
        const QList<QByteArray> columns = (line.endsWith('\r') ? line.chopped(1) : line).split('\t');
        if (columns.size() != 4)
            continue;
        Row row;
        row.name = QString::fromUtf8(columns.at(0));
        bool sized = false;
        row.size = columns.at(1).toLongLong(&sized);
        row.sha256 = columns.at(2);
        bool known = false;
        for (const OutcomeName &name : OutcomeNames) {
            if (columns.at(3) == name.word) {
                row.outcome = name.outcome;
                known = true;
            }
        }
        if (!known || !sized || row.size < 0 || row.name.isEmpty())
            continue;
        if (row.outcome == Outcome::Saved && !hex.match(QString::fromLatin1(row.sha256)).hasMatch())
            continue;
        rows.append(row);
    }
    return rows;
}

const QStringList &systemFiles()
{
    static const QStringList names{QStringLiteral("SYS.PAR"),      QStringLiteral("USRIO.TXT"),
                                   QStringLiteral("ZOFS.PAR"),     QStringLiteral("TOFS.PAR"),
                                   QStringLiteral("USRMACRO.TXT"), QStringLiteral("PLC.PAR")};
    return names;
}

bool isItemName(const QString &name)
{
    return FileNames::programNumber(name) >= 0 || systemFiles().contains(name);
}

} // namespace Manifest
