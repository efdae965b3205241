#include "config/textcodec.h"

#include <QTextCodec>
#include <QtTest>

class TestTextCodec : public QObject
{
    Q_OBJECT

private slots:
    void validUtf8_data();
    void validUtf8();
    void decodeLocalFile_data();
    void decodeLocalFile();
    void decodeControllerText_data();
    void decodeControllerText();
    void encode_data();
    void encode();
};

void TestTextCodec::validUtf8_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("valid");

    QTest::newRow("empty") << QByteArray() << true;
    QTest::newRow("ascii with NUL") << QByteArray("G01 X1\0\r\n", 9) << true;
    QTest::newRow("chinese") << QByteArray("\xE4\xB8\xAD\xE6\x96\x87") << true;
    QTest::newRow("four-byte") << QByteArray("\xF0\x9F\x98\x80") << true;
    QTest::newRow("highest code point") << QByteArray("\xF4\x8F\xBF\xBF") << true;
    QTest::newRow("above U+10FFFF") << QByteArray("\xF4\x90\x80\x80") << false;
    QTest::newRow("overlong two-byte") << QByteArray("\xC0\x80") << false;
    QTest::newRow("overlong four-byte") << QByteArray("\xF0\x8F\xBF\xBF") << false;
    QTest::newRow("surrogate") << QByteArray("\xED\xA0\x80") << false;
    QTest::newRow("stray continuation") << QByteArray("a\x80z") << false;
    QTest::newRow("truncated at end") << QByteArray("ab\xE4\xB8") << false;
    QTest::newRow("third byte not continuation") << QByteArray("\xE4\xB8\x41") << false;
    QTest::newRow("gbk chinese") << QByteArray("\xD6\xD0\xCE\xC4") << false;
}

void TestTextCodec::validUtf8()
{
    QFETCH(QByteArray, bytes);
    QFETCH(bool, valid);
    QCOMPARE(TextCodec::isValidUtf8(bytes), valid);
}

void TestTextCodec::decodeLocalFile_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("text");

    QTest::newRow("empty") << QByteArray() << QString();
    QTest::newRow("ascii program") << QByteArray("O0001\r\nG00 X0 Y0\r\nM30\r\n")
                                   << QStringLiteral("O0001\r\nG00 X0 Y0\r\nM30\r\n");
    // UTF-8 Chinese also decodes as GBK without a complaint; it must still be read as UTF-8.
    QTest::newRow("utf-8 chinese") << QByteArray("(\xE4\xB8\xAD\xE6\x96\x87)\nM30")
                                   << QStringLiteral("(中文)\nM30");
    QTest::newRow("utf-8 with byte-order mark")
        << QByteArray("\xEF\xBB\xBF\xE8\xBD\xA6\xE5\xBA\x8A") << QStringLiteral("车床");
    QTest::newRow("utf-8 with a mark after the byte-order mark")
        << QByteArray("\xEF\xBB\xBF\xEF\xBB\xBFM30") << (QString(QChar(0xFEFF)) + QStringLiteral("M30"));
    QTest::newRow("gbk chinese") << QByteArray("(\xB3\xB5\xB4\xB2\xB5\xB6\xBE\xDF)\r\nM30")
                                 << QStringLiteral("(车床刀具)\r\nM30");
    QTest::newRow("gbk cut inside a character")
        << QByteArray("\xD6\xD0\xCE") << QStringLiteral("中") + QChar(QChar::ReplacementCharacter);
    QTest::newRow("utf-8 with NUL") << QByteArray("A\0\xE4\xB8\xAD", 5)
                                    << QStringLiteral("A") + QChar() + QStringLiteral("中");
    // Neither valid UTF-8 nor mappable GBK (81 30 starts no GBK character):
    // the UTF-8 reading keeps the readable part.
    QTest::newRow("neither, mostly utf-8")
        << QByteArray("\xE4\xB8\xAD\xE6\x96\x87\x81\x30")
        << QStringLiteral("中文") + QChar(QChar::ReplacementCharacter) + QStringLiteral("0");
}

void TestTextCodec::decodeLocalFile()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, text);
    QCOMPARE(TextCodec::decodeLocalFile(bytes), text);
}

void TestTextCodec::decodeControllerText_data()
{
    QTest::addColumn<QByteArray>("locale");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("text");

    QTest::newRow("utf-8 desktop, utf-8 chinese")
        << QByteArray("UTF-8") << QByteArray("(\xE4\xB8\xAD\xE6\x96\x87)") << QStringLiteral("(中文)");
    QTest::newRow("utf-8 desktop, gbk chinese")
        << QByteArray("UTF-8") << QByteArray("; \xBC\xB1\xCD\xA3\xB0\xB4\xC5\xA5\r\n")
        << QStringLiteral("; 急停按钮\r\n");
    QTest::newRow("utf-8 desktop, gbk cut inside a character")
        << QByteArray("UTF-8") << QByteArray("\xD6\xD0\xCE")
        << QStringLiteral("中") + QChar(QChar::ReplacementCharacter);
    QTest::newRow("utf-8 desktop, neither")
        << QByteArray("UTF-8") << QByteArray("\xE4\xB8\xAD\xE6\x96\x87\x81\x30")
        << QStringLiteral("中文") + QChar(QChar::ReplacementCharacter) + QStringLiteral("0");
    QTest::newRow("gbk desktop, gbk chinese")
        << QByteArray("GBK") << QByteArray("\xD6\xD0\xCE\xC4") << QStringLiteral("中文");
}

void TestTextCodec::decodeControllerText()
{
    QFETCH(QByteArray, locale);
    QFETCH(QByteArray, bytes);
    QFETCH(QString, text);
    QTextCodec *saved = QTextCodec::codecForLocale();
    QTextCodec::setCodecForLocale(QTextCodec::codecForName(locale));
    const QString decoded = TextCodec::decodeControllerText(bytes);
    QTextCodec::setCodecForLocale(saved);
    QCOMPARE(decoded, text);
}

void TestTextCodec::encode_data()
{
    QTest::addColumn<QByteArray>("bytes"); // from a controller; null: a text typed from scratch
    QTest::addColumn<QString>("edited");   // null: as shown
    QTest::addColumn<QByteArray>("written");

    const QByteArray gbk("O0005\r\n(\xB3\xB5\xB4\xB2)\r\nM30\r\n");
    QTest::newRow("gbk, CR LF, unedited") << gbk << QString() << gbk;
    QTest::newRow("gbk, CR LF, a line changed")
        << gbk << QStringLiteral("O0005\n(车床刀具)\nM30\n")
        << QByteArray("O0005\r\n(\xB3\xB5\xB4\xB2\xB5\xB6\xBE\xDF)\r\nM30\r\n");
    QTest::newRow("gbk, CR LF, a line added")
        << gbk << QStringLiteral("O0005\n(车床)\nM30\n%\n") << gbk + QByteArray("%\r\n");
    QTest::newRow("mixed line ends, a line removed")
        << QByteArray("A\r\nB\nC\rD") << QStringLiteral("A\nC\nD") << QByteArray("A\r\nC\rD");
    QTest::newRow("mixed line ends, lines changed apart")
        << QByteArray("A\r\nB\nC\r\nD") << QStringLiteral("X\nB\nY\nD") << QByteArray("X\r\nB\nY\r\nD");
    QTest::newRow("no encoding reproduces a line, another edited")
        << QByteArray("(\x81\x30\xE4\xB8\xAD)\r\nM30\r\n") << QStringLiteral("(\uFFFD0中)\nM02\n")
        << QByteArray("(\x81\x30\xE4\xB8\xAD)\r\nM02\r\n");
    QTest::newRow("byte-order mark and what follows a zero byte")
        << QByteArray("\xEF\xBB\xBFG0\nM30\n\0\0pad", 15) << QStringLiteral("G1\nM30\n")
        << QByteArray("\xEF\xBB\xBFG1\nM30\n\0\0pad", 15);
    QTest::newRow("no-break space given back as a space") << QByteArray("(A\xC2\xA0"
                                                                        "B)\nM30")
                                                          << QStringLiteral("(A B)\nM31")
                                                          << QByteArray("(A\xC2\xA0"
                                                                        "B)\nM31");
    // The editor gives U+2028, U+2029, U+FDD0 and U+FDD1 back as line feeds.
    const QByteArray hidden("A\xE2\x80\xA8"
                            "B\xE2\x80\xA9"
                            "C\xEF\xB7\x90"
                            "D\xEF\xB7\x91"
                            "E\r\nM30\r\nM2");
    QTest::newRow("hidden line breaks, unedited")
        << hidden << QStringLiteral("A\nB\nC\nD\nE\nM30\nM2") << hidden;
    QTest::newRow("hidden line breaks, another line edited")
        << hidden << QStringLiteral("A\nB\nC\nD\nE\nM31\nM2") << QByteArray(hidden).replace("M30", "M31");
    QTest::newRow("typed from scratch")
        << QByteArray() << QStringLiteral("O0001\n(中)\n") << QByteArray("O0001\n(\xE4\xB8\xAD)\n");
}

// On this UTF-8 desktop: what was read goes back in its encoding and line
// ends, the lines left alone as the bytes that came.
void TestTextCodec::encode()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, edited);
    QFETCH(QByteArray, written);
    const TextCodec::DecodedText read =
        bytes.isNull() ? TextCodec::DecodedText() : TextCodec::decodeFromController(bytes);
    QVERIFY(!read.text.contains(QLatin1Char('\r')));
    QCOMPARE(TextCodec::encode(read, edited.isNull() ? read.text : edited), written);
}

QTEST_APPLESS_MAIN(TestTextCodec)
#include "tst_textcodec.moc"
