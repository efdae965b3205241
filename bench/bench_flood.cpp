// How a controller streaming unsolicited Modbus TCP frames at a given rate
// holds up the program: a device connects to a server thread that sends valid
// frames nobody asked for, and a 10 ms timer on the GUI thread measures how
// late the event loop gets. Prints, per rate, the longest and the mean delay.
// The flood lasts the given time; a client it froze then catches up, so the
// longest delay also says how long the program stayed frozen.
// Usage: bench_flood [seconds per rate]   (loopback 127.0.0.74)
#include "config/configstore.h"
#include "link/modbusdevice.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

constexpr const char *Address = "127.0.0.74";

// Accepts one connection and sends `bytesPerSecond` of 11-byte read replies
// with transaction numbers the client never used, until told to stop.
class Flood
{
public:
    Flood(quint16 port, double bytesPerSecond, int seconds) : m_rate(bytesPerSecond), m_seconds(seconds)
    {
        m_listener = ::socket(AF_INET, SOCK_STREAM, 0);
        const int one = 1;
        ::setsockopt(m_listener, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_port = htons(port);
        ::inet_pton(AF_INET, Address, &addr.sin_addr);
        m_ok = ::bind(m_listener, reinterpret_cast<sockaddr *>(&addr), sizeof addr) == 0 &&
               ::listen(m_listener, 1) == 0;
        m_thread = std::thread([this] { run(); });
    }
    ~Flood()
    {
        m_stop = true;
        ::shutdown(m_listener, SHUT_RDWR);
        m_thread.join();
        ::close(m_listener);
    }
    bool ok() const { return m_ok; }
    double sentMegabytes() const { return m_sent / 1e6; }

private:
    void run()
    {
        const int client = ::accept(m_listener, nullptr, nullptr);
        if (client < 0)
            return;
        std::vector<char> frame{0, 0, 0, 0, 0, 5, 10, 3, 2, 0, 0};
        std::vector<char> batch;
        const auto start = std::chrono::steady_clock::now();
        quint16 transaction = 0x8000;
        while (!m_stop) {
            const double elapsed =
                std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
            // The flood stops by itself, so a client it froze can catch up.
            if (elapsed > m_seconds)
                break;
            const double due = m_rate * elapsed - double(m_sent);
            if (due < double(frame.size())) {
                std::this_thread::sleep_for(std::chrono::microseconds(200));
                continue;
            }
            batch.clear();
            for (double n = 0; n + frame.size() <= due && batch.size() < 65536; n += frame.size()) {
                frame[0] = char(transaction >> 8);
                frame[1] = char(transaction & 0xFF);
                ++transaction;
                batch.insert(batch.end(), frame.begin(), frame.end());
            }
            const ssize_t written = ::send(client, batch.data(), batch.size(), MSG_NOSIGNAL);
            if (written <= 0)
                break;
            m_sent += written;
        }
        // Keep the connection until told, so the client reads all that was sent.
        while (!m_stop)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        ::close(client);
    }

    double m_rate;
    int m_seconds;
    int m_listener = -1;
    bool m_ok = false;
    std::atomic<bool> m_stop{false};
    std::atomic<qint64> m_sent{0};
    std::thread m_thread;
};

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int seconds = argc > 1 ? qMax(1, atoi(argv[1])) : 3;
    const double rates[] = {0.25e6, 0.5e6, 1e6, 2e6, 4e6, 8e6, 16e6};
    std::printf("%12s %14s %14s %12s\n", "rate MB/s", "sent MB/s", "longest ms", "mean ms");
    quint16 port = 15020;
    for (const double rate : rates) {
        Flood flood(++port, rate, seconds);
        if (!flood.ok()) {
            std::printf("cannot listen on %s:%u\n", Address, unsigned(port));
            return 1;
        }
        ModbusSettings settings = ConfigStore::instance()->modbusSettings();
        settings.NetworkPort = port;
        settings.Timeout = 300;
        settings.NumberOfRetries = 0;
        ConfigStore::instance()->setModbusSettings(settings);
        ModbusDevice device;
        DeviceRecord record = device.record();
        record.IP = QString::fromLatin1(Address);
        device.setRecord(record);
        device.open();
        device.tryConnect();

        QElapsedTimer clock;
        clock.start();
        qint64 last = 0, longest = 0, total = 0, ticks = 0;
        QTimer tick;
        QObject::connect(&tick, &QTimer::timeout, [&] {
            const qint64 now = clock.elapsed();
            const qint64 late = qMax<qint64>(0, now - last - 10);
            longest = qMax(longest, late);
            total += late;
            ++ticks;
            last = now;
            if (now > seconds * 1000 + 500)
                app.quit();
        });
        tick.start(10);
        app.exec();
        device.close();
        const double sent = flood.sentMegabytes() / (clock.elapsed() / 1000.0);
        std::printf("%12s %14.1f %14lld %12.1f\n", qPrintable(QString::number(rate / 1e6)), sent, longest,
                    ticks ? double(total) / double(ticks) : 0.0);
        std::fflush(stdout);
    }
    return 0;
}
