#include "config/filenames.h"

#include <QtTest>

class TestFileNames : public QObject
{
    Q_OBJECT

private slots:
    void programNames_data();
    void programNames();
    void clipboardPath_data();
    void clipboardPath();
};

void TestFileNames::programNames_data()
{
    // How a name reads as a controller's (or a backup's) and as a file offered
    // for upload; -1: not a program.
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("strict");
    QTest::addColumn<qint64>("offered");

    QTest::newRow("four digits") << "O0012" << 12 << qint64(12);
    QTest::newRow("zero") << "O0000" << 0 << qint64(0);
    QTest::newRow("largest") << "O9999" << 9999 << qint64(9999);
    QTest::newRow("five digits") << "O65535" << -1 << qint64(65535);
    QTest::newRow("short") << "O12" << -1 << qint64(12);
    QTest::newRow("bare number") << "12" << -1 << qint64(12);
    QTest::newRow("signed") << "+12" << -1 << qint64(12);
    QTest::newRow("O and sign") << "O+012" << -1 << qint64(12);
    QTest::newRow("beyond 32 bits, never wrapped") << "O4294967296" << -1 << qint64(-1);
    for (const char *name : {"/0012", ".0012", "O12.txt", "O12dst", "o0012", "OO12", "O-1", "O", ""})
        QTest::newRow(name) << name << -1 << qint64(-1);
}

void TestFileNames::programNames()
{
    QFETCH(QString, name);
    QFETCH(int, strict);
    QFETCH(qint64, offered);

    QCOMPARE(FileNames::programNumber(name), strict);
    if (strict >= 0)
        QCOMPARE(FileNames::programName(quint32(strict)), name);
    uint number = 0;
    QCOMPARE(FileNames::offeredProgramNumber(name, &number), offered >= 0);
    if (offered >= 0)
        QCOMPARE(qint64(number), offered);
}

void TestFileNames::clipboardPath_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("path");

    const char *const rows[][3] = {
        {"quoted drive URL", "\"file:///D:/prg/O0003.txt\"", "D:/prg/O0003.txt"},
        {"local URL", "file:///home/op/O0003.txt", "/home/op/O0003.txt"},
        {"escaped URL", "file:///home/op/my%20prg/O0003.txt", "/home/op/my prg/O0003.txt"},
        {"URL with line break", "file:///home/op/O0003.txt\n", "/home/op/O0003.txt"},
        {"quoted plain path", "\"/home/op/O 3.txt\"", "/home/op/O 3.txt"},
        {"empty", "", ""},
    };
    for (const auto &row : rows)
        QTest::newRow(row[0]) << QString::fromUtf8(row[1]) << QString::fromUtf8(row[2]);
}

void TestFileNames::clipboardPath()
{
    QFETCH(QString, text);
    QFETCH(QString, path);
    QCOMPARE(FileNames::pathFromClipboard(text), path);
}

QTEST_APPLESS_MAIN(TestFileNames)
#include "tst_filenames.moc"
