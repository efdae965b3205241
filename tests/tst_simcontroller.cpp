// The simulated controller, driven with literal Modbus PDUs.
#include "sim/controller.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

using sim::Controller;
using Words = QVector<quint16>;

namespace {

QByteArray readPdu(int address, int count, quint8 function = 0x03)
{
    QByteArray pdu;
    pdu.append(char(function));
    pdu.append(char(address >> 8));
    pdu.append(char(address & 0xFF));
    pdu.append(char(count >> 8));
    pdu.append(char(count & 0xFF));
    return pdu;
}

QByteArray writePdu(int address, const Words &values)
{
    QByteArray pdu;
    pdu.append(char(0x10));
    pdu.append(char(address >> 8));
    pdu.append(char(address & 0xFF));
    pdu.append(char(values.size() >> 8));
    pdu.append(char(values.size() & 0xFF));
    pdu.append(char(values.size() * 2));
    for (quint16 v : values) {
        pdu.append(char(v >> 8));
        pdu.append(char(v & 0xFF));
    }
    return pdu;
}

// Register values of a read reply; an exception or malformed reply gives none.
Words replyWords(const QByteArray &reply)
{
    Words words;
    if (reply.size() < 2 || reply.at(0) != char(0x03) || quint8(reply.at(1)) != reply.size() - 2)
        return words;
    for (int i = 2; i + 1 < reply.size(); i += 2)
        words.append(quint16((quint8(reply.at(i)) << 8) | quint8(reply.at(i + 1))));
    return words;
}

QByteArray bytesOf(const Words &words, int from, int byteCount)
{
    QByteArray bytes;
    for (int i = 0; i < byteCount; ++i) {
        const quint16 w = words.value(from + i / 2);
        bytes.append(char(i % 2 == 0 ? w & 0xFF : w >> 8));
    }
    return bytes;
}

Words nameRegisters(const QByteArray &name)
{
    Words words;
    for (int i = 0; i < name.size(); i += 2)
        words.append(quint16(quint8(name.at(i)) | (i + 1 < name.size() ? quint8(name.at(i + 1)) << 8 : 0)));
    while (words.size() < 32)
        words.append(0);
    return words;
}

QByteArray patterned(int size)
{
    QByteArray text;
    for (int i = 0; i < size; ++i)
        text.append(char('A' + i % 26));
    return text;
}

} // namespace

class TestSimController : public QObject
{
    Q_OBJECT

private:
    const quint8 St = 10;
    Words read(Controller &c, int address, int count)
    {
        return replyWords(c.handlePdu(St, readPdu(address, count)));
    }
    bool write(Controller &c, int address, const Words &values)
    {
        const QByteArray reply = c.handlePdu(St, writePdu(address, values));
        return reply == writePdu(address, values).left(5);
    }
    // Reads a whole program or file through the window, as the PC does.
    bool readTransfer(Controller &c, const Words &open, QByteArray *text, QVector<int> *counts = nullptr)
    {
        if (!write(c, 0x3300, open))
            return false;
        text->clear();
        for (quint16 n = 1; n < 2000; ++n) {
            if (!write(c, 0x3300, {22, 0, 0, n}))
                return false;
            const Words chunk = read(c, 0x3304, 101);
            if (chunk.size() != 101)
                return false;
            if (counts)
                counts->append(chunk.at(0));
            if (chunk.at(0) == 0)
                return write(c, 0x3300, {21, 0, 0, 0, 0});
            text->append(bytesOf(chunk, 1, qMin<int>(chunk.at(0), 200)));
        }
        return false;
    }
    bool writeTransfer(Controller &c, const Words &open, const QByteArray &text, bool close = true)
    {
        if (!write(c, 0x3300, open))
            return false;
        for (int n = 1; n <= text.size() / 200 + 1; ++n) {
            const QByteArray part = text.mid(200 * (n - 1), 200);
            Words chunk{23, 0, 0, quint16(n), quint16(part.size())};
            for (int i = 0; i < part.size(); i += 2)
                chunk.append(
                    quint16(quint8(part.at(i)) | (i + 1 < part.size() ? quint8(part.at(i + 1)) << 8 : 0)));
            if (!write(c, 0x3300, chunk))
                return false;
        }
        return !close || write(c, 0x3300, {21, 0, 0, 0, 0});
    }

private slots:
    void freshControllerReadsZeros_data()
    {
        QTest::addColumn<int>("address");
        QTest::addColumn<int>("count");
        QTest::newRow("axis channels") << 0x2400 << 70;
        QTest::newRow("counts") << 0x1100 << 12;
        QTest::newRow("absolute") << 0x3000 << 70;
        QTest::newRow("inputs") << 0x1A04 << 16;
        QTest::newRow("signature") << 0x7376 << 2;
        QTest::newRow("status") << 0x3E00 << 6;
        QTest::newRow("transfer reply") << 0x3304 << 101;
    }
    void freshControllerReadsZeros()
    {
        QFETCH(int, address);
        QFETCH(int, count);
        Controller c;
        c.setRunState(sim::RunState::Alarm);
        c.setInputWord(0, 0xFFFF);
        const Words words = read(c, address, count);
        QCOMPARE(words.size(), count);
        QCOMPARE(words, Words(count, 0));
    }

    void descriptorInstallsVariable_data()
    {
        QTest::addColumn<int>("block");
        QTest::addColumn<Words>("descriptor");
        QTest::addColumn<int>("count");
        QTest::addColumn<Words>("expected"); // pairs: offset, value

        QTest::newRow("axis channel")
            << 0x2400 << Words{4, 0, 10, 0} << 70 << Words{4, 0, 5, 0, 6, 1, 7, 0, 8, 1, 10, 2, 12, 0};
        QTest::newRow("name code") << 0x2500 << Words{4, 0, 12, 0} << 70
                                   << Words{6, 100, 8, 200, 10, 300, 11, 0};
        QTest::newRow("decimals") << 0x2600 << Words{4, 0, 13, 0} << 70 << Words{6, 3, 8, 3, 10, 4};
        QTest::newRow("run coil") << 0x2700 << Words{4, 0, 3355, 0} << 8 << Words{6, 1201, 7, 0};
        QTest::newRow("alarm coil") << 0x2800 << Words{4, 0, 3356, 0} << 8 << Words{6, 1202};
        QTest::newRow("idle coil") << 0x2900 << Words{4, 0, 3357, 0} << 8 << Words{6, 1203};
        QTest::newRow("counts") << 0x1100 << Words{6, 0, 4, 0} << 12 << Words{10, 0x0302, 11, 0};
        QTest::newRow("speed scale") << 0x1200 << Words{6, 0, 10, 0} << 8 << Words{6, 0x86A0, 7, 0x0001};
        QTest::newRow("speed parameter")
            << 0x3400 << Words{4, 0, 22, 0} << 70 << Words{6, 0xEA60, 7, 0, 10, 0x2345, 11, 0x0001};
        QTest::newRow("absolute") << 0x3000 << Words{6, 0, 300, 0} << 70
                                  << Words{4, 0, 6, 0xCFC7, 7, 0xFFFF, 8, 1, 9, 0, 12, 0};
        QTest::newRow("machine") << 0x3600 << Words{6, 0, 302, 0} << 70 << Words{6, 0x0002, 7, 0x0001};
        QTest::newRow("speed") << 0x3200 << Words{6, 0, 333, 0} << 70 << Words{6, 0xFFFD, 7, 0xFFFF};
        QTest::newRow("torque") << 0x3100 << Words{6, 0, 433, 0} << 70 << Words{6, 125, 10, 7};
        QTest::newRow("inputs") << 0x1A00 << Words{1, 0, 88, 0} << 20 << Words{4, 0x1234, 19, 0xBEEF};
        QTest::newRow("outputs") << 0x1800 << Words{1, 0, 89, 0} << 20 << Words{4, 0x0001, 5, 0x8000};
        QTest::newRow("piece counters")
            << 0x1000 << Words{2, 0, 0, 0} << 10 << Words{4, 0x5678, 5, 0x0001, 6, 1000, 7, 0, 8, 12, 9, 0};
        QTest::newRow("times") << 0x1010 << Words{3, 0, 0, 0} << 8
                               << Words{4, 605, 5, 0, 6, 0x8CA0, 7, 0x0001};
        QTest::newRow("work mode") << 0x1D00 << Words{1, 0, 70, 0} << 6 << Words{5, 0x2000};
        QTest::newRow("unknown item") << 0x3700 << Words{6, 0, 431, 0} << 70 << Words{4, 0, 6, 0, 7, 0};
        QTest::newRow("non-zero fourth word")
            << 0x3000 << Words{6, 0, 300, 1} << 70 << Words{3, 1, 6, 0, 7, 0};
        QTest::newRow("channel beyond count") << 0x1000 << Words{2, 2, 0, 0} << 10 << Words{1, 2, 4, 0, 8, 0};
    }
    void descriptorInstallsVariable()
    {
        QFETCH(int, block);
        QFETCH(Words, descriptor);
        QFETCH(int, count);
        QFETCH(Words, expected);

        Controller c;
        QVector<sim::AxisConfig> axes(3);
        axes[0].nameCode = 100;
        axes[1].nameCode = 200;
        axes[2].nameCode = 300;
        axes[2].channel = 2;
        axes[2].decimals = 4;
        axes[2].speedParameter = 0x12345;
        c.setAxes(axes);
        c.setChannelCount(2);
        c.setSpeedScale(100000);
        c.setStateCoils(1201, 1202, 1203);
        c.setAxisValues(0, -12345, 0x10002, -3, 125);
        c.setAxisValues(1, 1, 0, 0, 0);
        c.setAxisValues(2, 0, 0, 0, 7);
        c.setInputWord(0, 0x1234);
        c.setInputWord(15, 0xBEEF);
        c.setInputWord(16, 0xDEAD); // no such word: ignored
        c.setOutputWord(0, 0x0001);
        c.setOutputWord(1, 0x8000);
        c.setPieceCount(0x15678);
        c.setPieceTarget(1000);
        c.setProgramNumber(12);
        c.setCycleTime(605);
        c.setRunTime(101536);
        c.setWorkMode(32);

        QVERIFY(write(c, block, descriptor));
        const Words words = read(c, block, count);
        QCOMPARE(words.size(), count);
        for (int i = 0; i < 4; ++i)
            QCOMPARE(words.at(i), descriptor.at(i));
        for (int i = 0; i + 1 < expected.size(); i += 2)
            QCOMPARE(words.at(expected.at(i)), expected.at(i + 1));
    }

    void blocksAreReadAtAnOffsetAndStayApart()
    {
        Controller c;
        c.setInputWord(0, 0x00AA);
        c.setInputWord(15, 0x5500);
        c.setPieceCount(7);
        c.setCycleTime(9);
        QVERIFY(write(c, 0x1A00, {1, 0, 88, 0}));
        QCOMPARE(read(c, 0x1A04, 16).first(), quint16(0x00AA));
        QCOMPARE(read(c, 0x1A04, 16).last(), quint16(0x5500));
        // Two blocks 16 registers apart: each keeps its own variable.
        QVERIFY(write(c, 0x1000, {2, 0, 0, 0}));
        QVERIFY(write(c, 0x1010, {3, 0, 0, 0}));
        QCOMPARE(read(c, 0x1000, 10).at(4), quint16(7));
        QCOMPARE(read(c, 0x1010, 8).at(4), quint16(9));
        // Live values follow the model on every read.
        c.setPieceCount(8);
        QCOMPARE(read(c, 0x1000, 10).at(4), quint16(8));
    }

    void signatureAndInstallationPersist()
    {
        Controller c;
        QVERIFY(!c.signatureInstalled());
        QCOMPARE(read(c, 0x7376, 2), Words({0, 0}));
        QVERIFY(write(c, 0x1E00, {0x7376, 3}));
        QVERIFY(c.signatureInstalled());
        QCOMPARE(c.signatureChannel(), quint16(3));
        QCOMPARE(read(c, 0x7376, 2), Words({0x7376, 3}));
        QCOMPARE(read(c, 0x7376, 1), Words({0x7376}));
        QVERIFY(write(c, 0x1E00, {0x7376, 0}));
        QCOMPARE(read(c, 0x7376, 2), Words({0x7376, 0}));
        QVERIFY(write(c, 0x1100, {6, 0, 4, 0}));
        c.resetInstallation();
        QVERIFY(!c.signatureInstalled());
        QCOMPARE(read(c, 0x7376, 2), Words({0, 0}));
        QCOMPARE(read(c, 0x1100, 12), Words(12, 0));
    }

    void statusFlags_data()
    {
        QTest::addColumn<int>("state");
        QTest::addColumn<int>("channel");
        QTest::addColumn<int>("override");
        QTest::addColumn<int>("flags");
        QTest::newRow("idle") << int(sim::RunState::Idle) << 0 << -1 << 0;
        QTest::newRow("running") << int(sim::RunState::Running) << 0 << -1 << 0x80;
        QTest::newRow("alarm") << int(sim::RunState::Alarm) << 0 << -1 << 0x100;
        QTest::newRow("second channel running") << int(sim::RunState::Running) << 1 << -1 << 0x80;
        QTest::newRow("no such channel") << int(sim::RunState::Running) << 2 << -1 << 0;
        QTest::newRow("raw flags") << int(sim::RunState::Idle) << 0 << 0x180 << 0x180;
    }
    void statusFlags()
    {
        QFETCH(int, state);
        QFETCH(int, channel);
        QFETCH(int, override);
        QFETCH(int, flags);
        Controller c;
        c.setChannelCount(2);
        c.setRunState(sim::RunState(state));
        c.setStatusFlags(override);
        QVERIFY(write(c, 0x3E00, {1, quint16(channel), 70, 0}));
        const Words words = read(c, 0x3E00, 6);
        QCOMPARE(words.size(), 6);
        QCOMPARE(int(words.at(4)), flags);
    }

    void stateCoils_data()
    {
        QTest::addColumn<int>("state");
        QTest::addColumn<QByteArray>("reply"); // coils 20..27 (numbers 21..28)
        QTest::newRow("running") << int(sim::RunState::Running) << QByteArray::fromHex("010101");
        QTest::newRow("alarm") << int(sim::RunState::Alarm) << QByteArray::fromHex("010104");
        QTest::newRow("idle") << int(sim::RunState::Idle) << QByteArray::fromHex("010180");
    }
    void stateCoils()
    {
        QFETCH(int, state);
        QFETCH(QByteArray, reply);
        Controller c;
        c.setStateCoils(21, 23, 28);
        c.setRunState(sim::RunState(state));
        QCOMPARE(c.handlePdu(St, QByteArray::fromHex("0100140008")), reply);
        // One coil at a time, as the PC asks: the running coil number 21 is coil 20.
        const QByteArray one = c.handlePdu(St, QByteArray::fromHex("0100140001"));
        QCOMPARE(one, QByteArray::fromHex(state == int(sim::RunState::Running) ? "010101" : "010100"));
    }

    void literalFraming()
    {
        Controller c;
        c.setStateCoils(5, 6, 7);
        QCOMPARE(c.handlePdu(St, QByteArray::fromHex("102700000408000400000d1b0000")),
                 QByteArray::fromHex("1027000004"));
        QCOMPARE(c.handlePdu(St, QByteArray::fromHex("0327000008")),
                 QByteArray::fromHex("0310000400000d1b000000000000"
                                     "00050000"));
    }

    void malformedRequests_data()
    {
        QTest::addColumn<QByteArray>("pdu");
        QTest::addColumn<QByteArray>("reply");
        QTest::newRow("read zero") << QByteArray::fromHex("0300000000") << QByteArray::fromHex("8303");
        QTest::newRow("read 126") << QByteArray::fromHex("030000007e") << QByteArray::fromHex("8303");
        QTest::newRow("read truncated") << QByteArray::fromHex("030000") << QByteArray::fromHex("8303");
        QTest::newRow("read past the map")
            << QByteArray::fromHex("03ffff0002") << QByteArray::fromHex("8302");
        QTest::newRow("write byte count wrong")
            << QByteArray::fromHex("100100000103000100") << QByteArray::fromHex("9003");
        QTest::newRow("write data short")
            << QByteArray::fromHex("1001000002040001") << QByteArray::fromHex("9003");
        QTest::newRow("write 124") << QByteArray::fromHex("100100007cf8") + QByteArray(248, '\0')
                                   << QByteArray::fromHex("9003");
        QTest::newRow("coils zero") << QByteArray::fromHex("0100000000") << QByteArray::fromHex("8103");
        QTest::newRow("write single register")
            << QByteArray::fromHex("0600000001") << QByteArray::fromHex("8601");
        QTest::newRow("read input registers")
            << QByteArray::fromHex("0400000001") << QByteArray::fromHex("8401");
        QTest::newRow("empty") << QByteArray() << QByteArray();
    }
    void malformedRequests()
    {
        QFETCH(QByteArray, pdu);
        QFETCH(QByteArray, reply);
        Controller c;
        QCOMPARE(c.handlePdu(St, pdu), reply);
    }

    void maximalRequests()
    {
        Controller c;
        QCOMPARE(read(c, 0xFF83, 125).size(), 125);
        QVERIFY(write(c, 0x5000, Words(123, 1)));
        QCOMPARE(c.handlePdu(St, QByteArray::fromHex("01000007d0")).size(), 2 + 250);
    }

    void otherStationGetsNoAnswerAndNothingHappens()
    {
        Controller c;
        c.setStationAddress(7);
        QCOMPARE(c.stationAddress(), quint8(7));
        QVERIFY(c.handlePdu(10, writePdu(0x1E00, {0x7376, 0})).isEmpty());
        QVERIFY(!c.signatureInstalled());
        QVERIFY(c.handlePdu(10, readPdu(0x7376, 2)).isEmpty());
        QVERIFY(c.handlePdu(10, QByteArray::fromHex("0600000001")).isEmpty());
        QCOMPARE(c.handlePdu(7, readPdu(0x7376, 2)).size(), 6);
        QCOMPARE(c.requests().size(), 4);
        QCOMPARE(c.requests().first().station, quint8(10));
    }

    void wireLog()
    {
        Controller c;
        QSignalSpy spy(&c, &Controller::requestHandled);
        write(c, 0x2400, {4, 0, 10, 0});
        read(c, 0x2400, 70);
        c.handlePdu(St, QByteArray::fromHex("0100040001"));
        QCOMPARE(spy.count(), 3);
        const QVector<sim::Request> log = c.requests();
        QCOMPARE(log.size(), 3);
        QCOMPARE(log.at(0).function, quint8(0x10));
        QCOMPARE(log.at(0).address, 0x2400);
        QCOMPARE(log.at(0).values, Words({4, 0, 10, 0}));
        QCOMPARE(log.at(1).count, 70);
        QCOMPARE(log.at(2).function, quint8(0x01));
        QCOMPARE(spy.at(1).at(0).value<sim::Request>().address, 0x2400);
        c.clearRequests();
        QVERIFY(c.requests().isEmpty());

        // The log stays bounded and keeps the newest requests.
        c.setRequestLogLimit(10);
        for (int i = 0; i < 25; ++i)
            read(c, i, 1);
        QVERIFY(c.requests().size() <= 10);
        QVERIFY(!c.requests().isEmpty());
        QCOMPARE(c.requests().last().address, 24);
        QCOMPARE(spy.count(), 3 + 25);
    }

    void receiverMayDeleteTheController()
    {
        auto *c = new Controller;
        connect(c, &Controller::requestHandled, c, [c]() { delete c; });
        QPointer<Controller> guard(c);
        const QByteArray reply = c->handlePdu(St, readPdu(0x7376, 2));
        QVERIFY(!guard);
        QCOMPARE(reply, QByteArray::fromHex("030400000000"));
    }

    void faults()
    {
        Controller c;
        c.setExceptionAt(0x3000 + 10);
        QCOMPARE(c.handlePdu(St, readPdu(0x3000, 70)), QByteArray::fromHex("8302"));
        QCOMPARE(read(c, 0x3000, 10).size(), 10); // ends before the address
        QCOMPARE(c.handlePdu(St, writePdu(0x3008, {1, 2, 3})), QByteArray::fromHex("9002"));
        c.setExceptionAt(0x3300, 0x04);
        QCOMPARE(c.handlePdu(St, writePdu(0x3300, {30, 0, 0, 0, 0})), QByteArray::fromHex("9004"));
        c.setExceptionAt(0x14, 0x0B);
        QCOMPARE(c.handlePdu(St, QByteArray::fromHex("0100140001")), QByteArray::fromHex("810b"));
        c.clearExceptionAt(0x3000 + 10);
        QCOMPARE(read(c, 0x3000, 70).size(), 70);

        c.setShortRead(0x1100, 10);
        QCOMPARE(read(c, 0x1100, 12).size(), 10);
        QCOMPARE(read(c, 0x1101, 12).size(), 12);
        c.setShortRead(0x1100, 0);
        QCOMPARE(c.handlePdu(St, readPdu(0x1100, 12)), QByteArray::fromHex("0300"));

        c.clearFaults();
        QCOMPARE(read(c, 0x1100, 12).size(), 12);
        QVERIFY(write(c, 0x3300, {30, 0, 0, 0, 0}));
    }

    void readTransfers_data()
    {
        QTest::addColumn<int>("size");
        QTest::addColumn<QVector<int>>("counts");
        QTest::newRow("empty") << 0 << QVector<int>{0};
        QTest::newRow("one byte") << 1 << QVector<int>{1, 0};
        QTest::newRow("200") << 200 << QVector<int>{200, 0};
        QTest::newRow("201") << 201 << QVector<int>{200, 1, 0};
        QTest::newRow("400") << 400 << QVector<int>{200, 200, 0};
    }
    void readTransfers()
    {
        QFETCH(int, size);
        QFETCH(QVector<int>, counts);
        Controller c;
        const QByteArray text = patterned(size);
        c.setProgram(12, text);
        c.setFile(QStringLiteral("SYS.PAR"), text);
        QByteArray got;
        QVector<int> seen;
        QVERIFY(readTransfer(c, {20, 0, 0, 1, 12}, &got, &seen));
        QCOMPARE(got, text);
        QCOMPARE(seen, counts);
        seen.clear();
        // "SYS.PAR" as 0x5953, 0x2E53, 0x4150, 0x0052 and 28 zeros.
        Words open{20, 0, 0, 2, 0x5953, 0x2E53, 0x4150, 0x0052};
        open += Words(28, 0);
        QVERIFY(readTransfer(c, open, &got, &seen));
        QCOMPARE(got, text);
        QCOMPARE(seen, counts);
    }

    void oddChunkLeavesHighHalfZero()
    {
        Controller c;
        c.setProgram(1, "abc");
        QVERIFY(write(c, 0x3300, {20, 0, 0, 1, 1}));
        QVERIFY(write(c, 0x3300, {22, 0, 0, 1}));
        const Words chunk = read(c, 0x3304, 101);
        QCOMPARE(chunk.mid(0, 4), Words({3, 0x6261, 0x0063, 0}));
        // Asking again for the same chunk (a retry) gives the same bytes.
        QVERIFY(write(c, 0x3300, {22, 0, 0, 1}));
        QCOMPARE(read(c, 0x3304, 101), chunk);
    }

    void writeTransfersBecomeVisibleAtClose_data()
    {
        QTest::addColumn<int>("size");
        QTest::newRow("empty") << 0;
        QTest::newRow("odd") << 201;
        QTest::newRow("400") << 400;
        QTest::newRow("large") << 100 * 1000 + 17;
    }
    void writeTransfersBecomeVisibleAtClose()
    {
        QFETCH(int, size);
        Controller c;
        const QByteArray text = patterned(size);
        QVERIFY(writeTransfer(c, {20, 0, 0, 0x1001, 77}, text, false));
        QVERIFY(!c.hasProgram(77));
        QVERIFY(write(c, 0x3300, {21, 0, 0, 0, 0}));
        QVERIFY(c.hasProgram(77));
        QCOMPARE(c.program(77), text);
        QByteArray back;
        QVERIFY(readTransfer(c, {20, 0, 0, 1, 77}, &back));
        QCOMPARE(back, text);

        Words open{20, 0, 0, 0x1003};
        open += nameRegisters("USRIO.TXT");
        QVERIFY(writeTransfer(c, open, text));
        QCOMPARE(c.file(QStringLiteral("USRIO.TXT")), text);
    }

    void chineseTextAndNameRoundTrip()
    {
        Controller c;
        const QByteArray text = QStringLiteral("程序 O0001\n刀具补偿\n").toLocal8Bit();
        const QByteArray name = QStringLiteral("参数.TXT").toLocal8Bit();
        Words open{20, 0, 0, 0x1003};
        open += nameRegisters(name);
        QVERIFY(writeTransfer(c, open, text));
        QVERIFY(c.hasFile(QStringLiteral("参数.TXT")));
        QCOMPARE(c.file(QStringLiteral("参数.TXT")), text);
        open[3] = 2;
        QByteArray back;
        QVERIFY(readTransfer(c, open, &back));
        QCOMPARE(back, text);
        // A name longer than 64 bytes comes with all its registers.
        const QByteArray longName = QByteArray(70, 'N');
        Words longOpen{20, 0, 0, 0x1003};
        longOpen += nameRegisters(longName);
        QCOMPARE(longOpen.size(), 4 + 35);
        QVERIFY(writeTransfer(c, longOpen, "x"));
        QCOMPARE(c.file(QString::fromLatin1(longName)), QByteArray("x"));
    }

    void refusedTransferCommands_data()
    {
        QTest::addColumn<QVector<Words>>("before");
        QTest::addColumn<int>("address");
        QTest::addColumn<Words>("command");
        const QVector<Words> none;
        const QVector<Words> writing{{20, 0, 0, 0x1001, 5}};
        const QVector<Words> reading{{20, 0, 0, 1, 1}};
        QTest::newRow("read chunk, nothing open") << none << 0x3300 << Words{22, 0, 0, 1};
        QTest::newRow("write chunk, nothing open") << none << 0x3300 << Words{23, 0, 0, 1, 0};
        QTest::newRow("close, nothing open") << none << 0x3300 << Words{21, 0, 0, 0, 0};
        QTest::newRow("entry, no directory") << none << 0x3300 << Words{32, 0, 0, 1};
        QTest::newRow("close directory, none open") << none << 0x3300 << Words{31, 0, 0, 0, 0};
        QTest::newRow("missing program") << none << 0x3300 << Words{20, 0, 0, 1, 2};
        QTest::newRow("missing file") << none << 0x3300 << (Words{20, 0, 0, 2} + nameRegisters("NONE.PAR"));
        QTest::newRow("empty name") << none << 0x3300 << (Words{20, 0, 0, 0x1003} + Words(32, 0));
        QTest::newRow("program past O9999") << none << 0x3300 << Words{20, 0, 0, 0x1001, 10000};
        QTest::newRow("unknown kind") << none << 0x3300 << Words{20, 0, 0, 3, 1};
        QTest::newRow("open without argument") << none << 0x3300 << Words{20, 0, 0, 1};
        QTest::newRow("unknown command") << none << 0x3300 << Words{24, 0, 0, 0, 0};
        QTest::newRow("too short") << none << 0x3300 << Words{30, 0};
        QTest::newRow("read chunk 0") << reading << 0x3300 << Words{22, 0, 0, 0};
        QTest::newRow("write chunk while reading") << reading << 0x3300 << Words{23, 0, 0, 1, 0};
        QTest::newRow("read chunk while writing") << writing << 0x3300 << Words{22, 0, 0, 1};
        QTest::newRow("chunk above 200 bytes")
            << writing << 0x3300 << (Words{23, 0, 0, 1, 202} + Words(101, 0x4141));
        QTest::newRow("count above data") << writing << 0x3300 << (Words{23, 0, 0, 1, 10} + Words(4, 0x4141));
        QTest::newRow("chunk after a gap") << writing << 0x3300 << (Words{23, 0, 0, 2, 2} + Words(1, 0x4141));
        QTest::newRow("close directory, transfer open") << reading << 0x3300 << Words{31, 0, 0, 0, 0};
        QTest::newRow("delete missing") << none << 0x2000 << Words{25, 0, 0, 1, 2};
        QTest::newRow("delete bad form") << none << 0x2000 << Words{25, 0, 0, 0, 1};
        QTest::newRow("delete other command") << none << 0x2000 << Words{20, 0, 0, 1, 1};
    }
    void refusedTransferCommands()
    {
        QFETCH(QVector<Words>, before);
        QFETCH(int, address);
        QFETCH(Words, command);
        Controller c;
        c.setProgram(1, "O0001\n");
        for (const Words &w : before)
            QVERIFY(write(c, 0x3300, w));
        QCOMPARE(c.handlePdu(St, writePdu(address, command)), QByteArray::fromHex("9003"));
        QVERIFY(c.hasProgram(1));
        QVERIFY(!c.hasProgram(5));
    }

    void newOpenReplacesTransferLeftOpen()
    {
        Controller c;
        c.setProgram(1, "one");
        c.setProgram(2, "two");
        // A write left open after a failed chunk never reaches the store.
        QVERIFY(write(c, 0x3300, {20, 0, 0, 0x1001, 3}));
        QVERIFY(write(c, 0x3300, {23, 0, 0, 1, 1, 0x0041}));
        QByteArray text;
        QVERIFY(readTransfer(c, {20, 0, 0, 1, 2}, &text));
        QCOMPARE(text, QByteArray("two"));
        QVERIFY(!c.hasProgram(3));
        // A refused open leaves nothing open either.
        QVERIFY(write(c, 0x3300, {20, 0, 0, 1, 1}));
        QCOMPARE(c.handlePdu(St, writePdu(0x3300, {20, 0, 0, 1, 9})), QByteArray::fromHex("9003"));
        QCOMPARE(c.handlePdu(St, writePdu(0x3300, {22, 0, 0, 1})), QByteArray::fromHex("9003"));
        // A repeated write chunk replaces what it wrote.
        QVERIFY(write(c, 0x3300, {20, 0, 0, 0x1001, 4}));
        QVERIFY(write(c, 0x3300, {23, 0, 0, 1, 1, 0x0041}));
        QVERIFY(write(c, 0x3300, {23, 0, 0, 1, 2, 0x4342}));
        QVERIFY(write(c, 0x3300, {21, 0, 0, 0, 0}));
        QCOMPARE(c.program(4), QByteArray("BC"));
    }

    void directory()
    {
        Controller c;
        c.setProgram(12, patterned(1534), QDate(2023, 5, 17));
        c.setProgram(1, "O0001\n", QDate(1980, 1, 1));
        c.setProgram(9999, QByteArray(70000, 'x'), QDate(2107, 12, 31));
        c.setProgram(10000, "out of range"); // ignored
        QCOMPARE(c.programNumbers(), QList<int>({1, 12, 9999}));

        QVERIFY(write(c, 0x3300, {30, 0, 0, 0, 0}));
        QVector<Words> entries;
        for (quint16 n = 1; n < 10; ++n) {
            QVERIFY(write(c, 0x3300, {32, 0, 0, n}));
            const Words e = read(c, 0x3304, 38);
            QCOMPARE(e.size(), 38);
            if (e.at(0) == 0)
                break;
            entries.append(e);
        }
        QVERIFY(write(c, 0x3300, {31, 0, 0, 0, 0}));
        QCOMPARE(entries.size(), 3);
        QCOMPARE(entries.at(0).mid(1, 7), Words({6, 0, 0x0021, 0, 0x304F, 0x3030, 0x0031}));
        QCOMPARE(entries.at(1).mid(1, 7), Words({1534, 0, 0x56B1, 0, 0x304F, 0x3130, 0x0032}));
        QCOMPARE(entries.at(2).mid(1, 7), Words({0x1170, 0x0001, 0xFF9F, 0, 0x394F, 0x3939, 0x0039}));
        QCOMPARE(entries.at(2).mid(8), Words(30, 0));
    }

    void directoryIsASnapshotAndDeleteRemoves()
    {
        Controller c;
        c.setProgram(3, "three");
        c.setProgram(4, "four");
        QVERIFY(write(c, 0x2000, {25, 0, 0, 1, 3}));
        QVERIFY(!c.hasProgram(3));
        QVERIFY(c.hasProgram(4));
        QVERIFY(write(c, 0x3300, {30, 0, 0, 0, 0}));
        QVERIFY(write(c, 0x3300, {32, 0, 0, 2}));
        QCOMPARE(read(c, 0x3304, 38).at(0), quint16(0));
        QVERIFY(write(c, 0x3300, {32, 0, 0, 1}));
        QCOMPARE(read(c, 0x3304, 38).at(5), quint16(0x304F));
    }

    void chunkByteCountOverride()
    {
        Controller c;
        c.setProgram(1, "abcd");
        c.setChunkByteCount(250);
        QVERIFY(write(c, 0x3300, {20, 0, 0, 1, 1}));
        QVERIFY(write(c, 0x3300, {22, 0, 0, 1}));
        QCOMPARE(read(c, 0x3304, 101).mid(0, 3), Words({250, 0x6261, 0x6463}));
        // The end stays the end.
        QVERIFY(write(c, 0x3300, {22, 0, 0, 2}));
        QCOMPARE(read(c, 0x3304, 101).at(0), quint16(0));
    }

    void endlessFaultsCostNothing()
    {
        Controller c;
        c.setProgram(5, "x");
        c.setEndlessDirectory(true);
        c.setEndlessText(true);
        QVERIFY(write(c, 0x3300, {30, 0, 0, 0, 0}));
        for (int n : {2, 10001, 65535}) {
            QVERIFY(write(c, 0x3300, {32, 0, 0, quint16(n)}));
            QVERIFY(read(c, 0x3304, 38).at(0) != 0);
        }
        QVERIFY(write(c, 0x3300, {20, 0, 0, 1, 5}));
        for (int n : {1, 2, 65535, 0}) {
            QVERIFY(write(c, 0x3300, {22, 0, 0, quint16(n)}));
            QCOMPARE(read(c, 0x3304, 101).at(0), quint16(n == 1 ? 1 : 200));
        }
    }

    void loadFolder()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const auto put = [&](const QString &name, const QByteArray &bytes) {
            QFile f(dir.filePath(name));
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(bytes);
        };
        put(QStringLiteral("O0012.nc"), "O0012\nG0 X1\n");
        put(QStringLiteral("O7"), "seven");
        put(QStringLiteral("SYS.PAR"), "[SYS]\n");
        put(QStringLiteral("O12345.nc"), "not a program number");
        Controller c;
        QVERIFY(c.loadFolder(dir.path()));
        QCOMPARE(c.programNumbers(), QList<int>({7, 12}));
        QCOMPARE(c.program(12), QByteArray("O0012\nG0 X1\n"));
        QCOMPARE(c.file(QStringLiteral("SYS.PAR")), QByteArray("[SYS]\n"));
        QVERIFY(c.hasFile(QStringLiteral("O12345.nc")));
        QVERIFY(!c.loadFolder(dir.filePath(QStringLiteral("missing"))));
    }

    void animation()
    {
        Controller c;
        QVERIFY(write(c, 0x3000, {6, 0, 300, 0}));
        const Words before = read(c, 0x3000, 70);
        for (int i = 0; i < 60; ++i)
            c.animationStep();
        QVERIFY(read(c, 0x3000, 70) != before);
        QCOMPARE(c.runState(), sim::RunState::Running);
        c.setAnimated(true);
        QVERIFY(c.isAnimated());
        const Words now = read(c, 0x3000, 70);
        QTRY_VERIFY_WITH_TIMEOUT(read(c, 0x3000, 70) != now, 5000);
        c.setAnimated(false);
        QVERIFY(!c.isAnimated());
    }
};

QTEST_GUILESS_MAIN(TestSimController)
#include "tst_simcontroller.moc"
