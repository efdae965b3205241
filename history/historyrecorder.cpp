#include "history/historyrecorder.h"

#include "config/configstore.h"

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
//
// While another program holds the file's lock, what comes waits here (the
// periods under way as their latest, the rest up to MaxWaitingRows) and the
// file is tried again after a back-off that doubles up to LastRetryMs.
class Writer : public QObject
{
    Q_OBJECT

public:
    Writer() : m_retry(new QTimer(this))
    {
        m_retry->setSingleShot(true);
        connect(m_retry, &QTimer::timeout, this, &Writer::attempt);
    }

    void open(const QString &path, int retentionDays)
    {
        m_path = path;
        m_retentionDays = retentionDays;
        m_store = std::make_unique<HistoryStore>();
        attempt();
    }

    // Written now, or (while the file is locked) at the next try.
    void write(Batch batch, qint64 upTo)
    {
        if (!m_store)
            return;
        keepNewPlans(&batch);
        take(batch);
        m_upTo = upTo;
        if (!m_retry->isActive())
            attempt();
    }

    // The run's last batch, tried at once whatever the back-off. Why not all
    // of the run's history reached the file; empty when it did.
    QString finish(Batch batch, qint64 upTo)
    {
        if (m_store) {
            keepNewPlans(&batch);
            take(batch);
            m_upTo = upTo;
            attempt();
        }
        QString left = m_problem;
        if (left.isEmpty() && m_store && !m_waiting.isEmpty())
            left = m_store->errorText();
        m_retry->stop();
        m_store.reset();
        return left;
    }

signals:
    void failed(const QString &problem);
    void written(qint64 upTo);
    void held(const QString &problem);
    void resumed(qint64 lost);

private:
    void attempt()
    {
        const bool ok = (m_store->isOpen() || openStore()) && m_store->write(m_waiting) &&
                        (now() - m_lastPrune <= DayMs || prune());
        if (!ok) {
            if (m_store->isBusy())
                retryLater();
            else
                fail();
            return;
        }
        m_waiting = Batch();
        m_waitingRows = 0;
        if (m_retryMs > 0) {
            m_retryMs = 0;
            emit resumed(m_lost);
            m_lost = 0;
        }
        if (m_upTo > 0)
            emit written(m_upTo);
    }

    void retryLater()
    {
        if (m_retryMs == 0) {
            m_retryMs = Recorder::FirstRetryMs;
            emit held(m_store->errorText());
        } else {
            m_retryMs = qMin(m_retryMs * 2, Recorder::LastRetryMs);
        }
        m_retry->start(m_retryMs);
    }

    bool openStore()
    {
        if (!m_store->open(m_path, HistoryStore::ReadWrite))
            return false;
        QVector<ShiftPlan> plans;
        if (m_store->shiftPlans(&plans) && !plans.isEmpty()) {
            m_lastShifts = plans.constLast().shifts;
            m_hasPlans = true;
        }
        return true;
    }

    // Only a change of the shifts is a new plan.
    void keepNewPlans(Batch *batch)
    {
        QVector<ShiftPlan> plans;
        for (const ShiftPlan &plan : qAsConst(batch->plans)) {
            if (plan.shifts == m_lastShifts)
                continue;
            // The first shifts ever set: what was recorded before had none.
            if (!m_hasPlans)
                plans.append(ShiftPlan{0, {}});
            m_hasPlans = true;
            plans.append(plan);
            m_lastShifts = plan.shifts;
        }
        batch->plans = plans;
    }

    // Adds a batch to what waits: a device's period under way replaces the
    // one before; the rest is added in order while there is room.
    void take(const Batch &batch)
    {
        if (m_waiting.open.isEmpty()) {
            m_waiting.open = batch.open;
        } else {
            QHash<qint64, int> index;
            for (int i = 0; i < m_waiting.open.size(); ++i)
                index.insert(m_waiting.open.at(i).key, i);
            for (const Batch::Open &open : batch.open) {
                const auto it = index.constFind(open.key);
                if (it != index.constEnd())
                    m_waiting.open[it.value()] = open;
                else
                    m_waiting.open.append(open);
            }
        }
        m_waiting.ended += batch.ended;
        m_waiting.plans += batch.plans; // few, and never to be lost
        m_waiting.tags += batch.tags;   // an operator's word, never to be lost
        const qint64 rows = batch.closed.size() + batch.pieces.size() + batch.operations.size();
        if (m_waitingRows + rows > Recorder::MaxWaitingRows) {
            m_lost += rows;
            return;
        }
        m_waitingRows += rows;
        m_waiting.closed += batch.closed;
        m_waiting.pieces += batch.pieces;
        m_waiting.operations += batch.operations;
    }

    void fail()
    {
        m_problem = m_store->errorText();
        emit failed(m_problem);
        m_retry->stop();
        m_store.reset();
    }

    bool prune()
    {
        const qint64 at = now();
        if (!m_store->prune(at - m_retentionDays * DayMs))
            return false;
        m_lastPrune = at;
        return true;
    }

    std::unique_ptr<HistoryStore> m_store;
    QString m_path;
    QVector<Shift> m_lastShifts;
    bool m_hasPlans = false;
    int m_retentionDays = ConfigStore::DefaultHistoryRetentionDays;
    qint64 m_lastPrune = 0;
    QString m_problem;
    QTimer *m_retry;
    int m_retryMs = 0; // the back-off while the file is locked; 0 while it is not
    Batch m_waiting;
    qint64 m_waitingRows = 0;
    qint64 m_lost = 0; // rows that found no room while the file was locked
    qint64 m_upTo = 0;
};

Recorder::Recorder(const QString &path, int retentionDays, QObject *parent)
    : QObject(parent), m_writer(new Writer), m_keyBase(now() * KeysPerRun)
{
    m_thread.setObjectName(QStringLiteral("history"));
    m_writer->moveToThread(&m_thread);
    connect(m_writer, &Writer::failed, this, &Recorder::onFailed);
    connect(m_writer, &Writer::written, this, &Recorder::written);
    connect(m_writer, &Writer::held, this, &Recorder::onHeld);
    connect(m_writer, &Writer::resumed, this, &Recorder::onResumed);
    m_thread.start();
    const int days = retentionDays > 0 ? retentionDays : ConfigStore::DefaultHistoryRetentionDays;
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
        m_writer, [this, &problem, upTo = now()] { problem = m_writer->finish(m_pending, upTo); },
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

void Recorder::onHeld(const QString &problem)
{
    m_heldBy = problem;
    qWarning().noquote() << "History cannot be written for now:" << problem << "- what comes waits in memory"
                         << "(at most" << MaxWaitingRows << "rows) and is written once the file is free";
    emit held(problem);
}

void Recorder::onResumed(qint64 lost)
{
    m_heldBy.clear();
    if (lost > 0)
        qWarning().noquote() << "History is written again;" << lost
                             << "rows found no room while the file was locked and are lost";
    else
        qInfo("History is written again, with what waited");
    emit resumed(lost);
}

void Recorder::onFailed(const QString &problem)
{
    if (!isRecording())
        return;
    m_heldBy.clear();
    m_problem = problem.isEmpty() ? QStringLiteral("unknown error") : problem;
    m_tick.stop();
    m_pending = Batch();
    qWarning().noquote() << "History is not recorded in this run:" << m_problem;
    emit unavailable(m_problem);
}

} // namespace History

#include "historyrecorder.moc"
