#include "config/configstore.h"
#include "config/translations.h"
#include "history/fleetrecording.h"
#include "history/historycsv.h"
#include "history/historyrecorder.h"
#include "history/historystore.h"
#include "history/periods.h"
#include "history/stopreasons.h"
#include "historyview/historytimeline.h"
#include "historyview/historywindow.h"
#include "historyview/stopsview.h"
#include "link/devicefleet.h"
#include "link/devicewatch.h"
#include "link/modbusdevice.h"
#include "link/protocol.h"
#include "permissionshold.h"
#include "sim/controller.h"
#include "sim/servers.h"
#include "views/dialogs.h"

#include <QApplication>
#include <QChartView>
#include <QPushButton>
#include <QSet>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTableWidget>
#include <QValueAxis>
#include <QtTest>

#include <cstdio>
#include <cstring>
#include <limits>

using namespace History;

namespace {

constexpr qint64 Always = std::numeric_limits<qint64>::max();
const char *const ChildOption = "--record-until-killed";

// "R" running, "A" alarm, "I" idle, "N" not connected, "C" connecting, "-" off.
int stateOf(const QString &letter)
{
    const QString letters = QStringLiteral("NRAIC");
    return letter == QLatin1String("-") ? Off : int(letters.indexOf(letter));
}

// "1000 R O1 !;..." : time, state, program, restart mark.
QVector<StateSample> samples(const QString &text)
{
    QVector<StateSample> list;
    for (const QString &item : text.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        QStringList f = item.split(QLatin1Char(' '), Qt::SkipEmptyParts);
        const bool restart = f.last() == QLatin1String("!");
        if (restart)
            f.removeLast();
        list.append({f.at(0).toLongLong(), stateOf(f.at(1)), f.value(2), restart});
    }
    return list;
}

// "R 0 1000 O1;..." : state, start, end, program.
QVector<StatePeriod> periods(const QString &text)
{
    QVector<StatePeriod> list;
    for (const QString &item : text.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        const QStringList f = item.split(QLatin1Char(' '), Qt::SkipEmptyParts);
        list.append({stateOf(f.at(0)), f.at(1).toLongLong(), f.at(2).toLongLong(), f.value(3)});
    }
    return list;
}

QString describe(const QVector<StatePeriod> &list)
{
    QStringList out;
    for (const StatePeriod &p : list)
        out << QStringLiteral("%1 %2 %3 %4").arg(p.state).arg(p.start).arg(p.end).arg(p.program);
    return out.join(QLatin1Char(';'));
}

QVector<StatePeriod> readPeriods(const QString &path, const QString &device = QString())
{
    QVector<StatePeriod> list;
    HistoryStore store;
    if (store.open(path, HistoryStore::ReadOnly))
        store.visitPeriods(0, Always, device, [&](const QString &, const StatePeriod &p) { list.append(p); });
    return list;
}

int csv(const QStringList &arguments, const QString &path, QString *out)
{
    QString error;
    QTextStream outStream(out), errStream(&error);
    return printCsv(QStringList{QStringLiteral("vexa-assistant"), QStringLiteral("--history-csv")} +
                        arguments,
                    path, outStream, errStream);
}

// "06:00" on the day, "+01:30" on the day after.
qint64 dayTime(const QDate &day, const QString &text)
{
    const bool next = text.startsWith(QLatin1Char('+'));
    return localMs(next ? day.addDays(1) : day,
                   QTime::fromString(text.mid(next ? 1 : 0), QStringLiteral("HH:mm")));
}

// "A 06:00 14:00,B 14:00 22:00|10:00=A 06:00 18:00": plans, each from its time on.
QVector<ShiftPlan> plans(const QDate &day, const QString &text)
{
    QVector<ShiftPlan> list;
    for (QString plan : text.split(QLatin1Char('|'))) {
        ShiftPlan p;
        if (plan.contains(QLatin1Char('='))) {
            p.since = dayTime(day, plan.section(QLatin1Char('='), 0, 0));
            plan = plan.section(QLatin1Char('='), 1);
        }
        for (const QString &shift : plan.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
            const QStringList f = shift.split(QLatin1Char(' '));
            p.shifts.append({f.at(0), QTime::fromString(f.at(1), QStringLiteral("HH:mm")),
                             QTime::fromString(f.at(2), QStringLiteral("HH:mm"))});
        }
        list.append(p);
    }
    return list;
}

// Minutes of the segments' figures: "name@day shift on run stops/micro microtime reason:time,... avail%".
QString describe(const QDate &day, const QVector<ShiftFigures> &figures)
{
    QStringList out;
    for (const ShiftFigures &f : figures) {
        QStringList reasons;
        for (auto it = f.reasonMs.cbegin(); it != f.reasonMs.cend(); ++it)
            reasons << QStringLiteral("%1:%2").arg(it.key()).arg(it.value() / 60000);
        out << QStringLiteral("%1@%2 %3 %4 %5 %6/%7 %8 %9 %10%")
                   .arg(f.shift == Segment::WholeDay ? QStringLiteral("*")
                        : f.name.isEmpty()           ? QStringLiteral("-")
                                                     : f.name)
                   .arg(day.daysTo(f.day))
                   .arg(f.shiftMs / 60000)
                   .arg(f.onMs / 60000)
                   .arg(f.runMs / 60000)
                   .arg(f.stops)
                   .arg(f.microStops)
                   .arg(f.microStopMs / 60000)
                   .arg(reasons.join(QLatin1Char(',')))
                   .arg(qRound(1000 * f.availability()) / 10.0);
    }
    return out.join(QLatin1Char(';'));
}

// The child of the kill test: records a running machine and reports every
// batch that reached the file, until it is killed.
int recordUntilKilled(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    Recorder recorder(QString::fromLocal8Bit(argv[2]), ConfigStore::DefaultHistoryRetentionDays);
    QObject::connect(&recorder, &Recorder::written, [](qint64 upTo) {
        std::printf("written %lld\n", static_cast<long long>(upTo));
        std::fflush(stdout);
    });
    recorder.noteState(1, QStringLiteral("lathe"), true, DeviceState::Running, QStringLiteral("O0007"), 3);
    return app.exec();
}

} // namespace

class TestHistory : public QObject
{
    Q_OBJECT

private slots:
    void buildPeriods_data();
    void buildPeriods();
    void summary_data();
    void summary();
    void shiftFigures_data();
    void shiftFigures();
    void recordAndRead();
    void unusableFile_data();
    void unusableFile();
    void lockedForAWhile();
    void fleetRecorded();
    void window();
};

void TestHistory::buildPeriods_data()
{
    QTest::addColumn<QString>("samples");
    QTest::addColumn<QString>("expected");
    QTest::newRow("nothing") << ""
                             << "";
    QTest::newRow("switched off throughout") << "0 -;1000 -"
                                             << "";
    QTest::newRow("one state held") << "0 R O1;1000 R O1;2000 R O1"
                                    << "R 0 2000 O1";
    QTest::newRow("a change splits at the change") << "0 R O1;1000 R O1;1500 A O1;2500 A O1"
                                                   << "R 0 1500 O1;A 1500 2500 O1";
    QTest::newRow("a new program splits") << "0 R O1;1000 R O2;2000 R O2"
                                          << "R 0 1000 O1;R 1000 2000 O2";
    QTest::newRow("switched off and on") << "0 I;1000 I;1500 -;2500 -;3000 C;4000 R"
                                         << "I 0 1500;C 3000 4000;R 4000 4000";
    QTest::newRow("a gap ends at the last sample before") << "0 R;1000 R;9000 R;10000 R"
                                                          << "R 0 1000;R 9000 10000";
    QTest::newRow("a gap, then a change") << "0 R;1000 R;9000 A"
                                          << "R 0 1000;A 9000 9000";
    QTest::newRow("a gap, then switched off") << "0 R;1000 R;9000 -"
                                              << "R 0 1000";
    QTest::newRow("a restart ends the earlier run's period") << "0 R;1000 R;1200 R !;2200 R"
                                                             << "R 0 1000;R 1200 2200";
    QTest::newRow("a clock set back") << "5000 R;6000 R;2000 R;3000 R"
                                      << "R 5000 6000;R 2000 3000";
    QTest::newRow("no program without a link") << "0 N O1;1000 C O1;2000 I O1;3000 I O1"
                                               << "N 0 1000;C 1000 2000;I 2000 3000 O1";
}

void TestHistory::buildPeriods()
{
    QFETCH(QString, samples);
    QFETCH(QString, expected);
    QCOMPARE(describe(History::buildPeriods(::samples(samples), 5000)), describe(periods(expected)));
}

void TestHistory::summary_data()
{
    QTest::addColumn<QString>("periods");
    QTest::addColumn<qint64>("from");
    QTest::addColumn<qint64>("to");
    QTest::addColumn<QString>("expected"); // on run alarm-time alarms programs
    QTest::newRow("clipped; an alarm across a new program is one")
        << "R 0 1000 O1;A 1000 2000 O1;A 2000 3000 O2;I 3000 5000" << 500ll << 4000ll << "3500 500 2000 1 O1";
    QTest::newRow("an alarm from before the range counts")
        << "A 0 1000;A 1000 2000;N 2000 2500" << 1500ll << 3000ll << "1000 0 500 1 ";
    QTest::newRow("two alarms, programs by running time")
        << "A 0 10;R 10 20 O2;A 20 30;R 30 50 O3;R 50 55 O2" << 0ll << 100ll << "55 35 20 2 O3,O2";
}

void TestHistory::summary()
{
    QFETCH(QString, periods);
    QFETCH(qint64, from);
    QFETCH(qint64, to);
    QFETCH(QString, expected);
    const Summary s = summarize(::periods(periods), from, to);
    QCOMPARE(QStringLiteral("%1 %2 %3 %4 %5")
                 .arg(s.onMs)
                 .arg(s.runMs)
                 .arg(s.alarmMs)
                 .arg(s.alarms)
                 .arg(s.programs.join(QLatin1Char(','))),
             expected);
    // A counter reset counts on from the value it was reset to.
    QCOMPARE(piecesMade({{0, 998}, {1, 999}, {2, 0}, {3, 1}, {4, 3}}), 4);
}

void TestHistory::shiftFigures_data()
{
    QTest::addColumn<QDate>("day");
    QTest::addColumn<int>("days");
    QTest::addColumn<QString>("plans");
    QTest::addColumn<QString>("periods"); // "I 13:00 15:00 8": state, start, end, the stop's reason
    QTest::addColumn<QString>("now");     // the present, when within the range
    QTest::addColumn<QString>("expected");
    const QDate day(2024, 3, 5);
    QTest::newRow("a stop across a shift boundary is split between the shifts")
        << day << 1 << "A 06:00 14:00,B 14:00 22:00"
        << "R 12:00 13:00;I 13:00 15:00;R 15:00 16:00"
        << ""
        << "-@0 360 0 0 0/0 0  0%;A@0 480 120 60 1/0 0 0:60 12.5%;B@0 480 120 60 0/0 0 0:60 12.5%;"
           "-@0 120 0 0 0/0 0  0%";
    QTest::newRow("a stop across midnight is split between the days")
        << day << 2 << ""
        << "A 23:00 23:30 6;I 23:30 +01:00;R +01:00 +02:00"
        << ""
        << "*@0 1440 60 0 1/0 0 6:60 0%;*@1 1440 120 60 0/0 0 6:60 4.2%";
    QTest::newRow("a night shift, seen from the day after")
        << day << 1 << "N 22:00 06:00"
        << "I 05:00 07:00"
        << ""
        << "N@0 360 60 0 1/0 0 0:60 0%;-@0 960 60 0 0/0 0 0:60 0%;N@0 120 0 0 0/0 0  0%";
    QTest::newRow("new shift times apply from their moment on")
        << day << 1 << "A 06:00 14:00|10:00=A 06:00 18:00"
        << "R 09:00 11:00"
        << ""
        << "-@0 360 0 0 0/0 0  0%;A@0 240 60 60 0/0 0  25%;A@0 480 60 60 0/0 0  12.5%;-@0 360 0 0 0/0 0  0%";
    QTest::newRow("to daylight saving time: a day of 23 hours")
        << QDate(2024, 3, 31) << 1 << "A 00:00 12:00,B 12:00 00:00"
        << "I 01:00 04:00"
        << ""
        << "A@0 660 120 0 1/0 0 0:120 0%;B@0 720 0 0 0/0 0  0%";
    QTest::newRow("from daylight saving time: a day of 25 hours") << QDate(2024, 10, 27) << 1 << ""
                                                                  << "R 00:00 +00:00"
                                                                  << ""
                                                                  << "*@0 1500 1500 1500 0/0 0  100%";
    QTest::newRow("micro-stops apart; planned stops not held against availability")
        << day << 1 << ""
        << "R 00:00 01:00;I 01:00 01:03;R 01:03 02:00;A 02:00 03:00 8;R 03:00 04:00"
        << "04:00"
        << "*@0 240 240 177 2/1 3 0:3,8:60 98.3%";
}

void TestHistory::shiftFigures()
{
    QFETCH(QDate, day);
    QFETCH(int, days);
    QFETCH(QString, plans);
    QFETCH(QString, periods);
    QFETCH(QString, now);
    QFETCH(QString, expected);
    QVector<StatePeriod> list;
    QMap<qint64, int> reasons;
    for (const QString &item : periods.split(QLatin1Char(';'))) {
        const QStringList f = item.split(QLatin1Char(' '));
        list.append({stateOf(f.at(0)), dayTime(day, f.at(1)), dayTime(day, f.at(2)), QString()});
        if (f.size() > 3)
            reasons.insert(list.last().start, f.at(3).toInt());
    }
    QVector<Stop> stops = findStops(list);
    for (Stop &stop : stops)
        stop.reason = reasons.value(stop.start);
    StopRules rules;
    rules.planned = {8};
    rules.now = now.isEmpty() ? Always : dayTime(day, now);
    const qint64 from = localMs(day, QTime(0, 0));
    const QVector<Segment> cut = segments(::plans(day, plans), from, localMs(day.addDays(days), QTime(0, 0)));
    QCOMPARE(describe(day, History::shiftFigures(list, stops, cut, rules)), expected);
}

void TestHistory::recordAndRead()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("history.sqlite"));
    {
        Recorder recorder(path, ConfigStore::DefaultHistoryRetentionDays);
        recorder.noteState(1, QStringLiteral("mill, 2"), true, DeviceState::Running, QStringLiteral("O0001"),
                           5);
        recorder.noteState(2, QStringLiteral("lathe"), true, DeviceState::Idle, QStringLiteral("O\x01"), -1);
        const qint64 before = QDateTime::currentMSecsSinceEpoch();
        QTRY_VERIFY(QDateTime::currentMSecsSinceEpoch() > before);
        recorder.noteState(1, QStringLiteral("mill, 2"), true, DeviceState::Alarm, QStringLiteral("O0001"),
                           6);
        recorder.noteOperation(QStringLiteral("lathe"), QStringLiteral("write program"),
                               QStringLiteral("O0012"), 0, 120);
        // The stop under way is tagged twice; running, nothing is.
        QVector<int> reasons;
        connect(&recorder, &Recorder::reasonChanged, [&](quintptr, int reason) { reasons.append(reason); });
        QVERIFY(recorder.tagStop(1, 6, QStringLiteral("li")));
        QVERIFY(recorder.tagStop(1, 3, QStringLiteral("wang")));
        QVERIFY(!recorder.tagStop(3, 3, QStringLiteral("wang")));
        recorder.noteState(3, QStringLiteral("drill"), true, DeviceState::Running, QString(), -1);
        QVERIFY(!recorder.tagStop(3, 3, QStringLiteral("wang")));
        QCOMPARE(reasons, QVector<int>({6, 3}));
        recorder.flush(true);
        QVERIFY(recorder.isRecording());
    }
    const QVector<StatePeriod> mill = readPeriods(path, QStringLiteral("mill, 2"));
    QCOMPARE(mill.size(), 2);
    QCOMPARE(mill.at(0).state, DeviceState::Running);
    QCOMPARE(mill.at(0).end, mill.at(1).start);
    QCOMPARE(mill.at(1).state, DeviceState::Alarm);
    QCOMPARE(readPeriods(path, QStringLiteral("lathe")).value(0).program, QStringLiteral("O"));

    HistoryStore store;
    QVERIFY(store.open(path, HistoryStore::ReadOnly));
    QVector<PieceSample> pieces;
    QVERIFY(store.visitPieces(mill.at(1).start, Always, QString(),
                              [&](const QString &, const PieceSample &p) { pieces.append(p); }));
    QCOMPARE(piecesMade(pieces), 1); // from the count before the range on
    QVector<Operation> operations;
    QVERIFY(store.operations(0, Always, QString(), &operations));
    QCOMPARE(operations.size(), 1);
    QCOMPARE(operations.at(0).bytes, 120);

    QString out;
    QCOMPARE(csv({}, path, &out), 0);
    QStringList lines = out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 5);
    QCOMPARE(lines.at(0), QStringLiteral("device,state,start,end,seconds,program,shift,reason"));
    QVERIFY(lines.at(1).startsWith(QStringLiteral("\"mill, 2\",running,")));
    const QString alarm = lines.filter(QStringLiteral("\"mill, 2\",alarm,")).value(0);
    QVERIFY2(alarm.endsWith(QStringLiteral(",O0001,,Setup")), qPrintable(alarm));
    QVector<StopTag> tags;
    QVERIFY(store.tags(0, Always, QStringLiteral("mill, 2"), &tags));
    QCOMPARE(tags.size(), 2); // the earlier reason stays
    QCOMPARE(tags.at(1).who, QStringLiteral("wang"));
    QCOMPARE(tags.at(1).stopStart, mill.at(1).start);
    const QString start = alarm.section(QLatin1Char(','), 3, 3); // after the quoted name's comma
    QCOMPARE(QDateTime::fromString(start, Qt::ISODate).toMSecsSinceEpoch(), mill.at(1).start / 1000 * 1000);
    out.clear();
    QCOMPARE(csv({QStringLiteral("--device"), QStringLiteral("lathe"), QStringLiteral("--since"),
                  QDate::currentDate().toString(Qt::ISODate)},
                 path, &out),
             0);
    QCOMPARE(out.count(QLatin1Char('\n')), 2);
    QCOMPARE(csv({QStringLiteral("--since"), QStringLiteral("yesterday")}, path, &out), 2);
    out.clear();
    QCOMPARE(csv({}, dir.filePath(QStringLiteral("none.sqlite")), &out), 0);
    QCOMPARE(out, csvHeader() + QLatin1Char('\n'));

    // Killed while recording: what the last reported write held is there.
    QProcess child;
    child.start(QCoreApplication::applicationFilePath(), {QString::fromLatin1(ChildOption), path});
    qint64 upTo = 0;
    for (int writes = 0; writes < 2;) {
        QVERIFY(child.canReadLine() || child.waitForReadyRead(10000));
        const QByteArray line = child.readLine().trimmed();
        if (line.startsWith("written ")) {
            upTo = line.mid(8).toLongLong();
            ++writes;
        }
    }
    child.kill();
    QVERIFY(child.waitForFinished());
    const QVector<StatePeriod> lathe = readPeriods(path, QStringLiteral("lathe"));
    QCOMPARE(lathe.size(), 2);
    QCOMPARE(lathe.at(1).program, QStringLiteral("O0007"));
    QVERIFY(lathe.at(1).end >= upTo - Recorder::FlushIntervalMs / 2);
    QVERIFY(lathe.at(1).end - lathe.at(1).start >= Recorder::FlushIntervalMs / 2);

    // By Id: the lathe keeps its rows, renamed too; another lathe stays apart.
    {
        Recorder recorder(path, ConfigStore::DefaultHistoryRetentionDays);
        const QString id(QChar(0x1f)); // between name and Id
        for (const QString &key : {"lathe" + id + "a1", "lathe" + id + "b2", "Lathe 1" + id + "a1"})
            recorder.noteOperation(key, QStringLiteral("write file"), key.right(2), 0, 1);
    }
    QVERIFY(store.open(path, HistoryStore::ReadOnly));
    QStringList targets;
    for (const QString &device : {QStringLiteral("Lathe 1"), QStringLiteral("lathe-b2")}) {
        QVERIFY(store.operations(0, Always, device, &operations));
        for (const Operation &operation : qAsConst(operations))
            targets << device + QLatin1Char(' ') + operation.target;
    }
    QCOMPARE(targets, (QStringList{"Lathe 1 O0012", "Lathe 1 a1", "Lathe 1 a1", "lathe-b2 b2"}));
}

void TestHistory::unusableFile_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("read-only") << "read-only";
    QTest::newRow("not a database") << "garbage";
}

void TestHistory::unusableFile()
{
    QFETCH(QString, kind);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("history.sqlite"));
    {
        Recorder earlier(path, ConfigStore::DefaultHistoryRetentionDays);
        earlier.noteState(1, QStringLiteral("mill"), true, DeviceState::Idle, QString(), -1);
    }
    if (kind == QLatin1String("read-only")) {
        QVERIFY(QFile::setPermissions(path, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
    } else {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(QByteArray(8192, 'x'));
    }
    {
        PermissionsHold asUser;
        Recorder recorder(path, ConfigStore::DefaultHistoryRetentionDays);
        QSignalSpy unavailable(&recorder, &Recorder::unavailable);
        QVERIFY(unavailable.wait(10000));
        recorder.noteState(1, QStringLiteral("mill"), true, DeviceState::Running, QString(), 1);
        recorder.flush(true);
        QCoreApplication::processEvents();
        QCOMPARE(unavailable.count(), 1);
        QVERIFY(!recorder.isRecording());
    }
    // What the file holds can still be read, unless it is not a database:
    // then nothing is printed.
    QString out;
    QCOMPARE(csv({}, path, &out), kind == QLatin1String("garbage") ? 1 : 0);
    QCOMPARE(out.count(QLatin1Char('\n')), kind == QLatin1String("garbage") ? 0 : 2);
}

// Another program holds the file's write lock for a while, at the start and
// in the middle of the run: what came meanwhile is written once it lets go,
// and standard error says so each time.
void TestHistory::lockedForAWhile()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("history.sqlite"));
    QVERIFY(HistoryStore().open(path, HistoryStore::ReadWrite));
    {
        QSqlDatabase locker = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("locker"));
        locker.setDatabaseName(path);
        QVERIFY(locker.open());
        QSqlQuery lock(locker);
        QVERIFY(lock.exec(QStringLiteral("BEGIN EXCLUSIVE")));
        Recorder recorder(path, ConfigStore::DefaultHistoryRetentionDays);
        QSignalSpy held(&recorder, &Recorder::held);
        QSignalSpy resumed(&recorder, &Recorder::resumed);
        for (const int state : {DeviceState::Idle, DeviceState::Running}) {
            QTest::ignoreMessage(QtWarningMsg,
                                 QRegularExpression(QStringLiteral("^History cannot be written "
                                                                   "for now: database is locked")));
            QTest::ignoreMessage(QtInfoMsg, "History is written again, with what waited");
            if (state == DeviceState::Running)
                QVERIFY(lock.exec(QStringLiteral("BEGIN IMMEDIATE")));
            recorder.noteState(1, QStringLiteral("mill"), true, state, QString(), -1);
            QTRY_COMPARE_WITH_TIMEOUT(held.count(), resumed.count() + 1, 10000);
            QVERIFY(lock.exec(QStringLiteral("COMMIT")));
            QTRY_COMPARE_WITH_TIMEOUT(resumed.count(), held.count(), 10000);
        }
        QVERIFY(recorder.isRecording());
        QCOMPARE(resumed.at(1).at(0).toLongLong(), 0);
    }
    QSqlDatabase::removeDatabase(QStringLiteral("locker"));
    const QVector<StatePeriod> periods = readPeriods(path);
    QVERIFY(periods.size() == 2 && periods.at(0).state == DeviceState::Idle &&
            periods.at(1).state == DeviceState::Running);
}

// A controller's card switched on, as the main window records it: its states
// with the program in run, its pieces and the program's writes.
void TestHistory::fleetRecorded()
{
    ModbusSettings settings;
    settings.NetworkPort = 1502;
    settings.Timeout = 200;
    settings.NumberOfRetries = 0;
    ConfigStore::instance()->setModbusSettings(settings);
    sim::Controller controller;
    sim::TcpServer server(&controller);
    QVERIFY(server.listen(QHostAddress(QStringLiteral("127.0.0.123")), 1502));
    controller.setProgramNumber(7);
    controller.setPieceCount(5);
    auto *device = new ModbusDevice;
    device->setRecord(
        {1, QStringLiteral("mill"), 0, QStringLiteral("127.0.0.123"), controller.stationAddress()});
    auto watch = std::make_unique<DeviceWatch>(device);
    DeviceFleet fleet;
    fleet.add(watch.get());

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("history.sqlite"));
    {
        Recorder recorder(path, ConfigStore::DefaultHistoryRetentionDays);
        recordFleet(&fleet, &recorder);
        QVERIFY(device->countersWanted());
        watch->setOn(true);
        QTRY_COMPARE_WITH_TIMEOUT(watch->snapshot().program, QStringLiteral("O0007"), 5000);
        QCOMPARE(device->writeProgram(QByteArray("O0012\n"), 12), 0);
        controller.setRunState(sim::RunState::Running);
        controller.setPieceCount(6);
        QTRY_COMPARE(watch->snapshot().pieces, 6);
        watch->setOn(false);
        recorder.flush(true);
    }
    QVERIFY(!device->countersWanted());
    watch.reset();
    device->releaseWhenIdle();

    const QVector<StatePeriod> periods = readPeriods(path);
    QVERIFY(periods.size() >= 3);
    const StatePeriod &running = periods.last();
    QCOMPARE(running.state, DeviceState::Running);
    QCOMPARE(running.program, QStringLiteral("O0007"));
    QCOMPARE(periods.at(periods.size() - 2).state, DeviceState::Idle);
    QCOMPARE(periods.first().state, DeviceState::Connecting);
    HistoryStore store;
    QVERIFY(store.open(path, HistoryStore::ReadOnly));
    QVector<Operation> operations;
    QVERIFY(store.operations(0, Always, QStringLiteral("mill"), &operations));
    QCOMPARE(operations.size(), 1);
    QCOMPARE(operations.at(0).kind, QStringLiteral("write program"));
    QCOMPARE(operations.at(0).target, QStringLiteral("O0012"));
    QVector<PieceSample> pieces;
    QVERIFY(store.visitPieces(0, Always, QString(),
                              [&](const QString &, const PieceSample &p) { pieces.append(p); }));
    QCOMPARE(piecesMade(pieces), 1);
}

// The figures of a day as the window shows them, its hover text and export.
void TestHistory::window()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("history.sqlite"));
    const QDate day(2024, 3, 5);
    const auto at = [&](int hour, int minute) {
        return QDateTime(day, QTime(hour, minute)).toMSecsSinceEpoch();
    };
    {
        HistoryStore store;
        QVERIFY(store.open(path, HistoryStore::ReadWrite));
        Batch batch;
        const QString lathe = QStringLiteral("lathe"), o1 = QStringLiteral("O0001");
        batch.closed = {
            {lathe, {DeviceState::Running, at(8, 0), at(10, 0), o1}},
            {lathe, {DeviceState::Alarm, at(10, 0), at(10, 30), o1}},
            {lathe, {DeviceState::Idle, at(10, 30), at(12, 0), o1}},
            {QStringLiteral("@old"), {DeviceState::Running, at(9, 0), at(9, 30), QStringLiteral("=O2")}},
            {QStringLiteral("@old"),
             {DeviceState::Alarm, at(9, 30), at(9, 30) + 42000, QStringLiteral("=O2")}}};
        batch.pieces = {{lathe, {at(7, 0), 10}}, {lathe, {at(10, 0), 14}}};
        batch.operations = {{lathe, at(11, 0), QStringLiteral("write program"), QStringLiteral("O3"), 0, 100},
                            {lathe, at(11, 5), QStringLiteral("delete program"), QStringLiteral("O3"), 3, 0}};
        QVERIFY(store.write(batch));
    }
    HistoryWindow window(path, QString(), {QStringLiteral("mill"), QStringLiteral("lathe")});
    window.showRange(HistoryWindow::Day, day);
    auto *figures = window.findChild<QTableWidget *>(QStringLiteral("historyFigures"));
    QCOMPARE(figures->rowCount(), 4); // the list's two, one recorded only, the total
    QStringList lathe;
    for (int column = 0; column < HistoryWindow::ColumnCount; ++column)
        lathe << figures->item(1, column)->text();
    QCOMPARE(lathe.join(QLatin1Char('|')), QStringLiteral("lathe|4:00|2:00|50.0 %|1|0:30|4|O0001 (2:00)"));
    QCOMPARE(figures->item(3, HistoryWindow::SwitchedOn)->text(), QStringLiteral("4:30"));
    QCOMPARE(figures->item(2, HistoryWindow::AlarmTime)->text(), QStringLiteral("0:00:42")); // not 0:00
    auto *operations = window.findChild<QTableWidget *>(QStringLiteral("historyOperations"));
    QCOMPARE(operations->rowCount(), 2);
    QCOMPARE(operations->item(1, 4)->text(), QString::fromUtf8("非空闲 (代码 3)"));

    auto *timeline = window.findChild<HistoryTimeline *>();
    timeline->resize(1000, timeline->sizeHint().height());
    const int x = int(timeline->width() * 0.1 + timeline->width() * 0.9 * 9 / 24); // about 09:00
    const QString hover =
        timeline->textAt(QPoint(x, HistoryTimeline::HeaderHeight + HistoryTimeline::RowHeight + 5));
    QVERIFY2(hover.startsWith(QStringLiteral("lathe\n")) && hover.contains(QStringLiteral("O0001")),
             qPrintable(hover));

    // The lathe's stop (an alarm, then idle) tagged with one click; read again, it keeps its reason.
    QVector<StopTag> given;
    connect(&window, &HistoryWindow::tagged, [&](const QVector<StopTag> &tags) { given = tags; });
    timeline->setSelectedStops({{1, 0}});
    window.findChild<QPushButton *>(QStringLiteral("reason1"))->click();
    QCOMPARE(given.size(), 1);
    QCOMPARE(given.at(0).stopStart, at(10, 0));
    const auto shiftRow = [](const HistoryWindow &w, int row) {
        QStringList texts;
        auto *table = w.findChild<QTableWidget *>(QStringLiteral("historyShifts"));
        for (int column = StopsView::ShiftColumn; column < StopsView::ColumnCount; ++column)
            texts << table->item(row, column)->text();
        return texts.join(QLatin1Char('|'));
    };
    QCOMPARE(shiftRow(window, 1), QStringLiteral("全天|4:00|2:00|50.0 %|8.3 %|1|0 (0:00:00)|待料 2:00"));
    HistoryWindow again(path, QString(), {QStringLiteral("mill"), QStringLiteral("lathe")});
    again.showRange(HistoryWindow::Day, day);
    QCOMPARE(shiftRow(again, 1), shiftRow(window, 1));

    const QString csvPath = dir.filePath(QStringLiteral("day.csv"));
    QList<Dialogs::Request> asked;
    Dialogs::setResponder([&](const Dialogs::Request &request) {
        asked.append(request);
        Dialogs::Answer answer;
        answer.path = csvPath;
        return answer;
    });
    window.findChild<QPushButton *>(QStringLiteral("historyExport"))->click();
    QFile csvFile(csvPath);
    QVERIFY(csvFile.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = csvFile.readAll().split('\n');
    QCOMPARE(lines.size(), 7); // the header, five periods, the last line's end
    // Cells a spreadsheet would run as formulas are text, in both exports.
    QVERIFY(lines.at(2).startsWith("'@old,running,") && lines.at(2).contains(",'=O2,"));
    QString out;
    QCOMPARE(csv({}, path, &out), 0);
    QVERIFY(out.contains(QString::fromUtf8(lines.at(2))));
    // Named after the day shown, or the week's first and last days; the
    // window says where it went.
    QVERIFY(asked.at(0).path.endsWith(QStringLiteral("history-shop-2024-03-05.csv")));
    QVERIFY(asked.at(1).text.contains(QDir::toNativeSeparators(csvPath)));
    window.showRange(HistoryWindow::Week, day);
    window.findChild<QPushButton *>(QStringLiteral("historyExport"))->click();
    Dialogs::setResponder({});
    QVERIFY(asked.at(2).path.endsWith(QStringLiteral("history-shop-2024-03-04_2024-03-10.csv")));
    // The hours axis labels every tick apart, however few the hours.
    HistoryWindow old(path, QStringLiteral("@old"), {});
    old.showRange(HistoryWindow::Week, day);
    auto *axis = qobject_cast<QtCharts::QValueAxis *>(
        old.findChild<QtCharts::QChartView *>(QStringLiteral("historyChart"))
            ->chart()
            ->axes(Qt::Vertical)
            .value(0));
    QVERIFY(axis);
    QSet<QString> labels;
    const QByteArray format = axis->labelFormat().toLatin1();
    for (int tick = 0; tick < axis->tickCount(); ++tick)
        labels << QString::asprintf(format.constData(), axis->min() + tick * (axis->max() - axis->min()) /
                                                                          (axis->tickCount() - 1));
    QCOMPARE(labels.size(), axis->tickCount());
    window.findChild<QPushButton *>(QStringLiteral("historyClose"))->click();
    QVERIFY(!window.isVisible());

    // In English the texts come from the translation built into the program.
    QVERIFY(Translations::install(1));
    HistoryWindow english(path, QStringLiteral("lathe"), {});
    QCOMPARE(english.windowTitle(), QStringLiteral("History of lathe"));
    Translations::install(0);
}

int main(int argc, char *argv[])
{
    if (argc == 3 && std::strcmp(argv[1], ChildOption) == 0)
        return recordUntilKilled(argc, argv);
    // The days of a clock change are known in this zone.
    qputenv("TZ", "Europe/Berlin");
    QApplication app(argc, argv);
    TestHistory test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_history.moc"
