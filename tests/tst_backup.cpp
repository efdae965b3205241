#include "app/carddialogs.h"
#include "archive/archiveindex.h"
#include "archive/archivestore.h"
#include "archive/manifest.h"
#include "config/filenames.h"
#include "history/historystore.h"
#include "views/backupdialog.h"
#include "views/dialogs.h"
#include "views/restoredialog.h"
#include "viewtest.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <QtTest>

namespace {

const char SimAddress[] = "127.0.0.181";
constexpr quint16 SimPort = 1502;
// Chinese comments in GBK, as controllers keep them.
const QByteArray GbkText("(\xb5\xb6\xbe\xdf \xb2\xb9\xb3\xa5)\r\nT1 D1\r\n");

struct Run
{
    int exit = -1;
    QStringList lines;
};

} // namespace

// Backup, change, restore: the command line as a process over RTU, and the
// card's dialogs over TCP, against the simulated mill.
class TestBackup : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void commandLineRoundTrip();
    void commandLineExitCodes_data();
    void commandLineExitCodes();
    void dialogsMarkFailuresAndRestore();
    void cardRemovedDuringBackup();

private:
    Run run(const QStringList &arguments);
    void loadMill();

    QTemporaryDir m_dir;
    sim::Controller m_rtuMill;
    sim::PtyPair m_pty;
    sim::RtuServer m_rtu{&m_rtuMill};
    SimulatedCard m_card{SimAddress, SimPort};
};

void TestBackup::initTestCase()
{
    QVERIFY(m_dir.isValid());
    QVERIFY(QDir::setCurrent(m_dir.path()));
    if (!m_pty.start())
        QSKIP("no pseudo-terminal pair (socat missing or failing)");
    loadMill();
    QVERIFY(m_rtu.open(m_pty.first(), 115200, QSerialPort::OddParity));
    // The program finds its devices in the working directory's Configure.xml.
    QFile config(m_dir.filePath("Configure.xml"));
    QVERIFY(config.open(QIODevice::WriteOnly));
    config.write(
        QStringLiteral("<Configure>\n"
                       "<Device Type=\"0\" Name=\"Mill\" Model=\"0\" IP=\"\" Address=\"10\" Id=\"m1\"/>\n"
                       "<Device Type=\"1\" Name=\"Off\" Model=\"0\" IP=\"127.0.0.182\" Address=\"10\"/>\n"
                       "<Modbus Port=\"%1\" Parity=\"3\" BaudRate=\"115200\" DataBits=\"8\" StopBits=\"1\" "
                       "NumberOfRetries=\"0\" Timeout=\"200\"/>\n"
                       "</Configure>\n")
            .arg(m_pty.second())
            .toUtf8());
    config.close();
    // A backup of another controller.
    QVERIFY(QDir(m_dir.path()).mkdir("other"));
    QVERIFY(writeAll(m_dir.filePath("other/O0001"), "O0001\n"));
    QVERIFY(writeAll(m_dir.filePath("other/manifest.tsv"),
                     "# device\tid\tzz9\n# device\tname\tLathe\nname\tsize\tsha256\tresult\nO0001\t6\t" +
                         ArchiveIndex::sha256("O0001\n") + "\tsaved\n"));
    ConfigStore::instance()->resetToDefaults();
    m_card.useQuickLinkSettings();
}

void TestBackup::cleanupTestCase()
{
    m_card.remove();
}

void TestBackup::loadMill()
{
    for (int number : m_rtuMill.programNumbers())
        m_rtuMill.removeProgram(number);
    m_rtuMill.setStationAddress(10);
    QVERIFY(m_rtuMill.loadFolder(QStringLiteral(VEXA_SOURCE_DIR "/sim/samples/mill")));
    m_rtuMill.setFile("TOFS.PAR", GbkText);
}

// The program runs while this test serves its controller: the wait turns the
// event loop.
Run TestBackup::run(const QStringList &arguments)
{
    QProcess program;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("DISPLAY"));
    env.remove(QStringLiteral("QT_QPA_PLATFORM")); // no display is needed
    program.setProcessEnvironment(env);
    program.setWorkingDirectory(m_dir.path());
    program.setProcessChannelMode(QProcess::SeparateChannels);
    program.start(QStringLiteral(VEXA_BINARY_DIR "/vexa-assistant"), arguments);
    program.closeWriteChannel(); // nothing may wait for input
    Run result;
    if (!program.waitForStarted(10000))
        return result;
    // An event loop of its own: QTest's waits sleep between rounds, and the
    // simulator would answer only then.
    QEventLoop loop;
    QTimer::singleShot(120000, &loop, &QEventLoop::quit);
    connect(&program, QOverload<int, QProcess::ExitStatus>::of(&QProcess::finished), &loop,
            &QEventLoop::quit);
    if (program.state() != QProcess::NotRunning)
        loop.exec();
    if (program.state() != QProcess::NotRunning)
        return result;
    result.exit = program.exitStatus() == QProcess::NormalExit ? program.exitCode() : -1;
    result.lines = QString::fromLocal8Bit(program.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
    return result;
}

void TestBackup::commandLineRoundTrip()
{
    m_rtuMill.setAbsentException(4); // a missing text refused as some controllers do
    const Run backup = run({"--backup", "Mill", "--to", "saved"});
    QCOMPARE(backup.exit, 0);
    const QStringList folders =
        QDir(m_dir.filePath("saved/Mill-m1")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    QCOMPARE(folders.size(), 1);
    const QString folder = m_dir.filePath("saved/Mill-m1/" + folders.first());
    QVERIFY(backup.lines.last().contains(QDir::toNativeSeparators(folder)));
    // Every program and system file under its own name, bytes as the controller holds them.
    const QStringList names = QDir(folder).entryList(QDir::Files, QDir::Name);
    QCOMPARE(names, (QStringList{"O0001", "O0002", "O0020", "O0101", "O5000", "PLC.PAR", "SYS.PAR",
                                 "TOFS.PAR", "USRIO.TXT", "USRMACRO.TXT", "ZOFS.PAR", "manifest.tsv"}));
    QCOMPARE(backup.lines.size(), 1 + names.size()); // the directory, the items, the summary
    for (const QString &name : names.mid(0, 11)) {
        const int number = FileNames::programNumber(name);
        QCOMPARE(readAll(folder + "/" + name),
                 number >= 0 ? m_rtuMill.program(number) : m_rtuMill.file(name));
    }
    const QList<Manifest::Row> rows = Manifest::parse(readAll(folder + "/manifest.tsv"));
    QCOMPARE(rows.size(), 11);
    for (const Manifest::Row &row : rows)
        QCOMPARE(row.outcome, Manifest::Outcome::Saved);
    const Manifest::Device device = Manifest::parseDevice(readAll(folder + "/manifest.tsv"));
    QCOMPARE(QStringList({device.id, device.name, device.link, device.address, device.model}),
             QStringList({"m1", "Mill", "rtu", m_pty.second(), "P7"}));
    QCOMPARE(device.station, 10);

    // Changed after the backup: a program edited, one deleted, one added, the
    // GBK file rewritten.
    const QByteArray o1 = m_rtuMill.program(1);
    const QByteArray o2 = m_rtuMill.program(2);
    m_rtuMill.setProgram(1, "O0001\nM30\n");
    m_rtuMill.removeProgram(2);
    m_rtuMill.setProgram(77, "O0077\n");
    m_rtuMill.setFile("TOFS.PAR", "\xb8\xc4\r\n");
    // The manifest went through an editor (CR LF), and a program it does not name came in.
    QVERIFY(writeAll(folder + "/manifest.tsv", readAll(folder + "/manifest.tsv").replace("\n", "\r\n")));
    QVERIFY(writeAll(folder + "/O0777", "O0777\n"));

    const Run dry = run({"--restore", folder, "--device", "Mill"});
    QCOMPARE(dry.exit, 1); // O0777 would not be written
    QCOMPARE(dry.lines.size(), 13);
    QCOMPARE(m_rtuMill.program(1), QByteArray("O0001\nM30\n"));
    QVERIFY(!m_rtuMill.hasProgram(2));

    const Run restore = run({"--restore", folder, "--device", "Mill", "--yes", "--unchecked"});
    QCOMPARE(restore.exit, 0);
    QCOMPARE(restore.lines.size(), 13);
    QCOMPARE(m_rtuMill.program(777), QByteArray("O0777\n"));
    QCOMPARE(m_rtuMill.program(1), o1);
    QCOMPARE(m_rtuMill.program(2), o2);
    QCOMPARE(m_rtuMill.file("TOFS.PAR"), GbkText);
    QVERIFY(m_rtuMill.hasProgram(77)); // only on the controller: left alone
    // What the restore replaced is in the archive beside Configure.xml; the
    // deleted program had nothing to keep.
    const QString archive = m_dir.filePath("archive/Mill-m1/");
    QCOMPARE(QDir(archive + "O0001").entryList(QDir::Files).size(), 2);
    QCOMPARE(readAll(archive + "O0001/" + QDir(archive + "O0001").entryList(QDir::Files).first()),
             QByteArray("O0001\nM30\n"));
    QCOMPARE(readAll(archive + "TOFS.PAR/" + QDir(archive + "TOFS.PAR").entryList(QDir::Files).first()),
             QByteArray("\xb8\xc4\r\n"));
    QVERIFY(!QFileInfo::exists(archive + "O0002"));
    m_rtuMill.removeProgram(77);
    m_rtuMill.removeProgram(777);
    m_rtuMill.clearFaults();
    // Both runs are in the history's writes.
    History::HistoryStore history;
    QVERIFY(history.open(m_dir.filePath("history.sqlite"), History::HistoryStore::ReadOnly));
    QVector<History::Operation> writes;
    QVERIFY(history.operations(0, QDateTime::currentMSecsSinceEpoch() + 1, "Mill", &writes));
    QStringList kinds;
    for (const History::Operation &write : writes)
        kinds << write.kind + ' ' + write.target;
    QVERIFY2(kinds.contains("backup " + folders.first()) && kinds.contains("write program O0001") &&
                 kinds.contains("write file TOFS.PAR"),
             qPrintable(kinds.join(", ")));
}

void TestBackup::commandLineExitCodes_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exit");
    // 1 byte counts above 200, 2 PLC.PAR missing and refused with 4, 3 texts end at chunk 3,
    // 4 SYS.PAR's first open refused with 3
    QTest::addColumn<int>("fault");
    QTest::addColumn<QString>("line"); // what the output says
    QTest::newRow("help") << QStringList{"--help"} << 0 << 0 << "--unchecked";
    QTest::newRow("unknown device") << QStringList{"--backup", "Lathe"} << 2 << 0 << QString();
    QTest::newRow("no name") << QStringList{"--backup"} << 2 << 0 << QString();
    QTest::newRow("backup and restore")
        << QStringList{"--all", "--restore", "x", "--device", "Mill"} << 2 << 0 << QString();
    QTest::newRow("restore without device") << QStringList{"--restore", "saved"} << 2 << 0 << QString();
    QTest::newRow("no such backup") << QStringList{"--restore", "nowhere", "--device", "Mill"} << 2 << 0
                                    << QString();
    QTest::newRow("unreachable") << QStringList{"--backup", "Off"} << 1 << 0 << QString();
    QTest::newRow("reads fail") << QStringList{"--backup", "Mill", "--to", "failing"} << 1 << 1 << QString();
    QTest::newRow("file not there, exception 4") << QStringList{"--backup", "Mill", "--to", "absent"} << 0
                                                 << 2 << QString::fromUtf8("PLC.PAR\t控制器上没有");
    QTest::newRow("texts cut short") << QStringList{"--backup", "Mill", "--to", "short"} << 1 << 3
                                     << QString::fromUtf8("O0001\t失败: 大小不符");
    QTest::newRow("one refusal is no absence") << QStringList{"--backup", "Mill", "--to", "refused"} << 0 << 4
                                               << QString::fromUtf8("SYS.PAR\t已保存 11005 字节");
    QTest::newRow("folder cannot be made")
        << QStringList{"--backup", "Mill", "--to", "Configure.xml"} << 1 << 0 << QString();
    QTest::newRow("another device's backup")
        << QStringList{"--restore", "other", "--device", "Mill"} << 2 << 0 << QString();
    QTest::newRow("another device's backup, forced")
        << QStringList{"--restore", "other", "--device", "m1", "--force"} << 0 << 0 << QString();
}

void TestBackup::commandLineExitCodes()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, exit);
    QFETCH(int, fault);
    QFETCH(QString, line);
    m_rtuMill.setChunkByteCount(fault == 1 ? 250 : -1);
    m_rtuMill.setAbsentException(4);
    if (fault == 2)
        m_rtuMill.removeFile("PLC.PAR");
    m_rtuMill.setTextEndsAtChunk(fault == 3 ? 3 : 0);
    if (fault == 4)
        m_rtuMill.refuseOpen("SYS.PAR", 3);
    const Run result = run(arguments);
    m_rtuMill.clearFaults();
    loadMill();
    QCOMPARE(result.exit, exit);
    QVERIFY(result.lines.join('\n').contains(line));
    if (arguments.contains("--to")) // the summary names the folder, made or not
        QVERIFY(result.lines.last().contains(arguments.last() + "/Mill-m1/"));
    if (fault == 1) {
        // Nothing was saved, and nothing says so.
        const QString folder = m_dir.filePath("failing/Mill-m1");
        const QString stamp = QDir(folder).entryList(QDir::Dirs | QDir::NoDotAndDotDot).value(0);
        QCOMPARE(QDir(folder + "/" + stamp).entryList(QDir::Files), QStringList{"manifest.tsv"});
        for (const Manifest::Row &row : Manifest::parse(readAll(folder + "/" + stamp + "/manifest.tsv")))
            QCOMPARE(row.outcome, Manifest::Outcome::Failed);
    }
}

// From a card: a backup whose reads fail marks each line and counts none as
// saved; then the compare with a good backup and the chosen items written
// back, one refused because the controller is running.
void TestBackup::dialogsMarkFailuresAndRestore()
{
    sim::Controller &mill = m_card.controller;
    mill.setStationAddress(10);
    QVERIFY(mill.loadFolder(QStringLiteral(VEXA_SOURCE_DIR "/sim/samples/mill")));
    deviceWidget *card = m_card.connect();
    QVERIFY(card);
    QTRY_COMPARE(card->device()->stateCode(), 3);

    mill.setChunkByteCount(250);
    BackupDialog *backup = CardDialogs::showBackup(card);
    QTRY_VERIFY(backup->runner()->summary().finished);
    mill.clearFaults();
    QCOMPARE(backup->runner()->summary().saved, 0);
    QCOMPARE(backup->runner()->summary().failed, 11);
    QTreeWidget *lines = backup->lines();
    QCOMPARE(lines->topLevelItemCount(), 12);
    for (int i = 1; i < lines->topLevelItemCount(); ++i)
        QCOMPARE(lines->topLevelItem(i)->data(1, Qt::UserRole).toInt(), int(Manifest::Outcome::Failed));

    CardDialogs::showBackup(card); // again, now whole
    QTRY_VERIFY(backup->runner()->summary().finished);
    QVERIFY(backup->runner()->summary().complete());
    const QString folder = backup->runner()->folder();

    mill.setProgram(20, "O0020\n");
    mill.removeProgram(101);
    mill.setProgram(3, "O0003\n");
    QVERIFY(writeAll(folder + "/O0777", "O0777\n")); // no manifest row names it
    RestoreDialog *restore = CardDialogs::showRestore(card);
    restore->openFolder(folder);
    QTRY_VERIFY(!restore->isBusy());
    QTreeWidget *items = restore->items();
    QHash<QString, int> status;
    for (int i = 0; i < items->topLevelItemCount(); ++i)
        status.insert(items->topLevelItem(i)->text(0),
                      items->topLevelItem(i)->data(0, RestoreDialog::StatusRole).toInt());
    QCOMPARE(status.value("O0001"), int(RestoreItem::Same));
    QCOMPARE(status.value("O0020"), int(RestoreItem::Changed));
    QCOMPARE(status.value("O0101"), int(RestoreItem::OnlyInBackup));
    QCOMPARE(status.value("O0003"), int(RestoreItem::OnlyOnController));
    QCOMPARE(status.size(), 13);
    const QTreeWidgetItem *unchecked = items->findItems("O0777", Qt::MatchExactly).value(0);
    QCOMPARE(unchecked->checkState(0), Qt::Unchecked);
    QCOMPARE(unchecked->text(RestoreDialog::ResultColumn), QString::fromUtf8("未校验"));

    // Asked once, naming the count and the device; Enter would cancel.
    QList<Dialogs::Request> asked;
    Dialogs::setResponder([&](const Dialogs::Request &request) {
        asked.append(request);
        Dialogs::Answer answer;
        answer.button = request.kind == Dialogs::Request::Message ? 0 : -1;
        return answer;
    });
    mill.setRunState(sim::RunState::Running);
    QTRY_COMPARE(card->device()->stateCode(), 1);
    restore->writeChosen();
    QCOMPARE(asked.size(), 1);
    QVERIFY(asked.first().text.startsWith(QString::fromUtf8("写入 ")));
    QVERIFY(asked.first().text.endsWith(QString::fromUtf8(" 项到 %1?").arg(card->record().Name)));
    QVERIFY(asked.first().buttons.at(1).isDefault);
    QTRY_VERIFY(!restore->isBusy());
    QCOMPARE(mill.program(20), QByteArray("O0020\n")); // refused: not idle
    QVERIFY(!mill.hasProgram(101));
    const QString kept = m_dir.filePath(
        "archive/" + ArchiveStore::deviceFolder(m_dir.filePath("archive"), card->record(), false) + "/O0020");
    QVERIFY(!QFileInfo::exists(kept)); // nothing replaced, nothing kept
    mill.setRunState(sim::RunState::Idle);
    QTRY_COMPARE(card->device()->stateCode(), 3);
    restore->writeChosen();
    QTRY_VERIFY(!restore->isBusy());
    QCOMPARE(mill.program(20), readAll(folder + "/O0020"));
    QCOMPARE(mill.program(101), readAll(folder + "/O0101"));
    QVERIFY(!mill.hasProgram(777));
    QVERIFY(QFileInfo::exists(kept));
    for (int i = 0; i < items->topLevelItemCount(); ++i) {
        QTreeWidgetItem *line = items->topLevelItem(i);
        if (line->checkState(0) == Qt::Checked) {
            QCOMPARE(line->data(RestoreDialog::ResultColumn, Qt::UserRole).toInt(), 0);
            QCOMPARE(line->foreground(RestoreDialog::ResultColumn), QBrush()); // no longer red
        }
    }
    Dialogs::setResponder({});

    // Another controller's backup: asked first, and not written when declined.
    restore->openFolder(m_dir.filePath("other"));
    QTRY_VERIFY(!restore->isBusy());
    QString otherAsked;
    Dialogs::setResponder([&](const Dialogs::Request &request) {
        otherAsked = request.text;
        Dialogs::Answer cancel;
        cancel.button = 1;
        return cancel;
    });
    restore->writeChosen();
    Dialogs::setResponder({});
    QVERIFY2(otherAsked.contains("zz9"), qPrintable(otherAsked));
    QVERIFY(!restore->isBusy());
    QVERIFY(mill.program(1) != "O0001\n");
}

// The card goes while its backup waits for a reply: the dialog goes with it,
// and nothing is left waiting.
void TestBackup::cardRemovedDuringBackup()
{
    const QPointer<deviceWidget> card = m_card.connect();
    QVERIFY(card);
    QTRY_COMPARE(card->device()->stateCode(), 3);
    CardDialogs::follow(DeviceManager::instance());
    emit card->backupRequested(); // as the card's menu asks
    const QPointer<BackupDialog> backup = card->heldDialog<BackupDialog>();
    QVERIFY(backup);
    bool removed = false;
    connect(backup->runner(), &BackupRunner::itemStarted, this, [&](const QString &name) {
        if (name == "O5000" && !removed) {
            removed = true;
            // From inside the read's wait, as a click on the list would come.
            QTimer::singleShot(0, [] { DeviceManager::instance()->removeSelectedDevice(); });
        }
    });
    QTRY_VERIFY(removed);
    QTRY_VERIFY(!card);
    QTRY_VERIFY(!backup);
}

QTEST_MAIN(TestBackup)
#include "tst_backup.moc"
