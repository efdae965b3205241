#include "archive/controllertexts.h"
#include "config/configstore.h"
#include "link/modbusdevice.h"
#include "link/protocol.h"
#include "link/transfercodec.h"
#include "sim/controller.h"
#include "sim/servers.h"
#include "testsupport.h"

#include <QProgressBar>
#include <QtTest>

#include <functional>
#include <memory>

using Words = QVector<quint16>;

namespace {

const QHostAddress kHost(QStringLiteral("127.0.0.4"));
constexpr quint16 kPort = 1502;
constexpr int kTransferCommand = 0x3300;
constexpr int kTransferReply = 0x3304;
constexpr int kDeleteCommand = 0x2000;

QByteArray patternBytes(int length)
{
    QByteArray bytes(length, '\0');
    for (int i = 0; i < length; ++i)
        bytes[i] = (i % 61 == 60) ? '\n' : static_cast<char>('A' + (i * 7) % 26);
    return bytes;
}

// What the upload dialog does with the progress: into a bar that may go.
TransferProgress into(QProgressBar *bar)
{
    const QPointer<QProgressBar> shown(bar);
    return [shown](qint64 done, qint64 total) {
        if (shown)
            shown->setValue(TransferCodec::chunkProgress(done, total));
    };
}

} // namespace

class TstTransfer : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanupTestCase();

    void notReadyAnswersTwo();
    void emptyProgramRead();
    void writeChunks_data();
    void writeChunks();
    void bothWays_data();
    void bothWays();
    void directoryDecoded();
    void cachedListServedWhileBusy();
    void notIdleSendsNothing_data();
    void notIdleSendsNothing();
    void readFailures_data();
    void readFailures();
    void writeFailures_data();
    void writeFailures();
    void directoryFailures_data();
    void directoryFailures();
    void absenceAndSize_data();
    void absenceAndSize();
    void deleteProgram();
    void endlessGuards();
    void unsendableRefusedBeforeAnyRequest();
    void progressBarDeletedMidTransfer();
    void linkDroppedMidTransfer();
    void oneTransferAtATimePerController();
    void stationKeptForTheOperation_data();
    void stationKeptForTheOperation();

private:
    bool makeReady();
    // Runs action once, from inside the simulator, right after the request for
    // which when() holds has been answered.
    void onRequest(std::function<bool(const sim::Request &)> when, std::function<void()> action);
    QVector<sim::Request> writesTo(int address) const;

    sim::Controller m_controller;
    sim::TcpServer m_server{&m_controller};
    std::unique_ptr<ModbusDevice> m_device;
    QMetaObject::Connection m_hook;
};

void TstTransfer::initTestCase()
{
    QVERIFY(m_server.listen(kHost, kPort));
    TestSupport::useQuickLink(kPort);
}

bool TstTransfer::makeReady()
{
    if (!m_device || !m_device->isReady()) {
        if (m_device)
            m_device->close();
        m_device = std::make_unique<ModbusDevice>();
        DeviceRecord record = m_device->record();
        record.Type = 1;
        record.IP = kHost.toString();
        record.Address = 10;
        m_device->setRecord(record);
        if (!TestSupport::connectUp(m_device.get()))
            return false;
    }
    return QTest::qWaitFor([this] { return m_device->pollState() == 3; }, 5000);
}

void TstTransfer::init()
{
    QObject::disconnect(m_hook);
    if (m_device) { // a test may have edited the station
        DeviceRecord record = m_device->record();
        record.Address = 10;
        m_device->setRecord(record);
    }
    m_server.setSilent(false);
    ConfigStore::instance()->setVerifyAfterWrite(true);
    m_controller.clearFaults();
    m_controller.setRunState(sim::RunState::Idle);
    for (int number : m_controller.programNumbers())
        m_controller.removeProgram(number);
    TransferCodec::setReadLimits({Protocol::MaxDirectoryEntries, Protocol::MaxTextBytes});
    QVERIFY(makeReady());
    QVERIFY(!m_device->isBusy());
    m_controller.clearRequests();
}

void TstTransfer::cleanupTestCase()
{
    QObject::disconnect(m_hook);
    if (m_device)
        m_device->close();
    m_device.reset();
}

void TstTransfer::onRequest(std::function<bool(const sim::Request &)> when, std::function<void()> action)
{
    QObject::disconnect(m_hook);
    m_hook = connect(&m_controller, &sim::Controller::requestHandled, this,
                     [this, when, action](const sim::Request &r) {
                         if (!when(r))
                             return;
                         QObject::disconnect(m_hook);
                         action();
                     });
}

QVector<sim::Request> TstTransfer::writesTo(int address) const
{
    QVector<sim::Request> writes;
    for (const sim::Request &r : m_controller.requests()) {
        if (r.function == 0x10 && r.address == address)
            writes.append(r);
    }
    return writes;
}

void TstTransfer::notReadyAnswersTwo()
{
    ModbusDevice fresh;
    QByteArray text("kept");
    QList<ProgramEntry> list;
    QCOMPARE(fresh.readProgram(&text, 1), 2);
    QCOMPARE(fresh.readSystemFile(&text, QStringLiteral("SYS.PAR")), 2);
    QCOMPARE(fresh.writeProgram(QByteArray("x"), 1), 2);
    QCOMPARE(fresh.writeSystemFile(QByteArray("x"), QStringLiteral("SYS.PAR")), 2);
    QCOMPARE(fresh.readProgramList(&list, true), 2);
    QCOMPARE(fresh.deleteProgram(1), 2);
    QCOMPARE(text, QByteArray("kept"));
}

void TstTransfer::emptyProgramRead()
{
    m_controller.setProgram(7, QByteArray());
    QByteArray text("old");
    QCOMPARE(m_device->readProgram(&text, 7), 0);
    QCOMPARE(text, QByteArray());

    const QVector<sim::Request> log = m_controller.requests();
    QCOMPARE(log.size(), 4);
    QCOMPARE(log.at(0).values, (Words{20, 0, 0, 1, 7}));
    QCOMPARE(log.at(1).values, (Words{22, 0, 0, 1}));
    QCOMPARE(log.at(2).function, quint8(0x03));
    QCOMPARE(log.at(2).address, kTransferReply);
    QCOMPARE(log.at(2).count, 101);
    QCOMPARE(log.at(3).values, (Words{21, 0, 0, 0, 0}));
    QVERIFY(!m_device->isBusy());
}

void TstTransfer::writeChunks_data()
{
    QTest::addColumn<int>("length");
    QTest::addColumn<QList<int>>("counts");
    QTest::addColumn<QList<int>>("seen");    // bar value when the next request arrives
    QTest::addColumn<QList<int>>("changes"); // the bar's valueChanged
    QTest::newRow("empty") << 0 << QList<int>{0} << QList<int>{100} << QList<int>{100};
    QTest::newRow("400 bytes") << 400 << QList<int>{200, 200, 0} << QList<int>{50, 100, 100}
                               << QList<int>{50, 100};
    QTest::newRow("201 bytes") << 201 << QList<int>{200, 1} << QList<int>{99, 100} << QList<int>{99, 100};
}

void TstTransfer::writeChunks()
{
    QFETCH(int, length);
    QFETCH(QList<int>, counts);
    QFETCH(QList<int>, seen);
    QFETCH(QList<int>, changes);

    const QByteArray bytes = patternBytes(length);
    ConfigStore::instance()->setVerifyAfterWrite(false); // the write's requests alone
    QProgressBar bar;
    QSignalSpy spy(&bar, &QProgressBar::valueChanged);
    QList<int> sampled;
    auto sample = connect(&m_controller, &sim::Controller::requestHandled, this, [&](const sim::Request &r) {
        if (r.function == 0x10 && !r.values.isEmpty() &&
            (r.values.at(0) == 21 || (r.values.at(0) == 23 && r.values.value(3) >= 2)))
            sampled.append(bar.value());
    });
    const int result = m_device->writeProgram(bytes, 3, into(&bar));
    disconnect(sample);
    QCOMPARE(result, 0);
    QCOMPARE(m_controller.program(3), bytes);
    QCOMPARE(sampled, seen);
    QList<int> emitted;
    for (const QList<QVariant> &args : spy)
        emitted.append(args.at(0).toInt());
    QCOMPARE(emitted, changes);

    const QVector<sim::Request> writes = writesTo(kTransferCommand);
    QCOMPARE(writes.size(), 1 + counts.size() + 1);
    for (int n = 1; n <= counts.size(); ++n) {
        const Words chunk = writes.at(n).values;
        const int count = counts.at(n - 1);
        QCOMPARE(chunk.mid(0, 5), (Words{23, 0, 0, quint16(n), quint16(count)}));
        QCOMPARE(chunk.size(), 5 + (count + 1) / 2);
    }
    if (length == 201)
        QCOMPARE(writes.at(2).values.last(), quint16(bytes.at(200)));
    QCOMPARE(writes.last().values, (Words{21, 0, 0, 0, 0}));
}

void TstTransfer::bothWays_data()
{
    QTest::addColumn<QString>("file"); // empty: program 12
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<Words>("open"); // the write's open command, if checked; the read's differs in its kind
    QTest::addColumn<int>("readKind");
    QTest::newRow("a megabyte program, its number one register")
        << QString() << patternBytes(1024 * 1024) << Words{20, 0, 0, 0x1001, 12} << 1;
    Words sysPar{20, 0, 0, 0x1003, 0x5953, 0x2E53, 0x4150, 0x0052};
    sysPar.resize(4 + 32);
    QTest::newRow("file name on the wire")
        << QStringLiteral("SYS.PAR") << QByteArray("P1=2\n") << sysPar << 2;
    // Texts and names in the local encoding (UTF-8 in the tests), byte for byte.
    QTest::newRow("Chinese file") << QStringLiteral("说明.TXT")
                                  << QStringLiteral("O0100\n(粗加工 刀具 T1)\nG01 X10. F200\nM30\n").toUtf8()
                                  << Words{} << 0;
}

void TstTransfer::bothWays()
{
    QFETCH(QString, file);
    QFETCH(QByteArray, bytes);
    QFETCH(Words, open);
    QFETCH(int, readKind);
    const bool program = file.isEmpty();
    QCOMPARE(program ? m_device->writeProgram(bytes, 12) : m_device->writeSystemFile(bytes, file), 0);
    QCOMPARE(program ? m_controller.program(12) : m_controller.file(file), bytes);
    if (!open.isEmpty())
        QCOMPARE(writesTo(kTransferCommand).first().values, open);
    m_controller.clearRequests();
    QByteArray back;
    QCOMPARE(program ? m_device->readProgram(&back, 12) : m_device->readSystemFile(&back, file), 0);
    QCOMPARE(back, bytes);
    if (!open.isEmpty()) {
        open[3] = quint16(readKind);
        QCOMPARE(writesTo(kTransferCommand).first().values, open);
    }
    QVERIFY(!m_device->isBusy());
}

void TstTransfer::directoryDecoded()
{
    m_controller.setProgram(1, QByteArray(1534, 'x'), QDate(2023, 5, 17));
    m_controller.setProgram(42, QByteArray(), QDate(2020, 1, 2));
    QList<ProgramEntry> list;
    QCOMPARE(m_device->readProgramList(&list, true), 0);
    QCOMPARE(list.size(), 2);
    QCOMPARE(list.at(0),
             (ProgramEntry{QStringLiteral("O0001"), QStringLiteral("2023/05/17"), QStringLiteral("1534B")}));
    QCOMPARE(list.at(1),
             (ProgramEntry{QStringLiteral("O0042"), QStringLiteral("2020/01/02"), QStringLiteral("0B")}));
    QCOMPARE(m_device->programDirectory(), list);

    const QVector<sim::Request> writes = writesTo(kTransferCommand);
    QCOMPARE(writes.size(), 1 + 3 + 1);
    QCOMPARE(writes.at(0).values, (Words{30, 0, 0, 0, 0}));
    QCOMPARE(writes.at(3).values, (Words{32, 0, 0, 3}));
    QCOMPARE(writes.at(4).values, (Words{31, 0, 0, 0, 0}));
    for (const sim::Request &r : m_controller.requests()) {
        if (r.function == 0x03)
            QCOMPARE(r.count, 38);
    }

    // Writing or deleting leaves the cache alone; reload false serves it.
    QCOMPARE(m_device->writeProgram(QByteArray("x"), 5), 0);
    m_controller.clearRequests();
    list.clear();
    QCOMPARE(m_device->readProgramList(&list, false), 0);
    QCOMPARE(list.size(), 2);
    QVERIFY(m_controller.requests().isEmpty());
}

void TstTransfer::cachedListServedWhileBusy()
{
    m_controller.setProgram(1, QByteArray("a"));
    m_controller.setProgram(2, QByteArray("b"));
    QList<ProgramEntry> list;
    QCOMPARE(m_device->readProgramList(&list, true), 0);
    QCOMPARE(list.size(), 2);
    m_controller.clearRequests();

    QList<ProgramEntry> nested;
    int cached = -1, reloaded = -1, read = -1, written = -1, deleted = -1;
    int requestsDuringNested = -1;
    QByteArray text("kept");
    onRequest([](const sim::Request &r) { return r.function == 0x10 && r.values.value(0) == 23; },
              [&] {
                  const int before = m_controller.requests().size();
                  cached = m_device->readProgramList(&nested, false);
                  reloaded = m_device->readProgramList(&nested, true);
                  read = m_device->readProgram(&text, 1);
                  written = m_device->writeProgram(QByteArray("y"), 2);
                  deleted = m_device->deleteProgram(1);
                  requestsDuringNested = m_controller.requests().size() - before;
              });
    QCOMPARE(m_device->writeProgram(patternBytes(1000), 3), 0);
    QCOMPARE(cached, 0);
    QCOMPARE(nested, list);
    QCOMPARE(reloaded, 9);
    QCOMPARE(read, 9);
    QCOMPARE(written, 9);
    QCOMPARE(deleted, 9);
    QCOMPARE(requestsDuringNested, 0);
    QCOMPARE(text, QByteArray("kept"));
    QCOMPARE(m_controller.program(2), QByteArray("b"));
}

void TstTransfer::notIdleSendsNothing_data()
{
    QTest::addColumn<int>("state"); // sim run state, or -1 for a device not yet polled
    QTest::newRow("running") << int(sim::RunState::Running);
    QTest::newRow("alarm") << int(sim::RunState::Alarm);
    QTest::newRow("not yet polled") << -1;
}

void TstTransfer::notIdleSendsNothing()
{
    QFETCH(int, state);
    m_controller.setProgram(1, QByteArray("keep"));
    ModbusDevice *device = m_device.get();
    std::unique_ptr<ModbusDevice> fresh;
    if (state >= 0) {
        m_controller.setRunState(sim::RunState(state));
        QTRY_COMPARE_WITH_TIMEOUT(m_device->pollState(), state == int(sim::RunState::Running) ? 1 : 2, 5000);
    } else {
        fresh = std::make_unique<ModbusDevice>();
        fresh->setRecord(m_device->record());
        fresh->open();
        fresh->tryConnect();
        QTRY_VERIFY_WITH_TIMEOUT(fresh->isReady(), 5000);
        QVERIFY(fresh->stateCode() != 3);
        device = fresh.get();
    }
    m_controller.clearRequests();
    QCOMPARE(device->writeProgram(QByteArray("new"), 1), 3);
    QCOMPARE(device->writeSystemFile(QByteArray("new"), QStringLiteral("SYS.PAR")), 3);
    QCOMPARE(device->deleteProgram(1), 3);
    QVERIFY(m_controller.requests().isEmpty());
    QCOMPARE(m_controller.program(1), QByteArray("keep"));
    QVERIFY(!device->isBusy());
    if (fresh)
        fresh->close();
}

void TstTransfer::readFailures_data()
{
    QTest::addColumn<int>("fault");
    QTest::addColumn<int>("result");
    QTest::addColumn<bool>("closeSent");
    QTest::addColumn<bool>("delivered");
    // 0 missing program, 1 chunk request refused, 2 chunk read refused,
    // 3 short chunk read, 4 byte count above 200, 5 close refused
    QTest::newRow("missing program: open refused") << 0 << 5 << false << false;
    QTest::newRow("chunk request refused") << 1 << 7 << false << false;
    QTest::newRow("chunk read refused") << 2 << 7 << false << false;
    QTest::newRow("chunk shorter than its count") << 3 << 7 << false << false;
    QTest::newRow("byte count above 200") << 4 << 7 << false << false;
    QTest::newRow("close refused") << 5 << 6 << true << true;
}

void TstTransfer::readFailures()
{
    QFETCH(int, fault);
    QFETCH(int, result);
    QFETCH(bool, closeSent);
    QFETCH(bool, delivered);

    const QByteArray bytes = patternBytes(450);
    m_controller.setProgram(5, bytes);
    const int number = fault == 0 ? 6 : 5;
    const auto isOpen = [](const sim::Request &r) { return r.function == 0x10 && r.values.value(0) == 20; };
    switch (fault) {
    case 1:
        onRequest(isOpen, [this] { m_controller.setExceptionAt(kTransferCommand); });
        break;
    case 2:
        // The five-register open covers the reply address too, so refuse reads
        // only once the transfer is open.
        onRequest(isOpen, [this] { m_controller.setExceptionAt(kTransferReply); });
        break;
    case 3:
        m_controller.setShortRead(kTransferReply, 3);
        break;
    case 4:
        m_controller.setChunkByteCount(201);
        break;
    case 5: {
        // The read of chunk 4 is the empty one; the close after it fails.
        auto reads = std::make_shared<int>(0);
        onRequest([reads](const sim::Request &r) { return r.function == 0x03 && ++*reads == 4; },
                  [this] { m_controller.setExceptionAt(kTransferCommand); });
        break;
    }
    }

    QByteArray text("kept");
    QCOMPARE(m_device->readProgram(&text, number), result);
    QCOMPARE(text, delivered ? bytes : QByteArray("kept"));
    const QVector<sim::Request> writes = writesTo(kTransferCommand);
    QCOMPARE(writes.last().values.value(0) == 21, closeSent);
    QVERIFY(!m_device->isBusy());
    QVERIFY(m_device->isReady());

    // The next operation opens afresh and works.
    m_controller.clearFaults();
    QObject::disconnect(m_hook);
    QCOMPARE(m_device->readProgram(&text, 5), 0);
    QCOMPARE(text, bytes);
}

void TstTransfer::writeFailures_data()
{
    QTest::addColumn<int>("fault"); // 0 open refused, 1 second chunk refused, 2 close refused
    QTest::addColumn<int>("result");
    QTest::addColumn<bool>("stored");
    QTest::newRow("open refused") << 0 << 5 << false;
    QTest::newRow("chunk refused") << 1 << 8 << false;
    QTest::newRow("close refused") << 2 << 6 << false;
    QTest::newRow("read back differs") << 3 << 12 << false; // the controller holds "other"
}

void TstTransfer::writeFailures()
{
    QFETCH(int, fault);
    QFETCH(int, result);
    QFETCH(bool, stored);

    m_controller.setProgram(8, QByteArray("old"));
    const QByteArray bytes = patternBytes(450);
    const auto isChunk = [](int n) {
        return [n](const sim::Request &r) {
            return r.function == 0x10 && r.values.value(0) == 23 && r.values.value(3) == n;
        };
    };
    if (fault == 0)
        m_controller.setExceptionAt(kTransferCommand);
    else if (fault == 1)
        onRequest(isChunk(1), [this] { m_controller.setExceptionAt(kTransferCommand); });
    else if (fault == 2)
        onRequest(isChunk(3), [this] { m_controller.setExceptionAt(kTransferCommand); });
    else
        onRequest([](const sim::Request &r) { return r.function == 0x10 && r.values.value(0) == 21; },
                  [this] { m_controller.setProgram(8, "other"); });

    QProgressBar bar;
    QCOMPARE(m_device->writeProgram(bytes, 8, into(&bar)), result);
    QCOMPARE(m_controller.program(8), stored ? bytes : QByteArray(fault == 3 ? "other" : "old"));
    const QVector<sim::Request> writes = writesTo(kTransferCommand);
    QCOMPARE(writes.last().values.value(0) == 21, fault >= 2);
    QCOMPARE(bar.value(), fault == 0 ? -1 : fault == 1 ? 44 : 100);
    QVERIFY(!m_device->isBusy());

    m_controller.clearFaults();
    QObject::disconnect(m_hook);
    QCOMPARE(m_device->writeProgram(bytes, 8), 0);
    QCOMPARE(m_controller.program(8), bytes);
}

void TstTransfer::directoryFailures_data()
{
    // 0 open refused, 1 third entry read refused, 2 close refused, 3 entries cut
    // short before the name's last byte
    QTest::addColumn<int>("fault");
    QTest::addColumn<int>("result");
    QTest::addColumn<int>("delivered"); // entries in the caller's list afterwards
    QTest::addColumn<int>("cached");
    QTest::newRow("open refused") << 0 << 5 << 1 << 0;
    QTest::newRow("entry read refused") << 1 << 7 << 1 << 0;
    QTest::newRow("close refused") << 2 << 6 << 4 << 4;
    QTest::newRow("entry cut short") << 3 << 7 << 1 << 0;
}

void TstTransfer::directoryFailures()
{
    QFETCH(int, fault);
    QFETCH(int, result);
    QFETCH(int, delivered);
    QFETCH(int, cached);

    for (int n : {1, 2, 3, 4})
        m_controller.setProgram(n, QByteArray("p"));
    QList<ProgramEntry> list{ProgramEntry{QStringLiteral("O7777"), QString(), QString()}};
    auto reads = std::make_shared<int>(0);
    if (fault == 0) {
        m_controller.setExceptionAt(kTransferCommand);
    } else if (fault == 1) {
        onRequest([reads](const sim::Request &r) { return r.function == 0x03 && ++*reads == 2; },
                  [this] { m_controller.setExceptionAt(kTransferReply); });
    } else if (fault == 3) {
        m_controller.setShortRead(kTransferReply, 7);
    } else {
        onRequest([reads](const sim::Request &r) { return r.function == 0x03 && ++*reads == 5; },
                  [this] { m_controller.setExceptionAt(kTransferCommand); });
    }
    QCOMPARE(m_device->readProgramList(&list, true), result);
    QCOMPARE(list.size(), delivered);
    QCOMPARE(m_device->programDirectory().size(), cached);
    QVERIFY(!m_device->isBusy());

    // Only a complete list is cached; otherwise the next call asks again.
    m_controller.clearFaults();
    QObject::disconnect(m_hook);
    m_controller.clearRequests();
    list.clear();
    QCOMPARE(m_device->readProgramList(&list, false), 0);
    QCOMPARE(list.size(), cached ? cached : 4);
    QCOMPARE(m_controller.requests().isEmpty(), cached > 0);
}

void TstTransfer::absenceAndSize_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("absentException"); // 0: the controller stays silent
    QTest::addColumn<int>("refusedOnce"); // > 0 this exception on the first open; < 0 text ends at chunk -n
    QTest::addColumn<int>("result");
    QTest::addColumn<bool>("absent");
    QTest::newRow("unlisted program, exception 3") << "O0006" << 3 << 0 << 5 << true;
    QTest::newRow("unlisted program, exception 4") << "O0006" << 4 << 0 << 5 << true;
    QTest::newRow("listed program refused: no absence") << "O0005" << 3 << 3 << 5 << false;
    QTest::newRow("missing file, exception 3") << "PLC.PAR" << 3 << 0 << 5 << true;
    QTest::newRow("missing file, exception 4") << "PLC.PAR" << 4 << 0 << 5 << true;
    QTest::newRow("missing file, busy twice") << "PLC.PAR" << 6 << 0 << 5 << false;
    QTest::newRow("missing file, no answer") << "PLC.PAR" << 0 << 0 << 5 << false;
    QTest::newRow("file refused once, then read") << "SYS.PAR" << 3 << 3 << 0 << false;
    QTest::newRow("program cut short at chunk 3") << "O0005" << 3 << -3 << 10 << false;
}

// Absence comes from the directory or a repeated refusal, never from one
// exception code; a program read short of its listed size is no text.
void TstTransfer::absenceAndSize()
{
    QFETCH(QString, name);
    QFETCH(int, absentException);
    QFETCH(int, refusedOnce);
    QFETCH(int, result);
    QFETCH(bool, absent);
    m_controller.setProgram(5, patternBytes(450));
    m_controller.setFile("SYS.PAR", "P1\n");
    m_controller.setAbsentException(quint8(absentException));
    m_server.setSilent(absentException == 0);
    if (refusedOnce > 0)
        m_controller.refuseOpen(name, quint8(refusedOnce));
    m_controller.setTextEndsAtChunk(-refusedOnce);
    const ControllerTexts::Current current =
        ControllerTexts::read(m_device.get(), TextTarget::fromName(name));
    m_server.setSilent(false);
    QCOMPARE(current.result, result);
    QCOMPARE(current.absent, absent);
    QCOMPARE(current.bytes, result == 0 ? QByteArray("P1\n") : QByteArray());
}

void TstTransfer::deleteProgram()
{
    m_controller.setProgram(31, QByteArray("x"));
    QList<ProgramEntry> list;
    QCOMPARE(m_device->readProgramList(&list, true), 0);
    m_controller.clearRequests();

    QCOMPARE(m_device->deleteProgram(31), 0);
    QCOMPARE(writesTo(kDeleteCommand).first().values, (Words{25, 0, 0, 1, 31}));
    QVERIFY(!m_controller.hasProgram(31));
    QCOMPARE(m_device->programDirectory(), list);

    QCOMPARE(m_device->deleteProgram(31), 8); // already gone: the controller refuses
    QCOMPARE(m_device->deleteProgram(65536 + 31), 8);
    m_controller.setProgram(31, QByteArray("x"));
    m_controller.setExceptionAt(kDeleteCommand);
    QCOMPARE(m_device->deleteProgram(31), 8);
    QVERIFY(m_controller.hasProgram(31));
    QVERIFY(!m_device->isBusy());
}

void TstTransfer::endlessGuards()
{
    TransferCodec::setReadLimits({50, 2000});

    // A directory of as many entries as the bound allows is whole.
    for (int n = 1; n <= 50; ++n)
        m_controller.setProgram(n, QByteArray("p"));
    QList<ProgramEntry> full;
    QCOMPARE(m_device->readProgramList(&full, true), 0);
    QCOMPARE(full.size(), 50);

    m_controller.setEndlessDirectory(true);
    QList<ProgramEntry> list{ProgramEntry{QStringLiteral("O7777"), QString(), QString()}};
    QCOMPARE(m_device->readProgramList(&list, true), 7);
    QCOMPARE(list.size(), 1);
    QCOMPARE(m_device->programDirectory().size(), 0);
    QVERIFY(!m_device->isBusy());

    m_controller.clearFaults();
    m_controller.setEndlessText(true);
    m_controller.setProgram(1, QByteArray("short"));
    QByteArray text("kept");
    m_controller.clearRequests();
    QCOMPARE(m_device->readProgram(&text, 1), 7);
    QCOMPARE(text, QByteArray("kept"));
    QVERIFY(writesTo(kTransferCommand).size() <= 1 + 2000 / 200 + 2);
    QVERIFY(!m_device->isBusy());
}

void TstTransfer::unsendableRefusedBeforeAnyRequest()
{
    const QString name(300, QLatin1Char('N'));
    QByteArray text("kept");
    QCOMPARE(m_device->readSystemFile(&text, name), 5);
    QCOMPARE(m_device->writeSystemFile(QByteArray("x"), name), 5);
    // Chunk numbers are one register: one byte beyond the largest text that
    // fits them cannot travel.
    QCOMPARE(m_device->writeProgram(QByteArray(Protocol::MaxTextBytes + 1, 'a'), 1), 5);
    // A number that does not fit the register must not reach program 12.
    QCOMPARE(m_device->writeProgram(QByteArray("lost"), 65536 + 12), 5);
    QCOMPARE(m_device->readProgram(&text, -1), 5);
    QVERIFY(m_controller.requests().isEmpty());
    QCOMPARE(text, QByteArray("kept"));
    QVERIFY(!m_device->isBusy());

    // The longest name that fits one write still travels whole.
    const QString longest(238, QLatin1Char('L'));
    QCOMPARE(m_device->writeSystemFile(QByteArray("y"), longest), 0);
    QCOMPARE(writesTo(kTransferCommand).first().values.size(), 123);
    QCOMPARE(m_controller.file(longest), QByteArray("y"));
}

void TstTransfer::progressBarDeletedMidTransfer()
{
    auto *bar = new QProgressBar;
    QPointer<QProgressBar> watch(bar);
    onRequest([](const sim::Request &r) { return r.function == 0x10 && r.values.value(3) == 2; },
              [bar] { delete bar; });
    const QByteArray bytes = patternBytes(1000);
    QCOMPARE(m_device->writeProgram(bytes, 4, into(bar)), 0);
    QVERIFY(watch.isNull());
    QCOMPARE(m_controller.program(4), bytes);
}

void TstTransfer::linkDroppedMidTransfer()
{
    m_controller.setProgram(2, patternBytes(3000));
    onRequest([](const sim::Request &r) { return r.function == 0x03; },
              [this] { m_server.dropConnections(); });
    QByteArray text("kept");
    const int result = m_device->readProgram(&text, 2);
    QVERIFY2(result == 7, qPrintable(QString::number(result)));
    QCOMPARE(text, QByteArray("kept"));
    QVERIFY(!m_device->isBusy());
    QTRY_VERIFY_WITH_TIMEOUT(!m_device->isReady(), 5000);
}

// Two links to one controller (two programs, or the window and a backup): a
// transfer of one never runs inside the other's; it waits for the lock within
// the wait bound and then says so.
void TstTransfer::oneTransferAtATimePerController()
{
    ModbusDevice other;
    other.setRecord(m_device->record());
    QVERIFY(TestSupport::connectUp(&other));
    QTRY_COMPARE(other.pollState(), 3);
    const QByteArray bytes = patternBytes(450);
    QByteArray read;
    QList<int> inside;
    QCOMPARE(m_device->writeProgram(bytes, 8,
                                    [&](qint64, qint64) {
                                        if (inside.isEmpty())
                                            inside << other.writeProgram(QByteArray("X"), 8)
                                                   << other.readProgram(&read, 8);
                                    }),
             0);
    QCOMPARE(inside, (QList<int>{Result::Locked, Result::Locked}));
    QCOMPARE(m_controller.program(8), bytes);
    QCOMPARE(other.readProgram(&read, 8), 0);
    QCOMPARE(read, bytes);
    other.close();
}

void TstTransfer::stationKeptForTheOperation_data()
{
    QTest::addColumn<int>("operation"); // 0 program written, 1 program read, 2 directory read
    QTest::newRow("program written") << 0;
    QTest::newRow("program read") << 1;
    QTest::newRow("directory read") << 2;
}

// The card edited while an operation runs: the operation's remaining requests
// still go to the station it started with.
void TstTransfer::stationKeptForTheOperation()
{
    QFETCH(int, operation);
    const QByteArray bytes = patternBytes(450);
    m_controller.setProgram(8, bytes);
    DeviceRecord edited = m_device->record();
    edited.Address = 11;
    onRequest([](const sim::Request &r) { return r.function == 0x10; }, [&] { m_device->setRecord(edited); });
    QByteArray read;
    QList<ProgramEntry> list;
    const int result = operation == 0   ? m_device->writeProgram(bytes, 9)
                       : operation == 1 ? m_device->readProgram(&read, 8)
                                        : m_device->readProgramList(&list, true);
    QCOMPARE(result, 0);
    QCOMPARE(operation == 0   ? m_controller.program(9)
             : operation == 1 ? read
                              : QByteArray(),
             operation == 2 ? QByteArray() : bytes);
    for (const sim::Request &r : m_controller.requests())
        QCOMPARE(int(r.station), 10);
}

QTEST_MAIN(TstTransfer)
#include "tst_transfer.moc"
