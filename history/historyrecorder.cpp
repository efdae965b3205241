#include "history/historyrecorder.h"

#include <QDateTime>
#include <QDebug>

#include <memory>

namespace History {

namespace {

constexpr qint64 DayMs = 24ll * 60 * 60 * 1000;
// Keys of a run: its start in milliseconds times this, plus a count. Runs
// started apart never share a key in the table of periods under way.
constexpr qint64 KeysPerRun = 65536;

qint64 now()
{
    return QDateTime::currentMSecsSinceEpoch();
}

// A name from the controller, as it is kept: printable and short.
QString printable(const QString &text, int maxLength)
{
    QString out;
    for (const QChar c : text) {
        if (out.size() >= maxLength)
            break;
        if (c.isPrint())
            out.append(c);
    }
    return out;
}

} // namespace

// The recorder's end of the file, in a thread of its own: the connection is
// made, used and closed there.
class Writer : public QObject
{
    Q_OBJECT

public:
    void open(const QString &path, int retentionDays)
    {
        m_retentionDays = retentionDays;
        m_store = std::make_unique<HistoryStore>();
        if (!m_store->open(path, HistoryStore::ReadWrite)) {
            fail();
            return;
        }
        prune();
        QVector<ShiftPlan> plans;
        if (m_store && m_store->shiftPlans(&plans) && !plans.isEmpty()) {
            m_lastShifts = plans.constLast().shifts;
            m_hasPlans = true;
        }
    }

    void write(Batch batch, qint64 upTo)
    {
        if (!m_store)
            return;
        // Only a change of the shifts is a new plan.
        QVector<ShiftPlan> plans;
        for (const ShiftPlan &plan : qAsConst(batch.plans)) {
            if (plan.shifts == m_lastShifts)
                continue;
            // The first shifts ever set: what was recorded before had none.
            if (!m_hasPlans)
                plans.append(ShiftPlan{0, {}});
            m_hasPlans = true;
            plans.append(plan);
            m_lastShifts = plan.shifts;
        }
        batch.plans = plans;
        if (!m_store->write(batch)) {
            fail();
            return;
        }
        if (upTo - m_lastPrune > DayMs)
            prune();
        emit written(upTo);
    }

    void close() { m_store.reset(); }
    QString problem() const { return m_problem; }

signals:
    void failed(const QString &problem);
    void written(qint64 upTo);

private:
    void fail()
    {
        m_problem = m_store->errorText();
        emit failed(m_problem);
        m_store.reset();
    }

    void prune()
    {
        m_lastPrune = now();
        if (!m_store->prune(m_lastPrune - m_retentionDays * DayMs))
            fail();
    }

    std::unique_ptr<HistoryStore> m_store;
    QVector<Shift> m_lastShifts;
    bool m_hasPlans = false;
    int m_retentionDays = DefaultRetentionDays;
    qint64 m_lastPrune = 0;
    QString m_problem;
};

Recorder::Recorder(const QString &path, int retentionDays, QObject *parent)
    : QObject(parent), m_writer(new Writer), m_keyBase(now() * KeysPerRun)
{
    m_thread.setObjectName(QStringLiteral("history"));
    m_writer->moveToThread(&m_thread);
    connect(m_writer, &Writer::failed, this, &Recorder::onFailed);
    connect(m_writer, &Writer::written, this, &Recorder::written);
    m_thread.start();
    const int days = retentionDays > 0 ? retentionDays : DefaultRetentionDays;
    QMetaObject::invokeMethod(
        m_writer, [writer = m_writer, path, days] { writer->open(path, days); }, Qt::QueuedConnection);
    connect(&m_tick, &QTimer::timeout, this, &Recorder::onTick);
    m_tick.start(FlushIntervalMs);
}

Recorder::~Recorder()
{
    // Whoever listens may be going too: nothing is told from here on.
    blockSignals(true);
    m_tick.stop();
    if (isRecording()) {
        const qint64 at = now();
        for (Entry &entry : m_entries)
            close(&entry, at);
        collectOpen();
    }
    // The last batch, and a failure nobody was told of yet: the signal
    // would reach a recorder that is gone.
    QString problem;
    QMetaObject::invokeMethod(
        m_writer,
        [this, &problem, upTo = now()] {
            if (isRecording())
                m_writer->write(m_pending, upTo);
            problem = m_writer->problem();
            m_writer->close();
        },
        Qt::BlockingQueuedConnection);
    if (isRecording() && !problem.isEmpty())
        qWarning().noquote() << "The last history of this run was not written:" << problem;
    m_thread.quit();
    m_thread.wait();
    delete m_writer;
}

void Recorder::noteState(quintptr key, const QString &name, bool on, int state, const QString &program,
                         qint32 pieces)
{
    if (!isRecording())
        return;
    const qint64 at = now();
    auto it = m_entries.find(key);
    if (it == m_entries.end()) {
        it = m_entries.insert(key, Entry());
        it->name = name;
        it->watch = key;
        it->key = m_keyBase + m_nextKey++;
    } else if (it->name != name) {
        // Renamed: what follows is recorded under the new name.
        close(&*it, at);
        *it = Entry();
        it->name = name;
        it->watch = key;
        it->key = m_keyBase + m_nextKey++;
    }
    take(&*it, StateSample{at, on ? state : Off, printable(program, MaxProgramLength), false});
    if (on && pieces >= 0 && pieces != it->pieces) {
        it->pieces = pieces;
        m_pending.pieces.append({name, PieceSample{at, pieces}});
    }
}

void Recorder::noteOperation(const QString &name, const QString &kind, const QString &target, int result,
                             qint64 bytes)
{
    if (!isRecording())
        return;
    m_pending.operations.append(
        Operation{name, now(), kind, printable(target, MaxProgramLength), result, bytes});
}

void Recorder::forget(quintptr key)
{
    const auto it = m_entries.find(key);
    if (it == m_entries.end())
        return;
    if (isRecording())
        close(&*it, now());
    m_entries.erase(it);
}

void Recorder::take(Entry *entry, const StateSample &sample)
{
    StatePeriod closed;
    const bool didClose = entry->builder.add(sample, &closed);
    if (didClose)
        m_pending.closed.append({entry->name, closed});
    entry->last = sample;
    // A stop goes on across a change of stop state or program, as long as
    // the next period starts where the last ended.
    const bool stopped = entry->builder.hasOpen() && isStopState(entry->builder.open().state);
    const bool goesOn = stopped && (!didClose || closed.end == entry->builder.open().start);
    if (!goesOn)
        endStop(entry);
    if (stopped && entry->stopStart < 0)
        entry->stopStart = entry->builder.open().start;
}

void Recorder::endStop(Entry *entry)
{
    entry->stopStart = -1;
    if (entry->reason != 0) {
        entry->reason = 0;
        emit reasonChanged(entry->watch, 0);
    }
}

bool Recorder::tagStop(quintptr key, int reason, const QString &who)
{
    const auto it = m_entries.find(key);
    if (!isRecording() || it == m_entries.end() || it->stopStart < 0 || reason <= 0)
        return false;
    m_pending.tags.append({it->name, it->stopStart, reason, who, now()});
    it->reason = reason;
    emit reasonChanged(key, reason);
    return true;
}

void Recorder::noteTags(const QVector<StopTag> &tags)
{
    for (const StopTag &tag : tags) {
        for (Entry &entry : m_entries) {
            if (entry.stopStart >= 0 && entry.stopStart == tag.stopStart && entry.name == tag.device &&
                entry.reason != tag.reason) {
                entry.reason = tag.reason;
                emit reasonChanged(entry.watch, tag.reason);
            }
        }
    }
}

int Recorder::reasonNow(quintptr key) const
{
    const auto it = m_entries.constFind(key);
    return it == m_entries.constEnd() ? 0 : it->reason;
}

void Recorder::setShifts(const QVector<Shift> &shifts)
{
    if (isRecording())
        m_pending.plans.append({now(), shifts});
}

// The device was watched until `at`, in the state it showed last.
void Recorder::close(Entry *entry, qint64 at)
{
    StateSample last = entry->last;
    last.at = qMax(at, last.at);
    take(entry, last);
    StatePeriod closed;
    if (entry->builder.finish(&closed))
        m_pending.closed.append({entry->name, closed});
    if (entry->stored) {
        m_pending.ended.append(entry->key);
        entry->stored = false;
    }
    endStop(entry);
}

void Recorder::collectOpen()
{
    for (Entry &entry : m_entries) {
        if (entry.builder.hasOpen()) {
            m_pending.open.append({entry.key, entry.name, entry.builder.open()});
            entry.stored = true;
        } else if (entry.stored) {
            m_pending.ended.append(entry.key);
            entry.stored = false;
        }
    }
}

void Recorder::onTick()
{
    emit sampling();
    // Nothing changed since the last sample: the state held until now.
    const qint64 at = now();
    for (Entry &entry : m_entries) {
        StateSample still = entry.last;
        still.at = at;
        take(&entry, still);
    }
    flush(false);
}

void Recorder::flush(bool wait)
{
    if (!isRecording())
        return;
    collectOpen();
    if (!m_pending.isEmpty()) {
        const qint64 upTo = now();
        QMetaObject::invokeMethod(
            m_writer, [writer = m_writer, batch = std::move(m_pending), upTo] { writer->write(batch, upTo); },
            Qt::QueuedConnection);
        m_pending = Batch();
    }
    if (wait)
        QMetaObject::invokeMethod(
            m_writer, [] {}, Qt::BlockingQueuedConnection);
}

void Recorder::onFailed(const QString &problem)
{
    if (!isRecording())
        return;
    m_problem = problem.isEmpty() ? QStringLiteral("unknown error") : problem;
    m_tick.stop();
    m_pending = Batch();
    qWarning().noquote() << "History is not recorded in this run:" << m_problem;
    emit unavailable(m_problem);
}

} // namespace History

#include "historyrecorder.moc"
