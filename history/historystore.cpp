#include "history/historystore.h"

#include "config/devicerecord.h"

#include <QAtomicInt>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

#include <algorithm>

namespace History {

namespace {

QAtomicInt s_connections;

// Statements of the file's layout. Times are milliseconds since the epoch
// (UTC); an index for every range the window and the command line ask for.
const char *const Schema[] = {
    // uid: the device's Id; '' for a device recorded before devices had one.
    "CREATE TABLE IF NOT EXISTS devices(id INTEGER PRIMARY KEY, name TEXT NOT NULL UNIQUE, "
    "uid TEXT NOT NULL DEFAULT '')",
    "CREATE TABLE IF NOT EXISTS periods(id INTEGER PRIMARY KEY, device INTEGER NOT NULL, "
    "state INTEGER NOT NULL, start INTEGER NOT NULL, end INTEGER NOT NULL, program TEXT NOT NULL)",
    "CREATE INDEX IF NOT EXISTS periods_start ON periods(start)",
    "CREATE INDEX IF NOT EXISTS periods_device_start ON periods(device, start)",
    "CREATE TABLE IF NOT EXISTS open_periods(key INTEGER PRIMARY KEY, device INTEGER NOT NULL, "
    "state INTEGER NOT NULL, start INTEGER NOT NULL, end INTEGER NOT NULL, program TEXT NOT NULL)",
    "CREATE TABLE IF NOT EXISTS pieces(id INTEGER PRIMARY KEY, device INTEGER NOT NULL, "
    "at INTEGER NOT NULL, count INTEGER NOT NULL)",
    "CREATE INDEX IF NOT EXISTS pieces_at ON pieces(at)",
    "CREATE INDEX IF NOT EXISTS pieces_device_at ON pieces(device, at)",
    "CREATE TABLE IF NOT EXISTS operations(id INTEGER PRIMARY KEY, device INTEGER NOT NULL, "
    "at INTEGER NOT NULL, kind TEXT NOT NULL, target TEXT NOT NULL, result INTEGER NOT NULL, "
    "bytes INTEGER NOT NULL)",
    "CREATE INDEX IF NOT EXISTS operations_at ON operations(at)",
    // Every reason given to a stop, known by its device and start; the
    // latest row of a stop is its reason, the earlier ones stay.
    "CREATE TABLE IF NOT EXISTS stop_tags(id INTEGER PRIMARY KEY, device INTEGER NOT NULL, "
    "stop_start INTEGER NOT NULL, reason INTEGER NOT NULL, who TEXT NOT NULL, at INTEGER NOT NULL)",
    "CREATE INDEX IF NOT EXISTS stop_tags_start ON stop_tags(stop_start)",
    "CREATE TABLE IF NOT EXISTS shift_plans(since INTEGER PRIMARY KEY, shifts TEXT NOT NULL)",
};

// A writer that finds the file locked waits this long in its own thread
// before the store is given up; readers in the window wait less.
const QString WriterOptions = QStringLiteral("QSQLITE_BUSY_TIMEOUT=2000");
const QString ReaderOptions = QStringLiteral("QSQLITE_OPEN_READONLY;QSQLITE_BUSY_TIMEOUT=500");

// A text column is never NULL: an empty text is bound as one.
QString text(const QString &value)
{
    return value.isNull() ? QStringLiteral("") : value;
}

StatePeriod periodAt(const QSqlQuery &query, int first)
{
    return StatePeriod{query.value(first).toInt(), query.value(first + 1).toLongLong(),
                       query.value(first + 2).toLongLong(), query.value(first + 3).toString()};
}

bool byStart(const QPair<qint64, StatePeriod> &a, const QPair<qint64, StatePeriod> &b)
{
    return a.second.start < b.second.start;
}

QString planText(const QVector<Shift> &shifts)
{
    QJsonArray list;
    for (const Shift &shift : shifts)
        list.append(QJsonObject{{QStringLiteral("name"), shift.Name},
                                {QStringLiteral("start"), shift.Start.toString(QStringLiteral("HH:mm"))},
                                {QStringLiteral("end"), shift.End.toString(QStringLiteral("HH:mm"))}});
    return QString::fromUtf8(QJsonDocument(list).toJson(QJsonDocument::Compact));
}

QVector<Shift> planFrom(const QString &text)
{
    QVector<Shift> shifts;
    const QJsonArray list = QJsonDocument::fromJson(text.toUtf8()).array();
    for (const QJsonValue &value : list) {
        const QJsonObject o = value.toObject();
        const Shift shift{o.value(QStringLiteral("name")).toString(),
                          StopSettings::timeFrom(o.value(QStringLiteral("start")).toString()),
                          StopSettings::timeFrom(o.value(QStringLiteral("end")).toString())};
        if (shift.Start.isValid() && shift.End.isValid() && shifts.size() < StopSettings::MaxShifts)
            shifts.append(shift);
    }
    return shifts;
}

// Ends the read transaction of a visit however the visit leaves.
class ReadSnapshot
{
public:
    explicit ReadSnapshot(const QSqlDatabase &db) : m_query(db) { m_query.exec(QStringLiteral("BEGIN")); }
    ~ReadSnapshot() { m_query.exec(QStringLiteral("COMMIT")); }
    ReadSnapshot(const ReadSnapshot &) = delete;
    ReadSnapshot &operator=(const ReadSnapshot &) = delete;

private:
    QSqlQuery m_query;
};

} // namespace

bool Batch::isEmpty() const
{
    return closed.isEmpty() && open.isEmpty() && ended.isEmpty() && pieces.isEmpty() &&
           operations.isEmpty() && tags.isEmpty() && plans.isEmpty();
}

HistoryStore::HistoryStore()
    : m_connection(QStringLiteral("vexa-history-%1").arg(s_connections.fetchAndAddRelaxed(1)))
{
}

HistoryStore::~HistoryStore()
{
    close();
}

QString HistoryStore::fileBeside(const QString &configFile)
{
    return QFileInfo(configFile).absoluteDir().filePath(QStringLiteral("history.sqlite"));
}

void HistoryStore::close()
{
    if (!m_db.isValid())
        return;
    m_db.close();
    m_db = QSqlDatabase();
    QSqlDatabase::removeDatabase(m_connection);
    m_open = false;
    m_deviceIds.clear();
}

bool HistoryStore::fail(const QSqlQuery &query)
{
    // SQLite's own words ("database is locked"), without the driver's.
    const QSqlError error = query.lastError();
    fail(error.databaseText().isEmpty() ? error.text() : error.databaseText());
    // SQLITE_BUSY or SQLITE_LOCKED, also in their extended forms.
    const int code = error.nativeErrorCode().toInt() & 0xff;
    m_busy = code == 5 || code == 6;
    return false;
}

bool HistoryStore::fail(const QString &text)
{
    m_error = text.trimmed();
    m_busy = false;
    return false;
}

void HistoryStore::rollback()
{
    const QString error = m_error;
    const bool busy = m_busy;
    exec(QStringLiteral("ROLLBACK"));
    m_error = error;
    m_busy = busy;
}

bool HistoryStore::exec(const QString &statement)
{
    QSqlQuery query(m_db);
    return query.exec(statement) || fail(query);
}

bool HistoryStore::hasSchema(bool *present)
{
    QSqlQuery query(m_db);
    if (!query.exec(QStringLiteral("PRAGMA user_version")) || !query.next())
        return fail(query);
    const int version = query.value(0).toInt();
    if (version > SchemaVersion)
        return fail(QStringLiteral("written by a newer version of the program (layout %1)").arg(version));
    *present = version == SchemaVersion;
    return true;
}

bool HistoryStore::createSchema()
{
    for (const char *statement : Schema) {
        if (!exec(QString::fromLatin1(statement)))
            return false;
    }
    // A file of the first layout gains the Id column; the layout number stays,
    // so a program that knows nothing of it still reads and writes the file.
    QSqlQuery columns(m_db);
    if (!columns.exec(
            QStringLiteral("SELECT COUNT(*) FROM pragma_table_info('devices') WHERE name = 'uid'")) ||
        !columns.next())
        return fail(columns);
    const bool hasUid = columns.value(0).toInt() > 0;
    columns.finish();
    if (!hasUid && !exec(QStringLiteral("ALTER TABLE devices ADD COLUMN uid TEXT NOT NULL DEFAULT ''")))
        return false;
    return exec(QStringLiteral("PRAGMA user_version = %1").arg(SchemaVersion));
}

bool HistoryStore::open(const QString &path, Mode mode)
{
    close();
    m_path = path;
    m_error.clear();
    m_empty = false;
    if (mode == ReadOnly && !QFileInfo(path).isFile())
        return fail(QStringLiteral("no such file"));
    if (QFileInfo::exists(path) && !QFileInfo(path).isFile())
        return fail(QStringLiteral("not a plain file"));

    m_db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connection);
    if (!m_db.isValid())
        return fail(QStringLiteral("the SQLite driver of Qt is missing"));
    m_db.setDatabaseName(path);
    m_db.setConnectOptions(mode == ReadOnly ? ReaderOptions : WriterOptions);
    if (!m_db.open())
        return fail(m_db.lastError().text());

    bool present = false;
    if (!hasSchema(&present)) {
        close();
        return false;
    }
    if (mode == ReadOnly) {
        m_empty = !present;
        m_open = true;
        return true;
    }

    QSqlQuery query(m_db);
    if (!query.exec(QStringLiteral("PRAGMA journal_mode=WAL")) || !query.next() ||
        query.value(0).toString().compare(QLatin1String("wal"), Qt::CaseInsensitive) != 0) {
        if (query.lastError().isValid())
            fail(query);
        else
            fail(QStringLiteral("the file cannot be shared (no WAL)"));
        close();
        return false;
    }
    query.finish();
    // With WAL a commit is not synced: a power cut may lose the last commits,
    // never the file. A killed program loses nothing that was committed.
    // The first write takes the file's lock: a locked or read-only file
    // shows here, not in the middle of the run.
    const qint64 stale = QDateTime::currentMSecsSinceEpoch() - StaleOpenMs;
    const bool ok = exec(QStringLiteral("PRAGMA synchronous=NORMAL")) &&
                    exec(QStringLiteral("BEGIN IMMEDIATE")) && createSchema() &&
                    exec(QStringLiteral("INSERT INTO periods(device, state, start, end, program) "
                                        "SELECT device, state, start, end, program FROM open_periods "
                                        "WHERE end < %1")
                             .arg(stale)) &&
                    exec(QStringLiteral("DELETE FROM open_periods WHERE end < %1").arg(stale)) &&
                    exec(QStringLiteral("COMMIT"));
    if (!ok) {
        rollback();
        close();
        return false;
    }
    m_open = true;
    return true;
}

QString HistoryStore::deviceKey(const QString &name, const QString &id)
{
    return id.isEmpty() ? name : name + QChar(KeySeparator) + id;
}

// A device with an Id has its row by the Id, whatever it is named now, and
// takes over the row its name had before devices had an Id. The name column
// is what the readers show and stays unique: a second device of one name is
// shown with its short Id.
qint64 HistoryStore::deviceId(const QString &key)
{
    const auto cached = m_deviceIds.constFind(key);
    if (cached != m_deviceIds.constEnd())
        return cached.value();
    const int cut = key.lastIndexOf(QChar(KeySeparator));
    const QString name = text(cut < 0 ? key : key.left(cut));
    DeviceRecord record;
    record.Id = cut < 0 ? QString() : key.mid(cut + 1);
    const QString label = name + QLatin1Char('-') + record.shortId();

    QSqlQuery query(m_db);
    const auto select = [&query](const QString &statement, const QVariantList &values) {
        query.prepare(statement);
        for (const QVariant &value : values)
            query.addBindValue(value);
        return query.exec();
    };
    qint64 id = -1;
    bool ok = true;
    if (record.Id.isEmpty()) {
        ok = select(QStringLiteral("INSERT OR IGNORE INTO devices(name) VALUES(?)"), {name}) &&
             select(QStringLiteral("SELECT id FROM devices WHERE name = ?"), {name}) && query.next();
        if (ok)
            id = query.value(0).toLongLong();
    } else {
        ok = select(QStringLiteral("SELECT id, name FROM devices WHERE uid = ?"), {record.Id});
        if (ok && query.next()) {
            id = query.value(0).toLongLong();
            const QString shown = query.value(1).toString();
            // Renamed: shown by its new name, where no other device holds it.
            if (shown != name && shown != label) {
                for (const QString &now : {name, label}) {
                    if (select(QStringLiteral("UPDATE OR IGNORE devices SET name = ? WHERE id = ?"),
                               {now, id}) &&
                        query.numRowsAffected() > 0)
                        break;
                }
            }
        } else if (ok) {
            ok = select(QStringLiteral("UPDATE devices SET uid = ? WHERE uid = '' AND name = ?"),
                        {record.Id, name});
            if (ok && query.numRowsAffected() == 0)
                ok = select(QStringLiteral("INSERT OR IGNORE INTO devices(name, uid) VALUES(?, ?)"),
                            {name, record.Id}) &&
                     (query.numRowsAffected() > 0 ||
                      select(QStringLiteral("INSERT INTO devices(name, uid) VALUES(?, ?)"),
                             {label, record.Id}));
            ok = ok && select(QStringLiteral("SELECT id FROM devices WHERE uid = ?"), {record.Id}) &&
                 query.next();
            if (ok)
                id = query.value(0).toLongLong();
        }
    }
    if (!ok) {
        fail(query);
        return -1;
    }
    m_deviceIds.insert(key, id);
    return id;
}

// Each statement is gone when this returns: one still under way would stop
// the transaction's commit.
template<typename Row, typename Bind>
bool HistoryStore::runForEach(const QString &statement, const QVector<Row> &rows, Bind bind)
{
    QSqlQuery query(m_db);
    if (!query.prepare(statement))
        return fail(query);
    for (const Row &row : rows) {
        if (!bind(query, row))
            return false;
        if (!query.exec())
            return fail(query);
    }
    return true;
}

bool HistoryStore::write(const Batch &batch)
{
    if (!m_open || m_empty)
        return fail(QStringLiteral("not open for writing"));
    if (batch.isEmpty())
        return true;
    if (!exec(QStringLiteral("BEGIN IMMEDIATE")))
        return false;
    // A row's device and period, bound in the columns' order.
    const auto bindPeriod = [this](QSqlQuery &query, const QString &device, const StatePeriod &period) {
        const qint64 id = deviceId(device);
        query.addBindValue(id);
        query.addBindValue(period.state);
        query.addBindValue(period.start);
        query.addBindValue(period.end);
        query.addBindValue(text(period.program));
        return id >= 0;
    };
    const bool ok =
        runForEach(
            QStringLiteral("INSERT INTO periods(device, state, start, end, program) VALUES(?, ?, ?, ?, ?)"),
            batch.closed,
            [&](QSqlQuery &query, const Batch::Closed &row) {
                return bindPeriod(query, row.device, row.period);
            }) &&
        runForEach(
            QStringLiteral("INSERT OR REPLACE INTO open_periods(key, device, state, start, end, program) "
                           "VALUES(?, ?, ?, ?, ?, ?)"),
            batch.open,
            [&](QSqlQuery &query, const Batch::Open &row) {
                query.addBindValue(row.key);
                return bindPeriod(query, row.device, row.period);
            }) &&
        runForEach(QStringLiteral("DELETE FROM open_periods WHERE key = ?"), batch.ended,
                   [](QSqlQuery &query, qint64 key) {
                       query.addBindValue(key);
                       return true;
                   }) &&
        runForEach(QStringLiteral("INSERT INTO pieces(device, at, count) VALUES(?, ?, ?)"), batch.pieces,
                   [this](QSqlQuery &query, const Batch::Pieces &row) {
                       const qint64 id = deviceId(row.device);
                       query.addBindValue(id);
                       query.addBindValue(row.sample.at);
                       query.addBindValue(row.sample.pieces);
                       return id >= 0;
                   }) &&
        runForEach(QStringLiteral("INSERT INTO operations(device, at, kind, target, result, bytes) "
                                  "VALUES(?, ?, ?, ?, ?, ?)"),
                   batch.operations,
                   [this](QSqlQuery &query, const Operation &row) {
                       const qint64 id = deviceId(row.device);
                       query.addBindValue(id);
                       query.addBindValue(row.at);
                       query.addBindValue(text(row.kind));
                       query.addBindValue(text(row.target));
                       query.addBindValue(row.result);
                       query.addBindValue(row.bytes);
                       return id >= 0;
                   }) &&
        runForEach(QStringLiteral("INSERT INTO stop_tags(device, stop_start, reason, who, at) "
                                  "VALUES(?, ?, ?, ?, ?)"),
                   batch.tags,
                   [this](QSqlQuery &query, const StopTag &row) {
                       const qint64 id = deviceId(row.device);
                       query.addBindValue(id);
                       query.addBindValue(row.stopStart);
                       query.addBindValue(row.reason);
                       query.addBindValue(text(row.who));
                       query.addBindValue(row.at);
                       return id >= 0;
                   }) &&
        runForEach(QStringLiteral("INSERT OR REPLACE INTO shift_plans(since, shifts) VALUES(?, ?)"),
                   batch.plans,
                   [](QSqlQuery &query, const ShiftPlan &row) {
                       query.addBindValue(row.since);
                       query.addBindValue(planText(row.shifts));
                       return true;
                   }) &&
        exec(QStringLiteral("COMMIT"));
    if (!ok) {
        rollback();
        // Ids taken inside the failed transaction are gone with it.
        m_deviceIds.clear();
    }
    return ok;
}

bool HistoryStore::prune(qint64 before)
{
    if (!m_open || m_empty)
        return fail(QStringLiteral("not open for writing"));
    const QString cut = QString::number(before);
    const qint64 stale = QDateTime::currentMSecsSinceEpoch() - StaleOpenMs;
    const bool ok =
        exec(QStringLiteral("BEGIN IMMEDIATE")) &&
        exec(QStringLiteral("DELETE FROM periods WHERE start < %1 AND end < %1").arg(cut)) &&
        exec(QStringLiteral("DELETE FROM pieces WHERE at < %1").arg(cut)) &&
        exec(QStringLiteral("DELETE FROM operations WHERE at < %1").arg(cut)) &&
        exec(QStringLiteral("DELETE FROM stop_tags WHERE stop_start < %1 AND at < %1").arg(cut)) &&
        // Left by a run that ended without closing the file, in the meantime.
        exec(QStringLiteral("INSERT INTO periods(device, state, start, end, program) SELECT device, state, "
                            "start, end, program FROM open_periods WHERE end < %1")
                 .arg(stale)) &&
        exec(QStringLiteral("DELETE FROM open_periods WHERE end < %1").arg(stale)) &&
        exec(QStringLiteral("COMMIT"));
    if (!ok)
        rollback();
    return ok;
}

bool HistoryStore::startRead(bool *ok)
{
    if (!m_open)
        *ok = fail(QStringLiteral("not open"));
    return m_open && !m_empty;
}

bool HistoryStore::startRange(QSqlQuery *query, const QString &select, const QString &order, qint64 from,
                              qint64 to, const QString &device, bool *ok, const QString &table)
{
    if (!startRead(ok))
        return false;
    bool present = true;
    if (!table.isEmpty() && !hasTable(table, &present))
        return *ok = false;
    if (!present)
        return false;
    query->setForwardOnly(true);
    query->prepare(select + (device.isEmpty() ? QString() : QStringLiteral("AND d.name = ? ")) + order);
    query->addBindValue(from);
    query->addBindValue(to);
    if (!device.isEmpty())
        query->addBindValue(device);
    if (!query->exec())
        return *ok = fail(*query);
    return true;
}

QVector<qint64> HistoryStore::deviceIds(const QString &device, bool *ok)
{
    QVector<qint64> ids;
    QSqlQuery query(m_db);
    if (device.isEmpty()) {
        *ok = query.exec(QStringLiteral("SELECT id FROM devices ORDER BY id"));
    } else {
        query.prepare(QStringLiteral("SELECT id FROM devices WHERE name = ?"));
        query.addBindValue(device);
        *ok = query.exec();
    }
    if (!*ok) {
        fail(query);
        return ids;
    }
    while (query.next())
        ids.append(query.value(0).toLongLong());
    return ids;
}

bool HistoryStore::visitPeriods(qint64 from, qint64 to, const QString &device, const PeriodVisitor &visit)
{
    bool ok = true;
    if (!startRead(&ok))
        return ok;
    ReadSnapshot snapshot(m_db);
    const QVector<qint64> ids = deviceIds(device, &ok);
    if (!ok)
        return false;
    QHash<qint64, QString> names;
    {
        QSqlQuery query(m_db);
        if (!query.exec(QStringLiteral("SELECT id, name FROM devices")))
            return fail(query);
        while (query.next())
            names.insert(query.value(0).toLongLong(), query.value(1).toString());
    }

    // What started before the range and lasts into it: each device's last
    // period before it, and the periods under way. Few, so sorted here.
    QVector<QPair<qint64, StatePeriod>> early;
    QSqlQuery before(m_db);
    before.prepare(QStringLiteral("SELECT state, start, end, program FROM periods WHERE device = ? AND "
                                  "start < ? ORDER BY start DESC LIMIT 1"));
    for (qint64 id : ids) {
        if (cancelled())
            return false;
        before.addBindValue(id);
        before.addBindValue(from);
        if (!before.exec())
            return fail(before);
        if (before.next()) {
            const StatePeriod period = periodAt(before, 0);
            if (period.end > from)
                early.append({id, period});
        }
    }
    QSqlQuery open(m_db);
    if (!open.exec(QStringLiteral("SELECT device, state, start, end, program FROM open_periods")))
        return fail(open);
    while (open.next()) {
        const qint64 id = open.value(0).toLongLong();
        StatePeriod period = periodAt(open, 1);
        StatePeriod clipped = period;
        if (ids.contains(id) && clip(&clipped, from, to))
            early.append({id, period});
    }
    std::stable_sort(early.begin(), early.end(), byStart);

    QSqlQuery range(m_db);
    range.setForwardOnly(true);
    const QString columns = QStringLiteral("SELECT device, state, start, end, program FROM periods ");
    if (device.isEmpty()) {
        range.prepare(columns + QStringLiteral("WHERE start >= ? AND start < ? ORDER BY start, id"));
    } else {
        // A name the file does not know has nothing to show.
        if (ids.isEmpty())
            return true;
        range.prepare(columns +
                      QStringLiteral("WHERE device = ? AND start >= ? AND start < ? ORDER BY start, id"));
        range.addBindValue(ids.constFirst());
    }
    range.addBindValue(from);
    range.addBindValue(to);
    if (!range.exec())
        return fail(range);
    int next = 0;
    while (range.next()) {
        if (cancelled())
            return false;
        const StatePeriod period = periodAt(range, 1);
        for (; next < early.size() && early.at(next).second.start <= period.start; ++next)
            visit(names.value(early.at(next).first), early.at(next).second);
        visit(names.value(range.value(0).toLongLong()), period);
    }
    if (range.lastError().isValid())
        return fail(range);
    for (; next < early.size(); ++next)
        visit(names.value(early.at(next).first), early.at(next).second);
    return true;
}

bool HistoryStore::visitPieces(qint64 from, qint64 to, const QString &device, const PieceVisitor &visit)
{
    bool ok = true;
    if (!startRead(&ok))
        return ok;
    ReadSnapshot snapshot(m_db);
    const auto visitAll = [&visit](QSqlQuery &query) {
        while (query.next())
            visit(query.value(0).toString(),
                  PieceSample{query.value(1).toLongLong(), qint32(query.value(2).toLongLong())});
        return !query.lastError().isValid();
    };
    // Each device's last count before the range, then the counts inside it.
    QSqlQuery before(m_db);
    before.setForwardOnly(true);
    before.prepare(QStringLiteral("SELECT d.name, p.at, p.count FROM devices d JOIN pieces p ON p.id = "
                                  "(SELECT id FROM pieces WHERE device = d.id AND at < ? ORDER BY at DESC "
                                  "LIMIT 1) WHERE 1 ") +
                   (device.isEmpty() ? QString() : QStringLiteral("AND d.name = ? ")) +
                   QStringLiteral("ORDER BY p.at"));
    before.addBindValue(from);
    if (!device.isEmpty())
        before.addBindValue(device);
    if (!before.exec() || !visitAll(before))
        return fail(before);
    QSqlQuery inside(m_db);
    if (!startRange(&inside,
                    QStringLiteral("SELECT d.name, p.at, p.count FROM pieces p JOIN devices d ON d.id = "
                                   "p.device WHERE p.at >= ? AND p.at < ? "),
                    QStringLiteral("ORDER BY p.at"), from, to, device, &ok))
        return ok;
    return visitAll(inside) || fail(inside);
}

bool HistoryStore::operations(qint64 from, qint64 to, const QString &device, QVector<Operation> *list)
{
    list->clear();
    QSqlQuery query(m_db);
    bool ok = true;
    if (!startRange(
            &query,
            QStringLiteral("SELECT d.name, o.at, o.kind, o.target, o.result, o.bytes FROM operations o "
                           "JOIN devices d ON d.id = o.device WHERE o.at >= ? AND o.at < ? "),
            QStringLiteral("ORDER BY o.at"), from, to, device, &ok))
        return ok;
    while (query.next()) {
        if (cancelled())
            return false;
        list->append(Operation{query.value(0).toString(), query.value(1).toLongLong(),
                               query.value(2).toString(), query.value(3).toString(), query.value(4).toInt(),
                               query.value(5).toLongLong()});
    }
    return !query.lastError().isValid() || fail(query);
}

bool HistoryStore::deviceNames(QHash<QString, QString> *byId)
{
    byId->clear();
    bool ok = true;
    if (!startRead(&ok))
        return ok;
    QSqlQuery query(m_db);
    if (!query.exec(QStringLiteral("SELECT uid, name FROM devices WHERE uid != ''")))
        return fail(query);
    while (query.next())
        byId->insert(query.value(0).toString(), query.value(1).toString());
    return !query.lastError().isValid() || fail(query);
}

bool HistoryStore::hasTable(const QString &name, bool *present)
{
    QSqlQuery query(m_db);
    query.prepare(QStringLiteral("SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = ?"));
    query.addBindValue(name);
    if (!query.exec())
        return fail(query);
    *present = query.next();
    return true;
}

bool HistoryStore::tags(qint64 from, qint64 to, const QString &device, QVector<StopTag> *list)
{
    list->clear();
    QSqlQuery query(m_db);
    bool ok = true;
    // A file of an earlier version, read only, has no tags yet.
    if (!startRange(
            &query,
            QStringLiteral("SELECT d.name, t.stop_start, t.reason, t.who, t.at FROM stop_tags t JOIN "
                           "devices d ON d.id = t.device WHERE t.stop_start >= ? AND t.stop_start < ? "),
            QStringLiteral("ORDER BY t.id"), from, to, device, &ok, QStringLiteral("stop_tags")))
        return ok;
    while (query.next())
        list->append(StopTag{query.value(0).toString(), query.value(1).toLongLong(), query.value(2).toInt(),
                             query.value(3).toString(), query.value(4).toLongLong()});
    return !query.lastError().isValid() || fail(query);
}

bool HistoryStore::shiftPlans(QVector<ShiftPlan> *plans)
{
    plans->clear();
    bool ok = true;
    if (!startRead(&ok))
        return ok;
    bool present = false;
    if (!hasTable(QStringLiteral("shift_plans"), &present))
        return false;
    if (!present)
        return true;
    QSqlQuery query(m_db);
    if (!query.exec(QStringLiteral("SELECT since, shifts FROM shift_plans ORDER BY since")))
        return fail(query);
    while (query.next())
        plans->append({query.value(0).toLongLong(), planFrom(query.value(1).toString())});
    return !query.lastError().isValid() || fail(query);
}

qint64 HistoryStore::stopStart(const QString &device, qint64 start)
{
    bool ok = true;
    if (!startRead(&ok))
        return start;
    const QVector<qint64> ids = deviceIds(device, &ok);
    if (!ok || ids.isEmpty())
        return start;
    QSqlQuery query(m_db);
    query.prepare(QStringLiteral("SELECT state, start, end FROM periods WHERE device = ? AND start < ? "
                                 "ORDER BY start DESC LIMIT 1"));
    // A stop held for months is a few thousand periods at most; bounded all the same.
    for (int step = 0; step < 100000; ++step) {
        query.addBindValue(ids.constFirst());
        query.addBindValue(start);
        if (!query.exec() || !query.next() || !isStopState(query.value(0).toInt()) ||
            query.value(2).toLongLong() != start)
            break;
        start = query.value(1).toLongLong();
    }
    return start;
}

} // namespace History
