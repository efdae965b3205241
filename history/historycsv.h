#pragma once

#include "history/periods.h"

#include <QString>
#include <QStringList>

class QTextStream;

// State periods as CSV, one line per period: for the window's export and for
// `--history-csv` on the command line.
namespace History {

QString csvHeader(); // device,state,start,end,seconds,program
QString csvLine(const QString &device, const StatePeriod &period);
// ISO 8601 in local time with its offset to UTC, to the second.
QString localIsoTime(qint64 msecsSinceEpoch);

// True when the program was started for the CSV of its history and needs no
// window.
bool isCsvCommand(int argc, char **argv);

// `--history-csv [--since YYYY-MM-DD] [--device NAME]`: the periods recorded
// in `historyFile`, oldest first. 0 when printed (a file not made yet holds
// no periods), 1 when the file cannot be read, 2 for a wrong command line;
// on 1 and 2 nothing goes to `out`, the reason goes to `err`.
int printCsv(const QStringList &arguments, const QString &historyFile, QTextStream &out, QTextStream &err);
// The same as a whole run of the program, without a display: standard
// output and error in UTF-8.
int runCsvCommand(int argc, char **argv, const QString &historyFile);

} // namespace History
