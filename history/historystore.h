#pragma once

#include "history/periods.h"
#include "history/shifts.h"
#include "history/stopreasons.h"

#include <QHash>
#include <QSqlDatabase>
#include <QString>
#include <QVector>

#include <atomic>
#include <functional>

class QSqlQuery;

namespace History {

// A write or delete the program made on a controller.
struct Operation
{
    QString device;
    qint64 at = 0;
    QString kind;   // "write program", "write file", "delete program"
    QString target; // "O0012", "USRIO.TXT"
    int result = 0; // the operation's result code, 0 when it succeeded
    qint64 bytes = 0;
};

// What the recorder hands the store in one transaction.
struct Batch
{
    struct Closed
    {
        QString device;
        StatePeriod period;
    };
    // The period under way of one recorded device, as far as it went. `key`
    // tells the recorder's devices apart: one name may stand on two cards.
    struct Open
    {
        qint64 key = 0;
        QString device;
        StatePeriod period;
    };
    struct Pieces
    {
        QString device;
        PieceSample sample;
    };

    QVector<Closed> closed;
    QVector<Open> open;
    QVector<qint64> ended; // keys with no period under way any more
    QVector<Pieces> pieces;
    QVector<Operation> operations;
    QVector<StopTag> tags;
    QVector<ShiftPlan> plans; // shifts in force from their moment on

    bool isEmpty() const;
};

// history.sqlite: the periods, piece counts and operations of every recorded
// device. One object is one connection, used in the thread that opened it.
//
// The periods under way live in a small table of their own, rewritten every
// second, so that a program killed at any moment loses at most that second
// and the large tables are only ever appended to. The next run that opens
// the file for writing moves them, as they were last written, to the
// periods.
class HistoryStore
{
public:
    enum Mode { ReadWrite, ReadOnly };

    HistoryStore();
    ~HistoryStore();
    HistoryStore(const HistoryStore &) = delete;
    HistoryStore &operator=(const HistoryStore &) = delete;

    // How the recorder names a device to the store: its name and Id (a name
    // alone for a device without one). The readers give the name.
    static QString deviceKey(const QString &name, const QString &id);
    static constexpr ushort KeySeparator = 0x1F;

    // The file beside the given Configure.xml.
    static QString fileBeside(const QString &configFile);

    // False, with errorText() telling why, when the file cannot be used: it
    // is locked, read-only (for ReadWrite), not a database, or from a newer
    // version of the program. ReadOnly never creates the file.
    bool open(const QString &path, Mode mode);
    bool isOpen() const { return m_open; }
    QString errorText() const { return m_error; }
    // The last failure was another connection holding the file's lock: the
    // same step may succeed once it lets go.
    bool isBusy() const { return m_busy; }
    QString path() const { return m_path; }

    // A flag another thread may set to end the reads under way of
    // visitPeriods() and operations() at their next row, as failed.
    void setCancel(const std::atomic_bool *cancel) { m_cancel = cancel; }

    bool write(const Batch &batch);
    // Removes what ended before the time; periods under way stay.
    bool prune(qint64 before);

    // Every period overlapping [from, to), of one device or (device empty)
    // of all, in order of their start; periods under way included. False
    // when the file could not be read.
    using PeriodVisitor = std::function<void(const QString &device, const StatePeriod &period)>;
    bool visitPeriods(qint64 from, qint64 to, const QString &device, const PeriodVisitor &visit);
    // The piece counts read in [from, to), each device's last one before
    // `from` first (what the first count in the range rose from).
    using PieceVisitor = std::function<void(const QString &device, const PieceSample &sample)>;
    bool visitPieces(qint64 from, qint64 to, const QString &device, const PieceVisitor &visit);
    bool operations(qint64 from, qint64 to, const QString &device, QVector<Operation> *list);
    // The reasons given to the stops that began in [from, to), every tag in
    // the order given: a later one of a stop replaces the earlier.
    bool tags(qint64 from, qint64 to, const QString &device, QVector<StopTag> *list);
    // The name each device recorded with an Id is shown by, by its Id.
    bool deviceNames(QHash<QString, QString> *byId);
    // Every shift plan recorded, oldest first.
    bool shiftPlans(QVector<ShiftPlan> *plans);
    // Where the stop under way at `start` (a period of `device` starting then)
    // began: earlier stop periods that end where the next starts belong to it.
    qint64 stopStart(const QString &device, qint64 start);

    // A period under way whose last write is older than this was left by a
    // run that ended without closing the file.
    static constexpr qint64 StaleOpenMs = 5000;
    static constexpr int SchemaVersion = 1;

private:
    bool fail(const QSqlQuery &query);
    bool fail(const QString &text);
    // Ends the transaction under way, keeping the failure that ends it.
    void rollback();
    bool exec(const QString &statement);
    // The statement once per row, `bind` giving a row's values (false when it cannot).
    template<typename Row, typename Bind>
    bool runForEach(const QString &statement, const QVector<Row> &rows, Bind bind);
    // Before a read: false when there is nothing to read, *ok false when
    // because of an error (not open) and true when the file holds no history yet.
    bool startRead(bool *ok);
    // The start of a read over [from, to): the query run, true when it has
    // rows to give. `select` ends in the condition on the range; the filter
    // on the device's name (the devices table as d) and `order` follow. False
    // when there is nothing to read, *ok telling as for startRead(); a
    // `table` a file of an earlier version lacks holds nothing.
    bool startRange(QSqlQuery *query, const QString &select, const QString &order, qint64 from, qint64 to,
                    const QString &device, bool *ok, const QString &table = QString());
    bool cancelled() { return m_cancel && *m_cancel && !fail(QStringLiteral("cancelled")); }
    bool createSchema();
    bool hasSchema(bool *present);
    bool hasTable(const QString &name, bool *present);
    qint64 deviceId(const QString &key);
    QVector<qint64> deviceIds(const QString &device, bool *ok);
    void close();

    QString m_connection;
    QSqlDatabase m_db;
    QString m_path;
    QString m_error;
    bool m_open = false;
    bool m_busy = false;
    bool m_empty = false; // a readable file that holds no history yet
    const std::atomic_bool *m_cancel = nullptr;
    QHash<QString, qint64> m_deviceIds;
};

} // namespace History
