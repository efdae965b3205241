// Start-up of the program with many devices: the time from starting the
// process to its main window shown and painted, and the peak resident memory
// by then, for Configure.xml files of 0, 64, 128 and 1,000 devices.
//
//   bench/bench_startup [rounds = 5]
//
// Each measurement is a fresh process (this program started again with
// --child, which does what main() does and reports once the window is on the
// screen), in a temporary folder holding the Configure.xml. The device counts
// are interleaved round by round, so a machine busy with something else for a
// while touches every count alike. Offscreen platform; no network is used
// (the cards start switched off). Each child then adds one more card with the
// add button, timed up to painted.
#include "app/mainwindow.h"
#include "bench/benchclock.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTextStream>
#include <QtTest>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace {

using BenchClock::median;

long statusKb(const char *field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith(field))
            return line.mid(int(qstrlen(field))).trimmed().split(' ').value(0).toLong();
    }
    return -1;
}

// What main() does, up to the window on the screen and painted.
int runChild(int argc, char **argv)
{
    QApplication app(argc, argv);
    MainWindow window;
    window.show();
    if (!QTest::qWaitForWindowExposed(&window))
        return 1;
    QCoreApplication::processEvents(); // layouts and the first paint
    QCoreApplication::processEvents();
    const long peakKb = statusKb("VmHWM:");
    // Then one more card, as the add button makes it, up to painted.
    auto *add = window.findChild<QPushButton *>(QStringLiteral("pushButton_addDevice"));
    if (!add)
        return 1;
    QElapsedTimer clock;
    clock.start();
    add->click();
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    std::printf("shown %ld %.2f\n", peakKb, clock.nsecsElapsed() / 1e6);
    std::fflush(stdout);
    // Leaving without tearing down: the measurement ends with the window shown.
    std::_Exit(0);
}

void writeConfiguration(const QString &folder, int devices)
{
    QFile file(folder + QStringLiteral("/Configure.xml"));
    if (!file.open(QIODevice::WriteOnly))
        return;
    QTextStream out(&file);
    out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Configure>\n";
    for (int i = 0; i < devices; ++i)
        out << QStringLiteral("<Device Type=\"%1\" Name=\"machine %2\" Model=\"%3\" IP=\"192.168.%4.%5\" "
                              "Address=\"%6\"/>\n")
                   .arg(i % 5 == 4 ? 0 : 1)
                   .arg(i + 1)
                   .arg(i % 3)
                   .arg(3 + i / 250)
                   .arg(1 + i % 250)
                   .arg(1 + i % 247);
    out << "<Modbus Port=\"COM3\" Parity=\"3\" BaudRate=\"115200\" DataBits=\"8\" StopBits=\"1\" "
           "NumberOfRetries=\"3\" Timeout=\"300\"/>\n<Set Language=\"0\"/>\n</Configure>\n";
}

struct Sample
{
    double ms = 0;
    long peakKb = 0;
    double addMs = 0;
};

bool measure(const QString &program, const QString &folder, Sample *sample)
{
    QProcess child;
    child.setWorkingDirectory(folder);
    child.setProcessChannelMode(QProcess::SeparateChannels);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    child.setProcessEnvironment(env);
    QElapsedTimer clock;
    clock.start();
    child.start(program, {QStringLiteral("--child")});
    while (!child.canReadLine()) {
        if (!child.waitForReadyRead(60000))
            return false;
    }
    sample->ms = clock.nsecsElapsed() / 1e6;
    const QByteArray line = child.readLine().trimmed();
    const QList<QByteArray> fields = line.split(' ');
    sample->peakKb = fields.value(1).toLong();
    sample->addMs = fields.value(2).toDouble();
    child.waitForFinished(10000);
    return line.startsWith("shown");
}

} // namespace

int main(int argc, char **argv)
{
    if (argc > 1 && QByteArray(argv[1]) == "--child")
        return runChild(argc, argv);

    QCoreApplication app(argc, argv);
    const int rounds = argc > 1 ? qMax(1, QByteArray(argv[1]).toInt()) : 5;
    const QList<int> counts{0, 64, 128, 1000};
    QTemporaryDir dir;
    if (!dir.isValid())
        return 1;
    for (int n : counts) {
        QDir(dir.path()).mkdir(QString::number(n));
        writeConfiguration(dir.filePath(QString::number(n)), n);
    }

    QHash<int, QVector<double>> times;
    QHash<int, QVector<double>> peaks;
    QHash<int, QVector<double>> adds;
    std::printf("| round |");
    for (int n : counts)
        std::printf(" %d devices: ms, peak MiB |", n);
    std::printf("\n|---|");
    for (int i = 0; i < counts.size(); ++i)
        std::printf("---|");
    std::printf("\n");
    for (int round = 1; round <= rounds; ++round) {
        std::printf("| %d |", round);
        // Interleaved, and in another order each round.
        QList<int> order = counts;
        std::rotate(order.begin(), order.begin() + (round - 1) % order.size(), order.end());
        QHash<int, Sample> row;
        for (int n : order) {
            Sample s;
            if (!measure(QCoreApplication::applicationFilePath(), dir.filePath(QString::number(n)), &s)) {
                std::fprintf(stderr, "the program with %d devices did not show its window\n", n);
                return 1;
            }
            row.insert(n, s);
            times[n] << s.ms;
            peaks[n] << s.peakKb / 1024.0;
            adds[n] << s.addMs;
        }
        for (int n : counts)
            std::printf(" %.0f, %.1f |", row.value(n).ms, row.value(n).peakKb / 1024.0);
        std::printf("\n");
        std::fflush(stdout);
    }

    std::printf(
        "\nmedians over %d rounds:\n\n| devices | start-up, ms | ratio to 0 devices | peak resident, MiB "
        "| per device, ms | per device, KiB | one more card (the add button), ms "
        "|\n|---|---|---|---|---|---|---|\n",
        rounds);
    const double base = median(times.value(0));
    const double basePeak = median(peaks.value(0));
    for (int n : counts) {
        const double t = median(times.value(n));
        const double p = median(peaks.value(n));
        std::printf("| %d | %.0f | %.2f | %.1f | %s | %s | %.1f |\n", n, t, t / base, p,
                    n ? qPrintable(QString::number((t - base) / n, 'f', 2)) : "",
                    n ? qPrintable(QString::number((p - basePeak) * 1024 / n, 'f', 0)) : "",
                    median(adds.value(n)));
    }
    return 0;
}
