// Time and memory of moving a 1 MB program to the simulator and back over
// loopback (127.0.0.4:1502).
#include "config/configstore.h"
#include "link/modbusdevice.h"
#include "sim/controller.h"
#include "sim/servers.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QFile>
#include <QHostAddress>

#include <cstdio>
#include <functional>

namespace {

// Peak and current resident set in kB, from the kernel's view of this process.
void residentKb(long *peak, long *current)
{
    *peak = *current = -1;
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            *peak = line.mid(6).trimmed().split(' ').value(0).toLong();
        else if (line.startsWith("VmRSS:"))
            *current = line.mid(6).trimmed().split(' ').value(0).toLong();
    }
}

bool waitFor(const std::function<bool()> &condition, int ms)
{
    QDeadlineTimer deadline(ms);
    while (!condition()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int size = argc > 1 ? QByteArray(argv[1]).toInt() : 1024 * 1024;

    sim::Controller controller;
    sim::TcpServer server(&controller);
    if (!server.listen(QHostAddress(QStringLiteral("127.0.0.4")), 1502)) {
        std::fprintf(stderr, "cannot listen on 127.0.0.4:1502\n");
        return 1;
    }
    ModbusSettings settings = ConfigStore::instance()->modbusSettings();
    settings.NetworkPort = 1502;
    settings.Timeout = 1000;
    settings.NumberOfRetries = 0;
    ConfigStore::instance()->setModbusSettings(settings);

    ModbusDevice device;
    DeviceRecord record = device.record();
    record.Type = 1;
    record.IP = QStringLiteral("127.0.0.4");
    record.Address = 10;
    device.setRecord(record);
    device.open();
    device.tryConnect();
    if (!waitFor([&] { return device.isReady(); }, 5000) ||
        !waitFor([&] { return device.pollState() == 3; }, 5000)) {
        std::fprintf(stderr, "device did not become ready and idle\n");
        return 1;
    }

    QByteArray bytes(size, '\0');
    for (int i = 0; i < size; ++i)
        bytes[i] = (i % 61 == 60) ? '\n' : static_cast<char>('A' + (i * 7) % 26);
    const QString text = QString::fromLatin1(bytes);

    long peak0, rss0, peak1, rss1, peak2, rss2;
    residentKb(&peak0, &rss0);
    QElapsedTimer timer;
    timer.start();
    const int written = device.writeProgram(text, 1);
    const qint64 writeMs = timer.elapsed();
    residentKb(&peak1, &rss1);

    QString back;
    timer.restart();
    const int read = device.readProgram(&back, 1);
    const qint64 readMs = timer.elapsed();
    residentKb(&peak2, &rss2);

    const bool exact = controller.program(1) == bytes && back == text;
    const double mb = size / (1024.0 * 1024.0);
    std::printf("text: %d bytes (%d chunks each way)\n", size, size / 200 + 1);
    std::printf("write: result %d, %lld ms, %.2f MB/s\n", written, static_cast<long long>(writeMs),
                writeMs > 0 ? mb * 1000.0 / writeMs : 0.0);
    std::printf("read:  result %d, %lld ms, %.2f MB/s\n", read, static_cast<long long>(readMs),
                readMs > 0 ? mb * 1000.0 / readMs : 0.0);
    std::printf(
        "resident set: %ld kB before, %ld kB after write, %ld kB after read; peak %ld -> %ld -> %ld kB\n",
        rss0, rss1, rss2, peak0, peak1, peak2);
    std::printf("byte-exact: %s\n", exact ? "yes" : "no");
    device.close();
    return written == 0 && read == 0 && exact ? 0 : 1;
}
