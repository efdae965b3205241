#pragma once

#include "history/periods.h"
#include "history/shifts.h"
#include "history/stopreasons.h"

#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>

#include <functional>

class QTextStream;

// State periods as CSV, one line per period: for the window's export and for
// `--history-csv` on the command line.
namespace History {

QString csvHeader(); // device,state,start,end,seconds,program,shift,reason
// `shift` the name of the shift the period began in, `reason` the reason of
// the stop it belongs to; empty when none.
QString csvLine(const QString &device, const StatePeriod &period, const QString &shift = QString(),
                const QString &reason = QString());
// The word of a reason in files: its English text, or its code when unknown.
QString reasonWord(const QVector<StopReason> &reasons, int code);

// The reasons of the periods in time order per device: a stop period belongs
// to the stop that began where the stop periods before it without a gap began.
class CsvStops
{
public:
    explicit CsvStops(const QVector<StopTag> &tags);
    // `earlierStart` tells where a stop began that was under way at the first
    // period seen of the device.
    int reasonOf(const QString &device, const StatePeriod &period,
                 const std::function<qint64(qint64)> &earlierStart = {});

private:
    QHash<QPair<QString, qint64>, int> m_reasons;
    QHash<QString, QPair<qint64, qint64>> m_last; // the stop under way per device: start, end
    QSet<QString> m_seen;
};

// `--history-csv [--since YYYY-MM-DD] [--device NAME]`: the periods recorded
// in `historyFile`, oldest first. 0 when printed (a file not made yet holds
// no periods), 1 when the file cannot be read, 2 for a wrong command line;
// on 1 and 2 nothing goes to `out`, the reason goes to `err`.
int printCsv(const QStringList &arguments, const QString &historyFile, QTextStream &out, QTextStream &err);
// The same as a whole run of the program, without a display: standard
// output and error in UTF-8.
int runCsvCommand(int argc, char **argv, const QString &historyFile);

} // namespace History
