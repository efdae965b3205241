// A shop of 64 controllers on loopback, all switched on, the POS page showing
// the selected one; then one controller stops answering with its connection
// open (a hung controller, or a cable cut behind a switch). How often does
// every other card still poll its controller, how often does the POS page
// still refresh, and what does it cost?
//
//   bench/bench_silent [seconds per phase = 20] [rounds = 3] [history]
//
// With `history`, nobody goes silent: each round measures the shop with and
// without recording its history (the recorder on the window's fleet, its
// polls reading the counters too), in alternating order.
//
// Run it in a network namespace of its own. The controllers run in a second
// process (this program started again with --farm): 64 simulators on
// 127.0.1.1 to 127.0.1.64, port 1502, each noting when a status read (the
// card's poll) and a position read (the POS page) reaches it. The program's
// side is the real main window with the 64 devices of a Configure.xml,
// time-out 300 ms and 3 retries, card 32 selected.
//
// Each round measures four phases, in this order: nobody silent; a card far
// from the selected one silent (card 5); the selected card's neighbour silent
// (card 33); the selected card itself silent. Between phases the silent
// controller answers again and its card reconnects.
#include "app/mainwindow.h"
#include "bench/benchclock.h"
#include "config/configstore.h"
#include "devices/devicemanager.h"
#include "devices/devicewidget.h"
#include "history/fleetrecording.h"
#include "history/historyrecorder.h"
#include "historyview/shophistory.h"
#include "link/modbusdevice.h"
#include "sim/controller.h"
#include "sim/servers.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QHash>
#include <QHostAddress>
#include <QProcess>
#include <QSocketNotifier>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

namespace {

using BenchClock::cpuSeconds;
using BenchClock::runFor;
using BenchClock::Spread;
using BenchClock::spreadOf;
using BenchClock::waitFor;

constexpr int Controllers = 64;
constexpr quint16 Port = 1502;
constexpr int Selected = 32; // card numbers count from 1, as the addresses do
constexpr int Far = 5;
constexpr int Neighbour = 33;
constexpr quint16 StatusBlock = 0x3E00;
constexpr quint16 CounterBlock = 0x1000;

QString addressOf(int card)
{
    return QStringLiteral("127.0.1.%1").arg(card);
}

// ---- the controllers' process -------------------------------------------

struct Node
{
    sim::Controller controller;
    sim::TcpServer server{&controller};
    QVector<qint64> polls;     // µs on the farm's clock
    QVector<qint64> positions; // µs
};

int runFarm()
{
    QElapsedTimer clock;
    clock.start();
    std::vector<std::unique_ptr<Node>> nodes;
    for (int card = 1; card <= Controllers; ++card) {
        auto node = std::make_unique<Node>();
        node->controller.setRequestLogLimit(1);
        if (!node->server.listen(QHostAddress(addressOf(card)), Port)) {
            std::printf("cannot listen on %s:%d\n", qPrintable(addressOf(card)), Port);
            std::fflush(stdout);
            return 1;
        }
        Node *n = node.get();
        QObject::connect(&n->controller, &sim::Controller::requestHandled, &n->controller,
                         [n, &clock](const sim::Request &r) {
                             if (r.function != 0x03)
                                 return;
                             if (r.address == StatusBlock)
                                 n->polls << clock.nsecsElapsed() / 1000;
                             else if (r.address == CounterBlock)
                                 n->positions << clock.nsecsElapsed() / 1000;
                         });
        nodes.push_back(std::move(node));
    }

    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QFile in;
    if (!in.open(STDIN_FILENO, QIODevice::ReadOnly))
        return 1;
    QObject::connect(&input, &QSocketNotifier::activated, [&] {
        const QByteArray line = in.readLine().trimmed();
        const QList<QByteArray> words = line.split(' ');
        const int card = words.value(1).toInt();
        if (line.isEmpty() || words.first() == "quit") {
            QCoreApplication::quit();
            return;
        }
        if (words.first() == "silent" && card >= 1 && card <= Controllers) {
            nodes[size_t(card - 1)]->server.setSilent(true);
        } else if (words.first() == "answer" && card >= 1 && card <= Controllers) {
            nodes[size_t(card - 1)]->server.setSilent(false);
        } else if (words.first() == "report") {
            // One line per controller: "k polls... | positions...", then "end".
            for (int i = 0; i < Controllers; ++i) {
                Node *n = nodes[size_t(i)].get();
                QByteArray out = QByteArray::number(i + 1);
                for (qint64 t : qAsConst(n->polls))
                    out += ' ' + QByteArray::number(t);
                out += " |";
                for (qint64 t : qAsConst(n->positions))
                    out += ' ' + QByteArray::number(t);
                std::printf("%s\n", out.constData());
                n->polls.clear();
                n->positions.clear();
            }
            std::printf("end\n");
        }
        std::printf("ok\n");
        std::fflush(stdout);
    });
    std::printf("ready\n");
    std::fflush(stdout);
    return QCoreApplication::exec();
}

// ---- the program's process ----------------------------------------------

QVector<double> periodsOf(const QVector<qint64> &times)
{
    QVector<double> periods;
    for (int i = 1; i < times.size(); ++i)
        periods << (times.at(i) - times.at(i - 1)) / 1000.0;
    return periods;
}

class Farm
{
public:
    bool start(const QString &program)
    {
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process.start(program, {QStringLiteral("--farm")});
        return m_process.waitForStarted() && readLine(10000) == "ready";
    }
    ~Farm()
    {
        m_process.write("quit\n");
        if (!m_process.waitForFinished(3000))
            m_process.kill();
        m_process.waitForFinished(3000);
    }
    void command(const QByteArray &line)
    {
        m_process.write(line + '\n');
        while (readLine(10000) != "ok") {
        }
    }
    // Status-read and position-read times per controller since the last report.
    void report(QHash<int, QVector<qint64>> *polls, QHash<int, QVector<qint64>> *positions)
    {
        m_process.write("report\n");
        for (QByteArray line = readLine(10000); line != "end" && !line.isNull(); line = readLine(10000)) {
            const QList<QByteArray> halves = line.split('|');
            QList<QByteArray> words = halves.value(0).trimmed().split(' ');
            const int card = words.takeFirst().toInt();
            for (const QByteArray &w : qAsConst(words))
                (*polls)[card] << w.toLongLong();
            for (const QByteArray &w : halves.value(1).trimmed().split(' ')) {
                if (!w.isEmpty())
                    (*positions)[card] << w.toLongLong();
            }
        }
        readLine(10000); // ok
    }

private:
    QByteArray readLine(int ms)
    {
        while (!m_process.canReadLine()) {
            if (!m_process.waitForReadyRead(ms))
                return QByteArray();
        }
        return m_process.readLine().trimmed();
    }
    QProcess m_process;
};

struct Phase
{
    const char *name;
    int silent; // card number, 0 for none
};

void measure(Farm *farm, const Phase &phase, int seconds, int round)
{
    if (phase.silent)
        farm->command("silent " + QByteArray::number(phase.silent));
    QHash<int, QVector<qint64>> polls, positions;
    farm->report(&polls, &positions); // starts the window afresh
    polls.clear();
    positions.clear();
    QElapsedTimer wall;
    wall.start();
    const double cpu0 = cpuSeconds();
    runFor(seconds * 1000);
    const double cpu = cpuSeconds() - cpu0;
    const double elapsed = wall.nsecsElapsed() / 1e9;
    farm->report(&polls, &positions);

    // Per healthy card: its poll periods; the figures are the spread over cards.
    QVector<double> medians, p99s, maxima;
    int over600 = 0;
    int pollsSeen = 0;
    for (int card = 1; card <= Controllers; ++card) {
        if (card == phase.silent)
            continue;
        const Spread s = spreadOf(periodsOf(polls.value(card)));
        pollsSeen += polls.value(card).size();
        medians << s.median;
        p99s << s.p99;
        maxima << s.max;
        over600 += s.p99 > 600 || s.count == 0;
    }
    const Spread ofMedians = spreadOf(medians);
    const Spread ofP99 = spreadOf(p99s);
    const Spread ofMax = spreadOf(maxima);
    const Spread pos = spreadOf(periodsOf(positions.value(Selected)));
    std::printf("| %d | %s | %.1f | %.1f %% | %d | %.0f | %.0f | %.0f / %.0f | %.0f | %d | %d | %.0f / %.0f "
                "/ %.0f |\n",
                round, phase.name, elapsed, 100.0 * cpu / elapsed, pollsSeen, ofMedians.median, ofMedians.max,
                ofP99.median, ofP99.max, ofMax.max, over600, int(positions.value(Selected).size()),
                pos.median, pos.p99, pos.max);
    std::fflush(stdout);

    if (phase.silent) {
        farm->command("answer " + QByteArray::number(phase.silent));
        // Back to normal: every card ready again, and a few periods to settle.
        const QList<deviceWidget *> cards = DeviceManager::instance()->cards();
        waitFor(
            [&] {
                return std::all_of(cards.begin(), cards.end(),
                                   [](deviceWidget *c) { return c->device()->isReady(); });
            },
            120000);
        runFor(3000);
    }
}

int runShop(int seconds, int rounds, bool history)
{
    QTemporaryDir dir;
    if (!dir.isValid() || !QDir::setCurrent(dir.path()))
        return 1;
    BenchClock::writeConfiguration(Controllers, addressOf);

    Farm farm;
    if (!farm.start(QCoreApplication::applicationFilePath())) {
        std::fprintf(stderr, "the simulated controllers did not start (run in a network namespace: "
                             "unshare -n sh -c 'ip link set lo up && ...')\n");
        return 1;
    }

    ConfigStore *config = ConfigStore::instance();
    ModbusSettings settings = config->modbusSettings();
    settings.NetworkPort = Port;
    config->setModbusSettings(settings);

    MainWindow window;
    window.show();
    // The history phases record on their own; the silent ones as the window does.
    if (history)
        delete window.findChild<ShopHistory *>();
    const QList<deviceWidget *> cards = DeviceManager::instance()->cards();
    if (cards.size() != Controllers)
        return 1;
    for (deviceWidget *card : cards)
        card->findChild<QCheckBox *>(QStringLiteral("checkBox_toConnect"))->setChecked(true);
    emit cards.at(Selected - 1)->signDoubleClicked();
    if (!waitFor(
            [&] {
                return std::all_of(cards.begin(), cards.end(),
                                   [](deviceWidget *c) { return c->device()->isReady(); });
            },
            60000)) {
        std::fprintf(stderr, "not every card connected\n");
        return 1;
    }
    runFor(3000);

    std::printf("%d controllers, time-out %d ms x %d attempts, %d s per phase; card %d selected, POS page "
                "shown\n\n",
                Controllers, settings.Timeout, settings.NumberOfRetries + 1, seconds, Selected);
    std::printf(
        "| round | silent | window, s | CPU (one core) | polls | poll period median, ms (median card) | "
        "median (worst card) | p99, ms (median card / worst card) | max, ms (worst card) | "
        "cards with p99 > 600 ms | POS refreshes | POS period median / p99 / max, ms |\n");
    std::printf("|---|---|---|---|---|---|---|---|---|---|---|---|\n");
    const Phase phases[] = {
        {"none", 0}, {"far card (5)", Far}, {"neighbour (33)", Neighbour}, {"selected (32)", Selected}};
    for (int round = 1; round <= rounds && !history; ++round) {
        for (const Phase &phase : phases)
            measure(&farm, phase, seconds, round);
    }
    for (int round = 1; round <= rounds && history; ++round) {
        for (const bool record : {round % 2 == 1, round % 2 == 0}) {
            std::unique_ptr<History::Recorder> recorder;
            if (record) {
                recorder = std::make_unique<History::Recorder>(
                    QDir(dir.path()).filePath(QStringLiteral("history.sqlite")),
                    ConfigStore::DefaultHistoryRetentionDays);
                History::recordFleet(DeviceManager::instance()->fleet(), recorder.get());
                runFor(2000); // every poll reads the counters from now on
            }
            measure(&farm, Phase{record ? "recording" : "not recording", 0}, seconds, round);
        }
    }
    for (deviceWidget *card : cards)
        card->releaseConnection();
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc > 1 && QByteArray(argv[1]) == "--farm") {
        QCoreApplication app(argc, argv);
        return runFarm();
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    qInstallMessageHandler(BenchClock::quietDebug);
    QApplication app(argc, argv);
    const int seconds = argc > 1 ? qMax(2, QByteArray(argv[1]).toInt()) : 20;
    const int rounds = argc > 2 ? qMax(1, QByteArray(argv[2]).toInt()) : 3;
    return runShop(seconds, rounds, argc > 3 && QByteArray(argv[3]) == "history");
}
