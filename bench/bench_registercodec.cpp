// Cost of decoding one position read: seven blocks, 32 axes each at most.
#include "link/registercodec.h"

#include <QtTest>

class BenchRegisterCodec : public QObject
{
    Q_OBJECT

private slots:
    void decodeAxisBlock();
    void timeTexts();
};

void BenchRegisterCodec::decodeAxisBlock()
{
    QVector<quint16> block(70);
    for (int i = 0; i < block.size(); ++i)
        block[i] = quint16(i * 7919);
    QStringList texts;
    QBENCHMARK
    {
        texts.clear();
        for (int a = 0; a < 32; ++a)
            texts.append(RegisterCodec::coordinateText(RegisterCodec::axisSigned(block, a), 3));
    }
    QCOMPARE(texts.size(), 32);
}

void BenchRegisterCodec::timeTexts()
{
    quint32 tenths = 0;
    QString text;
    QBENCHMARK
    {
        ++tenths;
        text = RegisterCodec::cycleTimeText(tenths) + RegisterCodec::runTimeText(tenths);
    }
    QVERIFY(!text.isEmpty());
}

QTEST_APPLESS_MAIN(BenchRegisterCodec)
#include "bench_registercodec.moc"
