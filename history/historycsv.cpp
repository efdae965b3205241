#include "history/historycsv.h"

#include "config/configstore.h"
#include "history/historystore.h"
#include "link/exportwords.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QTextStream>

#include <limits>

namespace History {

namespace {

// A text field that a spreadsheet would take for a formula (it begins with
// =, +, -, @, a tab or a carriage return) gets a leading apostrophe, which
// spreadsheets show as text. A field with a separator, a quote or a line
// break is quoted, its quotes doubled.
QString csvField(const QString &value)
{
    static const QString FormulaStarts = QStringLiteral("=+-@\t\r");
    QString text =
        !value.isEmpty() && FormulaStarts.contains(value.at(0)) ? QLatin1Char('\'') + value : value;
    if (!text.contains(QLatin1Char(',')) && !text.contains(QLatin1Char('"')) &&
        !text.contains(QLatin1Char('\n')) && !text.contains(QLatin1Char('\r')))
        return text;
    text.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + text + QLatin1Char('"');
}

} // namespace

QString csvHeader()
{
    return QStringLiteral("device,state,start,end,seconds,program,shift,reason");
}

QString csvLine(const QString &device, const StatePeriod &period, const QString &shift, const QString &reason)
{
    // The seconds are those between the two times as printed.
    const qint64 seconds = period.end / 1000 - period.start / 1000;
    const auto time = [](qint64 ms) { return ExportWords::isoTime(QDateTime::fromMSecsSinceEpoch(ms)); };
    return QStringList{
        csvField(device),         ExportWords::state(period.state), time(period.start), time(period.end),
        QString::number(seconds), csvField(period.program),         csvField(shift),    csvField(reason)}
        .join(QLatin1Char(','));
}

QString reasonWord(const QVector<StopReason> &reasons, int code)
{
    if (code == 0)
        return QString();
    const StopReason *reason = StopSettings::reasonOf(reasons, code);
    return reason ? (reason->En.isEmpty() ? reason->Zh : reason->En) : QString::number(code);
}

CsvStops::CsvStops(const QVector<StopTag> &tags)
{
    for (const StopTag &tag : tags)
        m_reasons.insert({tag.device, tag.stopStart}, tag.reason);
}

int CsvStops::reasonOf(const QString &device, const StatePeriod &period,
                       const std::function<qint64(qint64)> &earlierStart)
{
    if (!isStopState(period.state)) {
        m_seen.insert(device);
        m_last.remove(device);
        return 0;
    }
    auto last = m_last.find(device);
    if (last == m_last.end() || last->second != period.start) {
        // The first period seen of the device may belong to an earlier stop.
        const bool first = !m_seen.contains(device);
        const qint64 start = first && earlierStart ? earlierStart(period.start) : period.start;
        last = m_last.insert(device, {start, period.end});
    }
    m_seen.insert(device);
    last->second = period.end;
    return m_reasons.value({device, last->first});
}

int printCsv(const QStringList &arguments, const QString &historyFile, QTextStream &out, QTextStream &err)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Prints the recorded state periods of the machines as CSV."));
    const QCommandLineOption csv(
        QStringLiteral("history-csv"),
        QStringLiteral("Print the state periods of %1 as CSV.").arg(QDir::toNativeSeparators(historyFile)));
    const QCommandLineOption since(QStringLiteral("since"),
                                   QStringLiteral("Only periods that last into this day or later."),
                                   QStringLiteral("YYYY-MM-DD"));
    const QCommandLineOption device(QStringLiteral("device"), QStringLiteral("Only this machine's periods."),
                                    QStringLiteral("NAME"));
    parser.addOptions({csv, since, device});
    const QCommandLineOption help = parser.addHelpOption();
    if (!parser.parse(arguments)) {
        err << parser.errorText() << '\n' << parser.helpText();
        return 2;
    }
    if (parser.isSet(help)) {
        out << parser.helpText();
        return 0;
    }
    if (!parser.positionalArguments().isEmpty()) {
        err << "Unexpected argument: " << parser.positionalArguments().constFirst() << '\n'
            << parser.helpText();
        return 2;
    }
    qint64 from = std::numeric_limits<qint64>::min();
    if (parser.isSet(since)) {
        const QDate day = QDate::fromString(parser.value(since), Qt::ISODate);
        if (!day.isValid()) {
            err << "Not a date (YYYY-MM-DD): " << parser.value(since) << '\n';
            return 2;
        }
        from = QDateTime(day, QTime(0, 0)).toMSecsSinceEpoch();
    }

    // Built whole and printed only when read whole: a script that reads the
    // output never takes a part for all of it.
    QString text = csvHeader() + QLatin1Char('\n');
    if (QFileInfo::exists(historyFile)) { // else nothing was recorded here yet
        HistoryStore store;
        constexpr qint64 Always = std::numeric_limits<qint64>::max();
        QVector<StopTag> tags;
        QVector<ShiftPlan> plans;
        bool ok = store.open(historyFile, HistoryStore::ReadOnly) &&
                  store.tags(std::numeric_limits<qint64>::min(), Always, parser.value(device), &tags) &&
                  store.shiftPlans(&plans);
        if (ok) {
            const QVector<StopReason> reasons = ConfigStore::instance()->stopReasons();
            ShiftLookup shifts(plans.isEmpty() ? QVector<ShiftPlan>{{0, ConfigStore::instance()->shifts()}}
                                               : plans);
            CsvStops stops(tags);
            const auto earlier = [&](const QString &name) {
                return [&store, name](qint64 start) { return store.stopStart(name, start); };
            };
            ok = store.visitPeriods(
                from, Always, parser.value(device), [&](const QString &name, const StatePeriod &period) {
                    text += csvLine(name, period, shifts.at(period.start).name,
                                    reasonWord(reasons, stops.reasonOf(name, period, earlier(name)))) +
                            QLatin1Char('\n');
                });
        }
        if (!ok) {
            err << "Cannot read " << QDir::toNativeSeparators(historyFile) << ": " << store.errorText()
                << '\n';
            return 1;
        }
    }
    out << text;
    out.flush();
    return 0;
}

int runCsvCommand(int argc, char **argv, const QString &historyFile)
{
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    QTextStream err(stderr);
    out.setCodec("UTF-8");
    err.setCodec("UTF-8");
    return printCsv(QCoreApplication::arguments(), historyFile, out, err);
}

} // namespace History
