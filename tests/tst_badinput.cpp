#include "config/configstore.h"
#include "devices/devicewidget.h"
#include "devices/uploaddialog.h"
#include "link/modbusdevice.h"
#include "sim/controller.h"
#include "sim/faults.h"
#include "sim/servers.h"
#include "testsupport.h"

#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTreeWidgetItem>
#include <QtTest>

#include <atomic>
#include <fcntl.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

// Input nobody should hand the program, each with the outcome it gets: the
// configuration file in every wrong shape, texts longer than the widgets
// hold, local files that are not files, and a controller that answers as
// another station. Nothing may crash, block or be lost.
namespace {

const QHostAddress SimAddress(QStringLiteral("127.0.0.71"));
constexpr quint16 SimPort = 1502;

const QByteArray SampleConfigure =
    "<Configure>\n"
    "    <Device Type=\"1\" Name=\"Mill\" Model=\"0\" IP=\"10.0.0.5\" Address=\"10\"/>\n"
    "    <Set Language=\"1\"/>\n"
    "</Configure>\n";

// Makes `path` the named thing; the bytes a regular file holds, or empty.
QByteArray makeInput(const QString &kind, const QString &path)
{
    QByteArray bytes;
    if (kind == QLatin1String("malformed"))
        bytes = "<Configure><Device Type=\"1\" Name=\"a\"<Set/></Configure>";
    else if (kind == QLatin1String("truncated"))
        bytes = SampleConfigure.left(SampleConfigure.size() / 2);
    else if (kind == QLatin1String("binary"))
        bytes = QByteArray::fromHex("00ff3c436f6e666967757265fe00013e0d0a");
    else if (kind == QLatin1String("wrong root"))
        bytes = "<Settings><Device Name=\"x\"/></Settings>";
    else if (kind == QLatin1String("deeply nested"))
        bytes = "<Configure>" + QByteArray("<a>").repeated(30000) + QByteArray("</a>").repeated(30000) +
                "</Configure>";
    if (!bytes.isEmpty()) {
        writeAll(path, bytes);
    } else if (kind == QLatin1String("huge")) {
        // 100 MB of devices: read whole, they would stall the start for minutes.
        QFile f(path);
        const QByteArray block = QByteArray("<Device Name=\"x\"/>\n").repeated(64 * 1024);
        if (f.open(QIODevice::WriteOnly)) {
            f.write("<Configure>\n");
            while (f.size() < 100ll * 1024 * 1024)
                f.write(block);
            f.write("</Configure>\n");
        }
    } else if (kind == QLatin1String("folder")) {
        QDir().mkpath(path);
    } else if (kind == QLatin1String("named pipe")) {
        mkfifo(QFile::encodeName(path).constData(), 0600);
    } else if (kind == QLatin1String("unreadable")) {
        // Permissions do not stop root (CI runs as root); a link to itself
        // fails to open for everyone.
        QFile::link(path, path);
    }
    return bytes;
}

// Opens a named pipe for writing after a while, which frees a reader stuck
// in open(); a test that needed it has blocked.
class PipeWatchdog
{
public:
    explicit PipeWatchdog(const QString &path) : m_path(QFile::encodeName(path))
    {
        m_thread = std::thread([this] {
            for (int i = 0; i < 50 && !m_done; ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
            if (m_done)
                return;
            m_fired = true;
            const int fd = ::open(m_path.constData(), O_WRONLY | O_NONBLOCK);
            if (fd >= 0)
                ::close(fd);
        });
    }
    ~PipeWatchdog()
    {
        m_done = true;
        m_thread.join();
    }
    bool fired() const { return m_fired; }

private:
    QByteArray m_path;
    std::atomic<bool> m_done{false};
    std::atomic<bool> m_fired{false};
    std::thread m_thread;
};

} // namespace

class TestBadInput : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void configureFile_data();
    void configureFile();
    void readOnlyFolderKeepsFile();
    void longTexts_data();
    void longTexts();
    void localFiles_data();
    void localFiles();
    void answerFromAnotherStation_data();
    void answerFromAnotherStation();

private:
    QTemporaryDir m_dir;
};

void TestBadInput::initTestCase()
{
    QVERIFY(m_dir.isValid());
    QDir::setCurrent(m_dir.path());
}

void TestBadInput::configureFile_data()
{
    QTest::addColumn<QString>("kind");
    for (const char *kind : {"malformed", "truncated", "binary", "wrong root", "deeply nested", "huge",
                             "folder", "named pipe", "unreadable"})
        QTest::newRow(kind) << QString::fromLatin1(kind);
}

// Every one starts with the defaults, at once, and leaves the thing in place;
// the save at exit keeps a file that could not be read beside the new one.
void TestBadInput::configureFile()
{
    QFETCH(QString, kind);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Configure.xml"));
    const QByteArray bytes = makeInput(kind, path);
    ConfigStore *store = ConfigStore::instance();
    store->resetToDefaults();
    store->setLanguage(7);

    QElapsedTimer clock;
    clock.start();
    {
        PipeWatchdog watchdog(path);
        store->loadFrom(path);
        QVERIFY2(!watchdog.fired(), "reading the configuration blocked");
    }
    QVERIFY(clock.elapsed() < 2000); // a huge file is refused by its size, not read for minutes
    QVERIFY(store->devices().isEmpty());
    QCOMPARE(store->language(), 7); // nothing read, nothing changed
    if (!bytes.isEmpty())
        QCOMPARE(readAll(path), bytes);
    QCOMPARE(QFileInfo(path).isDir(), kind == QLatin1String("folder"));

    const DeviceRecord record{1, QStringLiteral("Lathe"), 1, QStringLiteral("10.0.0.6"), 3};
    const bool saved = store->saveTo(path, {record});
    const QString kept = path + QStringLiteral(".broken");
    if (kind == QLatin1String("folder")) {
        QVERIFY(!saved);
        QVERIFY(QFileInfo(path).isDir());
    } else if (kind == QLatin1String("huge")) {
        QVERIFY(saved);
        QVERIFY(QFileInfo(kept).size() > 100ll * 1024 * 1024);
    } else if (!bytes.isEmpty()) {
        QVERIFY(saved);
        QCOMPARE(readAll(kept), bytes);
    }
}

// Where the folder cannot take a new file, the save may fail, but the file
// that was there is either the old one or the new one, whole.
void TestBadInput::readOnlyFolderKeepsFile()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Configure.xml"));
    QVERIFY(writeAll(path, SampleConfigure));
    QVERIFY(QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::ExeOwner));
    ConfigStore *store = ConfigStore::instance();
    store->resetToDefaults();
    const DeviceRecord record{1, QStringLiteral("Lathe"), 1, QStringLiteral("10.0.0.6"), 3};
    const bool saved = store->saveTo(path, {record});
    QVERIFY(QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));

    store->loadFrom(path);
    const QList<DeviceRecord> devices = store->devices();
    QCOMPARE(devices.size(), 1);
    QCOMPARE(devices.first().Name, saved ? QStringLiteral("Lathe") : QStringLiteral("Mill"));
    if (!saved)
        QCOMPARE(readAll(path), SampleConfigure);
}

void TestBadInput::longTexts_data()
{
    QTest::addColumn<int>("length");
    QTest::newRow("a line edit's default maximum") << 32767;
    QTest::newRow("beyond it") << 40000;
}

// A name or address text longer than a line edit holds by default is kept
// whole, through the card and through a save and a load.
void TestBadInput::longTexts()
{
    QFETCH(int, length);
    DeviceRecord record;
    record.Type = 1;
    record.Name = QString(length, QChar(0x8F66));
    record.IP = QString(length, QLatin1Char('9'));
    deviceWidget card;
    card.setRecord(record);
    card.setCurrentIndex(1); // the setting page, built from the record
    QCOMPARE(card.findChild<QLineEdit *>(QStringLiteral("lineEdit_deviceName"))->text().size(), length);
    QCOMPARE(card.record().Name.size(), length);
    QCOMPARE(card.record().IP.size(), length);

    const QString path = m_dir.filePath(QStringLiteral("long.xml"));
    ConfigStore *store = ConfigStore::instance();
    QVERIFY(store->saveTo(path, {card.record()}));
    store->resetToDefaults();
    store->loadFrom(path);
    QCOMPARE(store->devices().value(0).Name, record.Name);
}

void TestBadInput::localFiles_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<bool>("readable");
    QTest::addColumn<bool>("listed");
    QTest::newRow("binary") << "binary" << true << true;
    QTest::newRow("empty") << "empty" << true << true;
    QTest::newRow("named pipe") << "named pipe" << false << false;
    QTest::newRow("dangling link") << "dangling link" << false << false;
}

// A local file the user drops or opens: read as text when it is a file (a
// binary one as the text its bytes decode to), refused at once when it is a
// pipe or names nothing, and then not listed for upload.
void TestBadInput::localFiles()
{
    QFETCH(QString, kind);
    QFETCH(bool, readable);
    QFETCH(bool, listed);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("O0005.nc"));
    if (kind == QLatin1String("binary"))
        QVERIFY(writeAll(path, QByteArray::fromHex("00fffe01a0e4b8ad0d0a80")));
    else if (kind == QLatin1String("empty"))
        QVERIFY(writeAll(path, QByteArray()));
    else if (kind == QLatin1String("named pipe"))
        QCOMPARE(mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    else
        QVERIFY(QFile::link(dir.filePath(QStringLiteral("gone")), path));

    QString text = QStringLiteral("kept");
    {
        PipeWatchdog watchdog(path);
        QCOMPARE(ConfigStore::readTextFile(path, &text), readable);
        QVERIFY2(!watchdog.fired(), "reading the file blocked");
    }
    QCOMPARE(text == QLatin1String("kept"), !readable);

    UpLoadDialog dialog;
    dialog.insertFile(QFileInfo(path));
    QCOMPARE(dialog.programRoot()->childCount() + dialog.fileRoot()->childCount(), listed ? 1 : 0);
}

void TestBadInput::answerFromAnotherStation_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("expected");
    // Modbus TCP pairs an answer with its request by the transaction number
    // alone, so the client takes it (the unit number is the gateway's
    // business); on a serial line the station address is all there is, and
    // the client waits for the right one until the time-out.
    QTest::newRow("tcp") << 1 << 0;
    QTest::newRow("rtu") << 0 << 7;
}

// Every answer comes from the next station address: the operation ends within
// its bound, and the device is free afterwards.
void TestBadInput::answerFromAnotherStation()
{
    QFETCH(int, type);
    QFETCH(int, expected);
    sim::Controller controller;
    controller.setStationAddress(10);
    controller.setInputWord(0, 0x1234);
    sim::FaultInjector faults(&controller, 1, 1000);
    faults.setKinds({sim::Fault::OtherStation});
    faults.setEnabled(false); // the link set-up goes through first
    sim::TcpServer tcp(&controller);
    sim::RtuServer rtu(&controller);
    sim::PtyPair pty;
    ModbusSettings settings = ConfigStore::instance()->modbusSettings();
    if (type == 1) {
        tcp.setFaultInjector(&faults);
        QVERIFY(tcp.listen(SimAddress, SimPort));
        settings.NetworkPort = SimPort;
    } else {
        if (!pty.start())
            QSKIP("no pseudo-terminal pair (socat missing or failing)");
        rtu.setFaultInjector(&faults);
        QVERIFY(rtu.open(pty.first()));
        settings.Port = pty.second();
        settings.BaudRate = 115200;
        settings.Parity = int(QSerialPort::OddParity);
        settings.DataBits = 8;
        settings.StopBits = 1;
    }
    settings.Timeout = 100;
    settings.NumberOfRetries = 0;
    ConfigStore::instance()->setModbusSettings(settings);

    ModbusDevice device;
    DeviceRecord record = device.record();
    record.Type = type;
    record.IP = SimAddress.toString();
    record.Address = 10;
    device.setRecord(record);
    device.open();
    device.tryConnect();
    QTRY_VERIFY_WITH_TIMEOUT(device.isReady(), 10000);
    faults.setEnabled(true);
    IoStatus io;
    QElapsedTimer clock;
    clock.start();
    QCOMPARE(device.readIo(&io), expected);
    // The bound is the point: the 100 ms time-out holds, not the default 4 x 300 ms.
    QVERIFY(clock.elapsed() < 100 + 1000);
    if (expected == 0)
        QCOMPARE(io.inputs.value(0), quint16(0x1234));
    QVERIFY(!device.isBusy());
}

QTEST_MAIN(TestBadInput)
#include "tst_badinput.moc"
