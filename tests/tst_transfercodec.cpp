#include "link/transfercodec.h"

#include <QtTest>

using Words = QVector<quint16>;
Q_DECLARE_METATYPE(TransferCodec::ChunkResult)

class TstTransferCodec : public QObject
{
    Q_OBJECT

private slots:
    void packing_data();
    void packing();
    void unpackNeverReadsPastWords();
    void names_data();
    void names();
    void openCommands_data();
    void openCommands();
    void progress_data();
    void progress();
    void windowLimit_data();
    void windowLimit();
    void readChunk_data();
    void readChunk();
    void textStopsAtZero();
    void directoryEntry_data();
    void directoryEntry();
};

void TstTransferCodec::packing_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<Words>("words");
    QTest::newRow("empty") << QByteArray() << Words{};
    QTest::newRow("one byte, low half") << QByteArray("A") << Words{0x0041};
    QTest::newRow("two bytes") << QByteArray("AB") << Words{0x4241};
    QTest::newRow("odd tail") << QByteArray("ABC") << Words{0x4241, 0x0043};
    QTest::newRow("high bytes stay unsigned") << QByteArray("\xff\x80\x01", 3) << Words{0x80FF, 0x0001};
    QTest::newRow("zero bytes kept") << QByteArray("\0\0\0", 3) << Words{0, 0};
}

void TstTransferCodec::packing()
{
    QFETCH(QByteArray, bytes);
    QFETCH(Words, words);
    QCOMPARE(TransferCodec::packBytes(bytes), words);
    QCOMPARE(TransferCodec::unpackBytes(words, bytes.size()), bytes);
}

void TstTransferCodec::unpackNeverReadsPastWords()
{
    QCOMPARE(TransferCodec::unpackBytes({0x4241}, 200), QByteArray("AB"));
    QCOMPARE(TransferCodec::unpackBytes({0x4241}, -5), QByteArray());
    QCOMPARE(TransferCodec::unpackBytes({}, 3), QByteArray());
}

void TstTransferCodec::names_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<Words>("head");
    QTest::addColumn<int>("registers");
    QTest::newRow("SYS.PAR") << QStringLiteral("SYS.PAR") << Words{0x5953, 0x2E53, 0x4150, 0x0052} << 32;
    QTest::newRow("empty") << QString() << Words{0} << 32;
    QTest::newRow("64 bytes fill 32") << QString(64, QLatin1Char('a')) << Words{0x6161} << 32;
    QTest::newRow("65 bytes keep all") << QString(65, QLatin1Char('a')) << Words{0x6161} << 33;
    // Local 8-bit is UTF-8 under the test locale: 中 = E4 B8 AD.
    QTest::newRow("chinese") << QStringLiteral("中.TXT") << Words{0xB8E4, 0x2EAD, 0x5854, 0x0054} << 32;
}

void TstTransferCodec::names()
{
    QFETCH(QString, name);
    QFETCH(Words, head);
    QFETCH(int, registers);
    const Words encoded = TransferCodec::encodeName(name);
    QCOMPARE(encoded.size(), registers);
    QCOMPARE(encoded.mid(0, head.size()), head);
    const QByteArray bytes = name.toLocal8Bit();
    for (int i = (bytes.size() + 1) / 2; i < encoded.size(); ++i)
        QCOMPARE(encoded.at(i), quint16(0));
}

void TstTransferCodec::openCommands_data()
{
    QTest::addColumn<Words>("command");
    QTest::addColumn<int>("size"); // 0: refused
    QTest::addColumn<Words>("head");
    QTest::newRow("program 12 is register 12")
        << TransferCodec::openProgramCommand(1, 12) << 5 << Words{20, 0, 0, 1, 12};
    QTest::newRow("write program 9999")
        << TransferCodec::openProgramCommand(0x1001, 9999) << 5 << Words{20, 0, 0, 0x1001, 9999};
    QTest::newRow("largest register number")
        << TransferCodec::openProgramCommand(1, 65535) << 5 << Words{20, 0, 0, 1, 65535};
    QTest::newRow("negative number") << TransferCodec::openProgramCommand(1, -1) << 0 << Words{};
    QTest::newRow("number would wrap") << TransferCodec::openProgramCommand(1, 65536 + 12) << 0 << Words{};
    QTest::newRow("file SYS.PAR") << TransferCodec::openFileCommand(2, QStringLiteral("SYS.PAR")) << 36
                                  << Words{20, 0, 0, 2, 0x5953};
    QTest::newRow("name filling one write")
        << TransferCodec::openFileCommand(0x1003, QString(238, QLatin1Char('a'))) << 123
        << Words{20, 0, 0, 0x1003, 0x6161};
    QTest::newRow("name one byte too long")
        << TransferCodec::openFileCommand(0x1003, QString(239, QLatin1Char('a'))) << 0 << Words{};
    QTest::newRow("300 characters") << TransferCodec::openFileCommand(2, QString(300, QLatin1Char('x'))) << 0
                                    << Words{};
}

void TstTransferCodec::openCommands()
{
    QFETCH(Words, command);
    QFETCH(int, size);
    QFETCH(Words, head);
    QCOMPARE(command.size(), size);
    QCOMPARE(command.mid(0, head.size()), head);
}

void TstTransferCodec::progress_data()
{
    QTest::addColumn<qint64>("end");
    QTest::addColumn<qint64>("length");
    QTest::addColumn<int>("percent");
    QTest::newRow("half") << qint64(200) << qint64(400) << 50;
    QTest::newRow("all") << qint64(400) << qint64(400) << 100;
    QTest::newRow("empty text") << qint64(0) << qint64(0) << 100;
    QTest::newRow("rounds down") << qint64(200) << qint64(201) << 99;
    QTest::newRow("no int overflow") << qint64(30000000) << qint64(40000000) << 75;
}

void TstTransferCodec::progress()
{
    QFETCH(qint64, end);
    QFETCH(qint64, length);
    QFETCH(int, percent);
    QCOMPARE(TransferCodec::chunkProgress(end, length), percent);
}

// The last chunk of a text needs a number too: 65,534 full chunks and one of
// 199 bytes are the most that 65,535 chunk numbers carry.
void TstTransferCodec::windowLimit_data()
{
    QTest::addColumn<qint64>("length");
    QTest::addColumn<bool>("fits");
    QTest::addColumn<int>("chunks");
    QTest::newRow("empty") << qint64(0) << true << 1;
    QTest::newRow("the limit") << qint64(13106999) << true << 65535;
    QTest::newRow("one byte more") << qint64(13107000) << false << 65536;
    QTest::newRow("negative") << qint64(-1) << false << 1;
}

void TstTransferCodec::windowLimit()
{
    QFETCH(qint64, length);
    QFETCH(bool, fits);
    QFETCH(int, chunks);
    QCOMPARE(TransferCodec::fitsWindow(length), fits);
    QCOMPARE(TransferCodec::chunkCount(length), chunks);
}

void TstTransferCodec::readChunk_data()
{
    QTest::addColumn<Words>("words");
    QTest::addColumn<TransferCodec::ChunkResult>("result");
    QTest::addColumn<QByteArray>("bytes");
    Words full(101, 0x4141);
    full[0] = 200;
    Words over(101, 0x4141);
    over[0] = 201;
    QTest::newRow("no values ends") << Words{} << TransferCodec::ChunkResult::End << QByteArray();
    QTest::newRow("count 0 ends") << Words{0, 0x4141} << TransferCodec::ChunkResult::End << QByteArray();
    QTest::newRow("odd count") << Words{3, 0x4241, 0x4443} << TransferCodec::ChunkResult::Data
                               << QByteArray("ABC");
    QTest::newRow("full chunk") << full << TransferCodec::ChunkResult::Data << QByteArray(200, 'A');
    QTest::newRow("count above 200") << over << TransferCodec::ChunkResult::Invalid << QByteArray();
    QTest::newRow("count above what arrived")
        << Words{5, 0x4241, 0x4443} << TransferCodec::ChunkResult::Invalid << QByteArray();
    QTest::newRow("count alone") << Words{1} << TransferCodec::ChunkResult::Invalid << QByteArray();
}

void TstTransferCodec::readChunk()
{
    QFETCH(Words, words);
    QFETCH(TransferCodec::ChunkResult, result);
    QFETCH(QByteArray, bytes);
    QByteArray received("x");
    QCOMPARE(TransferCodec::appendChunk(words, &received), result);
    QCOMPARE(received, QByteArray("x") + bytes);
}

void TstTransferCodec::textStopsAtZero()
{
    QCOMPARE(TransferCodec::decodeText(QByteArray("O0001\0junk", 10)), QStringLiteral("O0001"));
    QCOMPARE(TransferCodec::decodeText(QByteArray()), QString());
    QCOMPARE(TransferCodec::decodeText(QStringLiteral("G01 X1 (进给)").toLocal8Bit()),
             QStringLiteral("G01 X1 (进给)"));
}

void TstTransferCodec::directoryEntry_data()
{
    QTest::addColumn<Words>("words");
    QTest::addColumn<bool>("end");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("date");
    QTest::addColumn<QString>("size");
    Words entry(38, 0);
    entry[0] = 1;
    entry[1] = 1534;
    entry[3] = 0x56B1;
    entry[4] = 0xFFFF; // high half of the date value: ignored
    entry[5] = 0x304F;
    entry[6] = 0x3030;
    entry[7] = 0x0031;
    QTest::newRow("O0001") << entry << false << QStringLiteral("O0001") << QStringLiteral("2023/05/17")
                           << QStringLiteral("1534B");
    QTest::newRow("32-bit size, low word first")
        << Words{1, 0x0002, 0x0001, 0x0021, 0, 0x304F, 0x3231, 0x33} << false << QStringLiteral("O0123")
        << QStringLiteral("1980/01/01") << QStringLiteral("65538B");
    QTest::newRow("largest size and date")
        << Words{1, 0xFFFF, 0xFFFF, 0xFFFF} << false << QString(5, QChar(0)) << QStringLiteral("2107/15/31")
        << QStringLiteral("4294967295B");
    QTest::newRow("short reply reads zeros")
        << Words{7} << false << QString(5, QChar(0)) << QStringLiteral("1980/00/00") << QStringLiteral("0B");
    QTest::newRow("high name bytes") << Words{1, 0, 0, 0, 0, 0xE94F, 0xFF00, 0x41} << false
                                     << QString::fromLatin1("O\xe9\0\xff"
                                                            "A",
                                                            5)
                                     << QStringLiteral("1980/00/00") << QStringLiteral("0B");
    QTest::newRow("word 0 = 0 ends") << Words{0, 1534} << true << QString() << QString() << QString();
    QTest::newRow("no values ends") << Words{} << true << QString() << QString() << QString();
}

void TstTransferCodec::directoryEntry()
{
    QFETCH(Words, words);
    QFETCH(bool, end);
    QCOMPARE(TransferCodec::isDirectoryEnd(words), end);
    if (end)
        return;
    const ProgramEntry entry = TransferCodec::decodeDirectoryEntry(words);
    QTEST(entry.name, "name");
    QTEST(entry.date, "date");
    QTEST(entry.size, "size");
}

QTEST_GUILESS_MAIN(TstTransferCodec)
#include "tst_transfercodec.moc"
