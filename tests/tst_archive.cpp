#include "archive/archiveindex.h"
#include "archive/archivestore.h"
#include "archive/manifest.h"
#include "archive/restorerunner.h"
#include "archive/textdiff.h"
#include "testsupport.h"

#include <QtTest>

using ArchiveIndex::Operation;
using ArchiveIndex::Version;

namespace {

// "=a", "-b", "+c" per line of the unified view.
QStringList unified(const QStringList &left, const QStringList &right, bool ignore)
{
    QStringList out;
    for (const TextDiff::Line &line : TextDiff::compare(left, right, ignore)) {
        const char mark = line.kind == TextDiff::Line::Same      ? '='
                          : line.kind == TextDiff::Line::Removed ? '-'
                                                                 : '+';
        out << QLatin1Char(mark) + (line.left >= 0 ? left.at(line.left) : right.at(line.right));
    }
    return out;
}

} // namespace

class TestArchive : public QObject
{
    Q_OBJECT

private slots:
    void folderName_data();
    void folderName();
    void deviceFolder_data();
    void deviceFolder();
    void indexSkipsWhatIsNoVersion();
    void storeKeepsNewestAndChecksBytes();
    void storeThatCannotWriteKeepsNothing();
    void manifestRoundTrip();
    void compare_data();
    void compare();
    void sideBySidePairsChanges();
    void backupFolderAgainstController();
};

void TestArchive::folderName_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("folder");
    QTest::newRow("plain") << "Mill (TCP)"
                           << "Mill (TCP)";
    QTest::newRow("chinese") << QString::fromUtf8("一号车床") << QString::fromUtf8("一号车床");
    QTest::newRow("separators") << "../a/b\\c"
                                << ".._a_b_c";
    QTest::newRow("parent") << ".."
                            << "_";
    QTest::newRow("dots and spaces at the end") << "mill. . "
                                                << "mill";
    QTest::newRow("empty") << ""
                           << "_";
    QTest::newRow("control and reserved") << QString("a\nb:c*?\"<>|") << "a_b_c______";
}

void TestArchive::folderName()
{
    QFETCH(QString, name);
    QFETCH(QString, folder);
    QCOMPARE(ArchiveIndex::folderName(name), folder);
}

void TestArchive::deviceFolder_data()
{
    QTest::addColumn<QStringList>("before");
    QTest::addColumn<bool>("settle");
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QStringList>("after");
    const QString mine = "Mill (TCP)-5b1e0c2a";
    QTest::newRow("kept by name before: taken over")
        << QStringList{"Lathe", "Mill (TCP)"} << true << mine << QStringList{"Lathe", mine};
    QTest::newRow("kept by name before, only read")
        << QStringList{"Mill (TCP)"} << false << "Mill (TCP)" << QStringList{"Mill (TCP)"};
    QTest::newRow("renamed since") << QStringList{"Mill (TCP)", "Old-5b1e0c2a"} << true << mine
                                   << QStringList{"Mill (TCP)", mine};
    QTest::newRow("another device of the name")
        << QStringList{"Mill (TCP)-77777777"} << true << mine << QStringList{"Mill (TCP)-77777777"};
}

// A device's archive and backups are found by its Id, whatever it was named.
void TestArchive::deviceFolder()
{
    QFETCH(QStringList, before);
    QFETCH(bool, settle);
    QFETCH(QString, folder);
    QFETCH(QStringList, after);
    QTemporaryDir root;
    for (const QString &name : before)
        QVERIFY(QDir(root.path()).mkdir(name));
    DeviceRecord mill;
    mill.Name = "Mill (TCP)";
    mill.Id = "5b1e0c2a-7d4f-4a8e-9c61-0f3b2d9e8a71";
    QCOMPARE(ArchiveStore::deviceFolder(root.path(), mill, settle), folder);
    QCOMPARE(QDir(root.path()).entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name), after);
}

// A torn last line, a foreign edit or a name that leaves the folder costs
// that line only; a second version in the same second gets its own file.
void TestArchive::indexSkipsWhatIsNoVersion()
{
    const QDateTime when(QDate(2026, 3, 4), QTime(5, 6, 7, 89));
    const Version a{when, Operation::Update, 3, ArchiveIndex::sha256("abc"), "20260304-050607"};
    const Version b{when.addSecs(60), Operation::Restore, 0, ArchiveIndex::sha256(""), "20260304-050707"};
    QCOMPARE(ArchiveIndex::versionFileName(when, {a}), QString("20260304-050607-2"));

    QByteArray text = ArchiveIndex::format({a, b});
    QCOMPARE(ArchiveIndex::parse(text), (QList<Version>{a, b}));
    const QByteArray good = text.split('\n').at(1);
    text += good;
    text += "\n" + QByteArray(good).replace("update", "rename") + "\n";
    text += QByteArray(good).replace("20260304-050607", "../../etc/passwd") + "\n";
    text += QByteArray(good).replace("\t3\t", "\t-3\t") + "\n";
    text += good.left(good.size() - 5); // torn
    QCOMPARE(ArchiveIndex::parse(text), (QList<Version>{a, b, a}));

    QCOMPARE(ArchiveIndex::beyondBound({a, b}, 5), QList<Version>());
    QCOMPARE(ArchiveIndex::beyondBound({a, b, a}, 2), QList<Version>{a});
    QCOMPARE(ArchiveIndex::beyondBound({a, b}, 0), QList<Version>{a});
}

void TestArchive::storeKeepsNewestAndChecksBytes()
{
    QTemporaryDir dir;
    const ArchiveStore store(dir.path(), 3);
    const QDateTime start(QDate(2026, 1, 2), QTime(3, 4, 5));
    // Five versions, two of them within one second, GBK bytes as read.
    const QList<QByteArray> texts{"O1\n", "\xd6\xd0\xce\xc4\r\n", QByteArray("\0a", 2), "", "O1\nM30\n"};
    QString why;
    for (int i = 0; i < texts.size(); ++i)
        QVERIFY(store.keep("../Mill", "O0001", Operation::Update, texts.at(i), start.addSecs(i / 2), &why));
    // The newest version again is not kept twice.
    QVERIFY(store.keep("../Mill", "O0001", Operation::Update, texts.last(), start.addSecs(9), &why));

    const QList<Version> kept = store.versions("../Mill", "O0001");
    QCOMPARE(kept.size(), 3);
    QStringList files;
    for (int i = 0; i < kept.size(); ++i) {
        QByteArray bytes;
        QVERIFY(store.read("../Mill", "O0001", kept.at(i), &bytes));
        QCOMPARE(bytes, texts.at(i + 2));
        files << kept.at(i).file;
    }
    QCOMPARE(files, (QStringList{"20260102-030406", "20260102-030406-2", "20260102-030407"}));
    const QString folder = dir.path() + "/.._Mill/O0001";
    QCOMPARE(store.folder("../Mill", "O0001"), folder);
    QCOMPARE(QDir(folder).entryList(QDir::Files, QDir::Name), files + QStringList{"index.tsv"});

    // A version changed on disk is no longer what the index says it is.
    QVERIFY(writeAll(folder + "/" + files.last(), "O1\nM31\n"));
    QByteArray bytes;
    QVERIFY(!store.read("../Mill", "O0001", kept.last(), &bytes));
    QVERIFY(bytes.isEmpty());
}

void TestArchive::storeThatCannotWriteKeepsNothing()
{
    QTemporaryDir dir;
    QVERIFY(writeAll(dir.filePath("file"), "x"));
    QString why;
    QVERIFY(!ArchiveStore(dir.filePath("file/archive"))
                 .keep("Mill", "O0001", Operation::Delete, "O1", QDateTime::currentDateTime(), &why));
    QVERIFY(why.contains("file"));

    // The index cannot be replaced: the version written before it goes again.
    const ArchiveStore store(dir.path());
    QVERIFY(QDir().mkpath(store.folder("Mill", "O0001") + "/index.tsv/x"));
    QVERIFY(!store.keep("Mill", "O0001", Operation::Delete, "O1", QDateTime::currentDateTime(), &why));
    QCOMPARE(QDir(store.folder("Mill", "O0001")).entryList(QDir::Files), QStringList());

    // An index that cannot be read is not replaced by one that forgets it.
    const QString index = store.folder("Mill", "O0002") + "/index.tsv";
    QVERIFY(QDir().mkpath(store.folder("Mill", "O0002")));
    QVERIFY(writeAll(index, QByteArray(5 * 1024 * 1024, '#')));
    QVERIFY(!store.keep("Mill", "O0002", Operation::Delete, "O2", QDateTime::currentDateTime(), &why));
    QCOMPARE(QFileInfo(index).size(), 5 * 1024 * 1024);
}

void TestArchive::manifestRoundTrip()
{
    const QList<Manifest::Row> rows{{"O0001", 3, ArchiveIndex::sha256("abc"), Manifest::Outcome::Saved},
                                    {"(directory)", 0, QByteArray(), Manifest::Outcome::Failed},
                                    {"PLC.PAR", 0, QByteArray(), Manifest::Outcome::Absent}};
    QByteArray text = Manifest::format(rows);
    QVERIFY(text.startsWith("name\tsize\tsha256\tresult\n"));
    QCOMPARE(Manifest::parse(text), rows);
    text += "O0002\t3\tnot-a-hash\tsaved\nO0003\t3\t\tlost\nO0004\t-1\t\tfailed\n\t0\t\tfailed\n";
    QCOMPARE(Manifest::parse(text), rows);

    for (const char *name : {"O0001", "SYS.PAR", "USRMACRO.TXT"})
        QVERIFY2(Manifest::isItemName(name), name);
    for (const char *name : {"manifest.tsv", "../O0001", ".hidden", "a/b", "", "(directory)", "a-b_c.1",
                             "Thumbs.db", "O00012", "O12345"})
        QVERIFY2(!Manifest::isItemName(name), name);
}

void TestArchive::compare_data()
{
    QTest::addColumn<QStringList>("left");
    QTest::addColumn<QStringList>("right");
    QTest::addColumn<bool>("ignore");
    QTest::addColumn<QStringList>("lines");

    const QStringList older{"O0001", "N10 G01 X10", "N20 G01 Y5 (N20 FINISH)", "M30"};
    const QStringList renumbered{"O0001", "N100G01X10", "N200 G01  Y5 (N20 FINISH)", "M30"};
    QTest::newRow("same") << older << older << false
                          << QStringList{"=O0001", "=N10 G01 X10", "=N20 G01 Y5 (N20 FINISH)", "=M30"};
    QTest::newRow("renumbered, compared as is")
        << older << renumbered << false << QStringList{"=O0001",
                                                       "-N10 G01 X10",
                                                       "-N20 G01 Y5 (N20 FINISH)",
                                                       "+N100G01X10",
                                                       "+N200 G01  Y5 (N20 FINISH)",
                                                       "=M30"};
    QTest::newRow("renumbered, numbers and spacing ignored")
        << older << renumbered << true
        << QStringList{"=O0001", "=N10 G01 X10", "=N20 G01 Y5 (N20 FINISH)", "=M30"};
    QTest::newRow("a comment's N words still count")
        << older << QStringList{"O0001", "N10 G01 X10", "N20 G01 Y5 (N30 FINISH)", "M30"} << true
        << QStringList{"=O0001", "=N10 G01 X10", "-N20 G01 Y5 (N20 FINISH)", "+N20 G01 Y5 (N30 FINISH)",
                       "=M30"};
    QTest::newRow("a value is no sequence number")
        << QStringList{"GOTON10", "#N1=5", "G01 X10"} << QStringList{"GOTON20", "#N1=6", "G01X10"} << true
        << QStringList{"-GOTON10", "-#N1=5", "+GOTON20", "+#N1=6", "=G01 X10"};
    QTest::newRow("added at the end, from nothing")
        << QStringList() << QStringList{"O1", "M30"} << false << QStringList{"+O1", "+M30"};
}

void TestArchive::compare()
{
    QFETCH(QStringList, left);
    QFETCH(QStringList, right);
    QFETCH(bool, ignore);
    QFETCH(QStringList, lines);
    QCOMPARE(unified(left, right, ignore), lines);
}

void TestArchive::sideBySidePairsChanges()
{
    QCOMPARE(TextDiff::lines("a\r\nb\n\nc\n"), (QStringList{"a", "b", "", "c"}));
    const QStringList left = TextDiff::lines("O1\nX1\nY1\nZ1\nM30");
    const QStringList right = TextDiff::lines("O1\nX2\nM30\nM99\n");
    const QVector<TextDiff::Line> lines = TextDiff::compare(left, right, false);
    QCOMPARE(TextDiff::changeCount(lines), 4); // X1 changed to X2, Y1 and Z1 removed, M99 added
    QVector<QPair<int, int>> rows;
    QVector<int> kinds;
    for (const TextDiff::Row &row : TextDiff::sideBySide(lines)) {
        rows.append({row.left, row.right});
        kinds.append(row.kind);
    }
    QCOMPARE(rows, (QVector<QPair<int, int>>{{0, 0}, {1, 1}, {2, -1}, {3, -1}, {4, 2}, {-1, 3}}));
    QCOMPARE(kinds, (QVector<int>{TextDiff::Row::Same, TextDiff::Row::Changed, TextDiff::Row::Removed,
                                  TextDiff::Row::Removed, TextDiff::Row::Same, TextDiff::Row::Added}));
}

// The folder's files against its manifest, then against the controller.
void TestArchive::backupFolderAgainstController()
{
    QTemporaryDir dir;
    const QList<QPair<QString, QByteArray>> files{{"O0001", "O1\n"},
                                                  {"USRIO.TXT", "\xd6\xd0\r\n"},
                                                  {"O0002", "O2\n"},
                                                  {"ZOFS.PAR", "Z"},
                                                  {"O0003", "O3"}};
    QList<Manifest::Row> rows;
    for (const auto &file : files) {
        QVERIFY(writeAll(dir.filePath(file.first), file.second));
        rows.append(
            {file.first, file.second.size(), ArchiveIndex::sha256(file.second), Manifest::Outcome::Saved});
    }
    rows.append({"TOFS.PAR", 1, ArchiveIndex::sha256("T"), Manifest::Outcome::Saved}); // its file is gone
    QVERIFY(writeAll(dir.filePath("manifest.tsv"), Manifest::format(rows)));
    QVERIFY(writeAll(dir.filePath("O0003"), "O3 changed after the backup"));
    QVERIFY(writeAll(dir.filePath("notes.txt~"), "not an item"));
    QVERIFY(QDir(dir.path()).mkdir("O0004"));

    QString why;
    const QList<BackupItem> items = readBackupFolder(dir.path(), &why);
    QVERIFY(why.isEmpty());
    QStringList names, problems;
    for (const BackupItem &item : items) {
        names << item.name;
        problems << (item.problem.isEmpty() ? "" : "!");
    }
    QCOMPARE(names, (QStringList{"O0001", "O0002", "O0003", "TOFS.PAR", "USRIO.TXT", "ZOFS.PAR"}));
    QCOMPARE(problems, (QStringList{"", "", "!", "!", "", ""}));

    const QHash<QString, QByteArray> controller{{"O0001", ArchiveIndex::sha256("O1\n")},
                                                {"O0002", ArchiveIndex::sha256("O2 edited\n")},
                                                {"O0009", ArchiveIndex::sha256("O9\n")},
                                                {"USRIO.TXT", ArchiveIndex::sha256("\xd6\xd0\r\n")}};
    QStringList statuses;
    for (const RestoreItem &item : compareWithController(items, controller))
        statuses << item.name + "=" + QString::number(item.status);
    QCOMPARE(statuses, (QStringList{"O0001=0", "O0002=1", "O0003=4", "TOFS.PAR=4", "USRIO.TXT=0",
                                    "ZOFS.PAR=2", "O0009=3"}));

    readBackupFolder(dir.filePath("missing"), &why);
    QVERIFY(why.contains("missing"));
}

QTEST_GUILESS_MAIN(TestArchive)
#include "tst_archive.moc"
