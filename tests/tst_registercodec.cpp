#include "link/registercodec.h"

#include <QtTest>

#include <limits>

using namespace RegisterCodec;

class TestRegisterCodec : public QObject
{
    Q_OBJECT

private slots:
    void pairs_data();
    void pairs();
    void axisPairs();
    void axisLabels_data();
    void axisLabels();
    void coordinates_data();
    void coordinates();
    void times_data();
    void times();
    void workModes_data();
    void workModes();
    void speeds_data();
    void speeds();
    void torques_data();
    void torques();
};

void TestRegisterCodec::pairs_data()
{
    QTest::addColumn<QVector<quint16>>("words");
    QTest::addColumn<int>("index");
    QTest::addColumn<quint32>("unsignedValue");
    QTest::addColumn<qint32>("signedValue");

    QTest::newRow("low word first") << QVector<quint16>{0x5678, 0x1234} << 0 << 0x12345678u << 0x12345678;
    QTest::newRow("negative") << QVector<quint16>{0xCFC7, 0xFFFF} << 0 << 0xFFFFCFC7u << -12345;
    QTest::newRow("high word missing") << QVector<quint16>{0, 7} << 1 << 7u << 7;
    QTest::newRow("both missing") << QVector<quint16>{1, 2} << 2 << 0u << 0;
    QTest::newRow("empty") << QVector<quint16>{} << 0 << 0u << 0;
    QTest::newRow("negative index") << QVector<quint16>{1, 2} << -1 << 0u << 0;
    QTest::newRow("largest index") << QVector<quint16>{1, 2} << std::numeric_limits<int>::max() << 0u << 0;
}

void TestRegisterCodec::pairs()
{
    QFETCH(QVector<quint16>, words);
    QFETCH(int, index);
    QFETCH(quint32, unsignedValue);
    QFETCH(qint32, signedValue);
    QCOMPARE(unsigned32(words, index), unsignedValue);
    QCOMPARE(signed32(words, index), signedValue);
}

void TestRegisterCodec::axisPairs()
{
    // A 70-register block: axis a at words 6 + 2a, 7 + 2a; words 4 and 5 unused.
    QVector<quint16> block(70, 0);
    block[4] = 0xAAAA;
    block[5] = 0xBBBB;
    block[6] = 0xFFFF; // axis 0 = -1
    block[7] = 0xFFFF;
    block[8] = 3; // axis 1 = 3
    block[68] = 0x0001;
    block[69] = 0x0002; // axis 31
    QCOMPARE(axisSigned(block, 0), -1);
    QCOMPARE(axisUnsigned(block, 1), 3u);
    QCOMPARE(axisUnsigned(block, 31), 0x00020001u);
    QCOMPARE(axisUnsigned(block, 32), 0u);
    QCOMPARE(axisWord(block, 1), quint16(3));
    QVERIFY(hasAxisWord(block, 31));
    QVERIFY(!hasAxisWord(block, 32));
    QVERIFY(!hasAxisWord(block, -1));
    QCOMPARE(axisSigned(block, -1), 0);
    QCOMPARE(axisSigned(block, std::numeric_limits<int>::max()), 0);

    // A short block: the pair of axis 1 is cut after its low word.
    const QVector<quint16> shortBlock{0, 0, 0, 0, 0, 0, 1, 0, 0x1234};
    QCOMPARE(axisUnsigned(shortBlock, 1), 0x1234u);
    QVERIFY(hasAxisWord(shortBlock, 1));
    QVERIFY(!hasAxisWord(shortBlock, 2));
}

void TestRegisterCodec::axisLabels_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("label");

    QTest::newRow("2") << 2 << "Y";
    QTest::newRow("103") << 103 << "X3";
    QTest::newRow("100") << 100 << "X0";
    QTest::newRow("166") << 166 << "XB";
    QTest::newRow("189") << 189 << "XY";
    QTest::newRow("165 no suffix") << 165 << "X";
    QTest::newRow("190 no suffix") << 190 << "X";
    QTest::newRow("150") << 150 << "X";
    QTest::newRow("410") << 410 << "A";
    QTest::newRow("0") << 0 << "";
    QTest::newRow("99") << 99 << "";
    QTest::newRow("1000") << 1000 << "";
    QTest::newRow("65535") << 65535 << "";
}

void TestRegisterCodec::axisLabels()
{
    QFETCH(int, code);
    QFETCH(QString, label);
    QCOMPARE(axisLabel(quint16(code)), label);
}

void TestRegisterCodec::coordinates_data()
{
    QTest::addColumn<qint32>("value");
    QTest::addColumn<int>("decimals");
    QTest::addColumn<QString>("text");

    QTest::newRow("-12345 d3") << -12345 << 3 << "-12.345";
    QTest::newRow("-12345 d0") << -12345 << 0 << "-12345";
    QTest::newRow("zero d3") << 0 << 3 << "0.000";
    QTest::newRow("d4") << 1234567 << 4 << "123.4567";
    // Single precision: 16777217 is not a float, it rounds to 16777216.
    QTest::newRow("float rounding") << 16777217 << 0 << "16777216";
    QTest::newRow("int min") << std::numeric_limits<qint32>::min() << 0 << "-2147483648";
    QTest::newRow("negative decimals clamp to 0") << 42 << -3 << "42";
    QTest::newRow("huge decimals clamp") << 1 << 65535 << QString::number(1e-9, 'f', 9);
}

void TestRegisterCodec::coordinates()
{
    QFETCH(qint32, value);
    QFETCH(int, decimals);
    QFETCH(QString, text);
    QCOMPARE(coordinateText(value, decimals), text);
}

void TestRegisterCodec::times_data()
{
    QTest::addColumn<quint32>("tenths");
    QTest::addColumn<QString>("cycle");
    QTest::addColumn<QString>("run");

    QTest::newRow("605") << 605u << "01:00.500"
                         << "00:01:00";
    QTest::newRow("600") << 600u << "01:00.0"
                         << "00:01:00";
    QTest::newRow("601") << 601u << "01:00.100"
                         << "00:01:00";
    QTest::newRow("0") << 0u << "00:00.0"
                       << "00:00:00";
    QTest::newRow("36005") << 36005u << "00:00.500"
                           << "01:00:00";
    QTest::newRow("59 min 59.9 s") << 35999u << "59:59.900"
                                   << "00:59:59";
    QTest::newRow("wraps at a day") << 864005u << "00:00.500"
                                    << "00:00:00";
    // The largest count must wrap, not overflow a millisecond int.
    QTest::newRow("largest") << 0xFFFFFFFFu << "38:49.500"
                             << "00:38:49";
}

void TestRegisterCodec::times()
{
    QFETCH(quint32, tenths);
    QFETCH(QString, cycle);
    QFETCH(QString, run);
    QCOMPARE(cycleTimeText(tenths), cycle);
    QCOMPARE(runTimeText(tenths), run);
}

void TestRegisterCodec::workModes_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<QString>("text");
    QTest::newRow("0") << 0 << QStringLiteral("回零");
    QTest::newRow("3") << 3 << QStringLiteral("未知");
    QTest::newRow("16") << 16 << QStringLiteral("未知");
    QTest::newRow("32") << 32 << QStringLiteral("自动");
    QTest::newRow("64") << 64 << QStringLiteral("编辑");
    QTest::newRow("255") << 255 << QStringLiteral("未知");
}

void TestRegisterCodec::workModes()
{
    QFETCH(int, mode);
    QFETCH(QString, text);
    QCOMPARE(workModeText(quint8(mode)), text);
}

void TestRegisterCodec::speeds_data()
{
    QTest::addColumn<quint32>("parameter");
    QTest::addColumn<quint32>("scale");
    QTest::addColumn<qint32>("raw");
    QTest::addColumn<int>("speed");

    // 60000 x 10000 / 60000000 = 10.
    QTest::newRow("divisor 10") << 60000u << 10000u << 12345 << 1234;
    QTest::newRow("negative raw") << 60000u << 10000u << -12345 << 1234;
    QTest::newRow("parameter 0") << 0u << 10000u << 5000 << 0;
    QTest::newRow("scale 0") << 60000u << 0u << -5000 << 0;
    // The product needs 64 bits: 4294967295 x 4294967295 overflows 32.
    QTest::newRow("64-bit product") << 0xFFFFFFFFu << 0xFFFFFFFFu << 2147483647 << 0;
    // A divisor so small the quotient leaves the int range: clamped, not UB.
    QTest::newRow("tiny divisor") << 1u << 1u << std::numeric_limits<qint32>::min()
                                  << std::numeric_limits<int>::max();
}

void TestRegisterCodec::speeds()
{
    QFETCH(quint32, parameter);
    QFETCH(quint32, scale);
    QFETCH(qint32, raw);
    QFETCH(int, speed);
    QCOMPARE(speedValue(raw, speedDivisor(parameter, scale)), speed);
}

void TestRegisterCodec::torques_data()
{
    QTest::addColumn<qint32>("raw");
    QTest::addColumn<int>("torque");
    QTest::newRow("positive") << 1239 << 123;
    QTest::newRow("negative truncates towards zero") << -1239 << 123;
    QTest::newRow("under one") << 9 << 0;
    QTest::newRow("int min") << std::numeric_limits<qint32>::min() << 214748364;
}

void TestRegisterCodec::torques()
{
    QFETCH(qint32, raw);
    QFETCH(int, torque);
    QCOMPARE(torqueValue(raw), torque);
}

QTEST_APPLESS_MAIN(TestRegisterCodec)
#include "tst_registercodec.moc"
