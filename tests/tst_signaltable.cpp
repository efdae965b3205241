#include "views/signaltable.h"

#include <QFile>
#include <QtTest>

// Built-in tables come from the program's resource bundle.
static void initResources()
{
    Q_INIT_RESOURCE(resources);
}

class TestSignalTable : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { initResources(); }
    void parse_data();
    void parse();
    void boundedToMaxEntries();
    void builtInTables_data();
    void builtInTables();
    void modelSuffix_data();
    void modelSuffix();
};

void TestSignalTable::parse_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<QStringList>("pins");

    QTest::newRow("bom and crlf") << QByteArray("\xEF\xBB\xBFXPC XS32-3\r\nYPC XS33-3\r\n")
                                  << QStringList{"XPC", "YPC"} << QStringList{"XS32-3", "XS33-3"};
    QTest::newRow("no bom") << QByteArray("X01 XS37-14\r\n") << QStringList{"X01"} << QStringList{"XS37-14"};
    QTest::newRow("bom only at start is dropped")
        << QByteArray("\xEF\xBB\xBF\xEF\xBB\xBFX 1\r\n") << QStringList{QString::fromUtf8("\xEF\xBB\xBFX")}
        << QStringList{"1"};
    QTest::newRow("two spaces leave an empty pin")
        << QByteArray("S-Y01  XS42-8\r\nS-Y02 XS42-7\r\n") << QStringList{"S-Y01", "S-Y02"}
        << QStringList{"", "XS42-7"};
    QTest::newRow("line without space") << QByteArray("LONE\r\n") << QStringList{"LONE"} << QStringList{""};
    QTest::newRow("last line without break")
        << QByteArray("A 1\r\nB 2") << QStringList{"A", "B"} << QStringList{"1", "2"};
    QTest::newRow("lf only") << QByteArray("A 1\nB 2\n") << QStringList{"A", "B"} << QStringList{"1", "2"};
    QTest::newRow("surrounding white space trimmed")
        << QByteArray(" \tA 1 \t\r\n") << QStringList{"A"} << QStringList{"1"};
    QTest::newRow("decoded up to first nul")
        << QByteArray("AB\0CD EF\r\nG H\r\n", 14) << QStringList{"AB", "G"} << QStringList{"", "H"};
    // An empty line still takes its bit position, so later names stay on their bits.
    QTest::newRow("empty line keeps its position")
        << QByteArray("A 1\r\n\r\nC 3\r\n") << QStringList{"A", "", "C"} << QStringList{"1", "", "3"};
    QTest::newRow("utf-8 names") << QByteArray("\xE6\x80\xA5\xE5\x81\x9C XS1-1\r\n")
                                 << QStringList{QString::fromUtf8("急停")} << QStringList{"XS1-1"};
    QTest::newRow("empty") << QByteArray() << QStringList{} << QStringList{};
    QTest::newRow("bom only") << QByteArray("\xEF\xBB\xBF") << QStringList{} << QStringList{};
}

void TestSignalTable::parse()
{
    QFETCH(QByteArray, content);
    QFETCH(QStringList, names);
    QFETCH(QStringList, pins);

    const QVector<SignalTable::Entry> entries = SignalTable::parse(content);
    QStringList gotNames, gotPins;
    for (const SignalTable::Entry &entry : entries) {
        gotNames << entry.name;
        gotPins << entry.pin;
    }
    QCOMPARE(gotNames, names);
    QCOMPARE(gotPins, pins);
}

void TestSignalTable::boundedToMaxEntries()
{
    QByteArray content("\xEF\xBB\xBF");
    for (int i = 0; i < 100; ++i)
        content += "S" + QByteArray::number(i) + " XS1-" + QByteArray::number(i) + "\r\n";
    const QVector<SignalTable::Entry> entries = SignalTable::parse(content);
    QCOMPARE(entries.size(), 64);
    QCOMPARE(entries.last().name, QString("S63"));
}

void TestSignalTable::builtInTables_data()
{
    QTest::addColumn<QString>("resource");
    QTest::addColumn<int>("count");
    QTest::addColumn<QString>("first");
    QTest::addColumn<QString>("last");

    QTest::newRow("input_P7") << ":/define/input_P7" << 36 << "X01"
                              << "X36";
    QTest::newRow("output_P7") << ":/define/output_P7" << 14 << "Y01"
                               << "M18";
    QTest::newRow("input_P5") << ":/define/input_P5" << 48 << "XPC"
                              << "S-X48";
    QTest::newRow("output_P5") << ":/define/output_P5" << 32 << "S-Y01"
                               << "S-M32";
    QTest::newRow("input_P5X") << ":/define/input_P5X" << 64 << "S-X01"
                               << "S-X64";
    QTest::newRow("output_P5X") << ":/define/output_P5X" << 40 << "S-Y01"
                                << "S-Y46";
}

void TestSignalTable::builtInTables()
{
    QFETCH(QString, resource);
    QFETCH(int, count);
    QFETCH(QString, first);
    QFETCH(QString, last);

    QFile file(resource);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QVector<SignalTable::Entry> entries = SignalTable::parse(file.readAll());
    QCOMPARE(entries.size(), count);
    QCOMPARE(entries.first().name, first);
    QCOMPARE(entries.last().name, last);
    for (const SignalTable::Entry &entry : entries) {
        QVERIFY(!entry.name.isEmpty());
        QVERIFY(!entry.name.contains(QChar(0xFEFF)));
    }
}

void TestSignalTable::modelSuffix_data()
{
    QTest::addColumn<int>("model");
    QTest::addColumn<QString>("suffix");
    QTest::newRow("0") << 0 << "P7";
    QTest::newRow("1") << 1 << "P5";
    QTest::newRow("2") << 2 << "P5X";
    QTest::newRow("3") << 3 << "P5X";
    QTest::newRow("255") << 255 << "P5X";
    QTest::newRow("-1") << -1 << "P5X";
}

void TestSignalTable::modelSuffix()
{
    QFETCH(int, model);
    QFETCH(QString, suffix);
    QCOMPARE(SignalTable::modelSuffix(model), suffix);
}

QTEST_GUILESS_MAIN(TestSignalTable)
#include "tst_signaltable.moc"
