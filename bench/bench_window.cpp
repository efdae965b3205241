// The main window with a thousand cards switched on, every controller
// answering on loopback: how soon does the window answer a double-click on a
// card and a key in the PRG editor, and how much CPU does it take meanwhile?
//
//   bench/bench_window [cards = 1000] [seconds per phase = 20] [rounds = 2]
//
// Run it in a network namespace of its own (scripts/bench.sh window). The
// controllers run in a second process (this program started again with
// --farm N): N simulators, 250 to a /24 from 127.0.1.1 (127.0.1.1 to
// 127.0.1.250, then 127.0.2.1, ...), port 1502, each counting the status reads
// (the cards' polls) it answers. The program's side is the real main window
// with the devices of a Configure.xml, time-out 300 ms and 3 retries.
//
// Each round measures three phases: nothing done (the POS page of card 1
// shown); a double-click on a card every 50 to 250 ms, a random card scrolled
// into view before each; a key typed in the PRG page's editor every 50 to
// 250 ms (a digit, then Backspace), holding the mill sample's 10,712-line
// program. The latency of an input is from the moment it was due (a precise
// timer's deadline: the loop is late by as long as it was busy, as it would be
// for a mouse or key event waiting in the window system's queue) to the window
// painted after it.
#include "app/mainwindow.h"
#include "bench/benchclock.h"
#include "config/configstore.h"
#include "devices/devicemanager.h"
#include "devices/devicewidget.h"
#include "link/modbusdevice.h"
#include "sim/controller.h"
#include "sim/servers.h"
#include "tests/windowdriver.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QHostAddress>
#include <QPlainTextEdit>
#include <QProcess>
#include <QScrollArea>
#include <QSocketNotifier>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>
#include <random>
#include <unistd.h>
#include <vector>

namespace {

using BenchClock::cpuSeconds;
using BenchClock::rank;
using BenchClock::runFor;
using BenchClock::waitFor;

constexpr quint16 Port = 1502;
constexpr quint16 StatusBlock = 0x3E00;

QString addressOf(int card)
{
    return QStringLiteral("127.0.%1.%2").arg(1 + (card - 1) / 250).arg(1 + (card - 1) % 250);
}

// ---- the controllers' process -------------------------------------------

struct Node
{
    sim::Controller controller;
    sim::TcpServer server{&controller};
};

int runFarm(int count)
{
    qint64 polls = 0;
    std::vector<std::unique_ptr<Node>> nodes;
    for (int card = 1; card <= count; ++card) {
        auto node = std::make_unique<Node>();
        node->controller.setRequestLogLimit(1);
        if (!node->server.listen(QHostAddress(addressOf(card)), Port)) {
            std::printf("cannot listen on %s:%d\n", qPrintable(addressOf(card)), Port);
            std::fflush(stdout);
            return 1;
        }
        QObject::connect(
            &node->controller, &sim::Controller::requestHandled, &node->controller,
            [&polls](const sim::Request &r) { polls += r.function == 0x03 && r.address == StatusBlock; });
        nodes.push_back(std::move(node));
    }
    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QFile in;
    if (!in.open(STDIN_FILENO, QIODevice::ReadOnly))
        return 1;
    QObject::connect(&input, &QSocketNotifier::activated, [&] {
        const QByteArray line = in.readLine().trimmed();
        if (line != "polls") {
            QCoreApplication::quit();
            return;
        }
        std::printf("%lld\n", polls);
        std::fflush(stdout);
    });
    std::printf("ready\n");
    std::fflush(stdout);
    return QCoreApplication::exec();
}

class Farm
{
public:
    bool start(const QString &program, int count)
    {
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process.start(program, {QStringLiteral("--farm"), QString::number(count)});
        return m_process.waitForStarted() && readLine() == "ready";
    }
    ~Farm()
    {
        m_process.write("quit\n");
        if (!m_process.waitForFinished(5000))
            m_process.kill();
        m_process.waitForFinished(3000);
    }
    // Status reads answered so far, all controllers together.
    qint64 polls()
    {
        m_process.write("polls\n");
        return readLine().toLongLong();
    }

private:
    QByteArray readLine()
    {
        while (!m_process.canReadLine()) {
            if (!m_process.waitForReadyRead(30000))
                return QByteArray();
        }
        return m_process.readLine().trimmed();
    }
    QProcess m_process;
};

// ---- the program's process ----------------------------------------------

// Inputs at random moments: each due 50 to 250 ms after the previous one was
// answered, acted on when the loop gets to it, then the window painted.
class Inputs
{
public:
    Inputs(QWidget *window, std::function<void()> act, std::function<void()> prepare)
        : m_window(window), m_act(std::move(act)), m_prepare(std::move(prepare))
    {
        m_clock.start();
    }
    QVector<double> run(int ms)
    {
        m_latencies.clear();
        m_running = true;
        m_prepare();
        arm();
        runFor(ms);
        m_running = false;
        runFor(300); // the last one answered
        return m_latencies;
    }

private:
    void arm()
    {
        const int delay = 50 + int(m_random() % 201);
        m_due = m_clock.nsecsElapsed() + qint64(delay) * 1000000;
        QTimer::singleShot(delay, Qt::PreciseTimer, m_window, [this] { fire(); });
    }
    void fire()
    {
        m_act();
        // The paint the input asked for, as the next loop turn would make it.
        QCoreApplication::sendPostedEvents(m_window, QEvent::UpdateRequest);
        m_latencies << qMax<qint64>(0, m_clock.nsecsElapsed() - m_due) / 1e6;
        if (!m_running)
            return;
        m_prepare();
        arm();
    }

    QWidget *m_window;
    std::function<void()> m_act;
    std::function<void()> m_prepare;
    QElapsedTimer m_clock;
    qint64 m_due = 0;
    bool m_running = false;
    QVector<double> m_latencies;
    std::mt19937 m_random{12345};
};

struct Shop
{
    Farm *farm;
    QWidget *window;
    int cards;
    int seconds;
};

void report(const Shop &shop, int round, const char *phase, const std::function<QVector<double>()> &run)
{
    const qint64 polls0 = shop.farm->polls();
    QElapsedTimer wall;
    wall.start();
    const double cpu0 = cpuSeconds();
    const QVector<double> latencies = run();
    const double cpu = cpuSeconds() - cpu0;
    const double elapsed = wall.nsecsElapsed() / 1e9;
    const double pollsPerCard = (shop.farm->polls() - polls0) / elapsed / shop.cards;
    if (latencies.isEmpty()) {
        std::printf("| %d | %s | %.1f %% | %.2f | | | | |\n", round, phase, 100 * cpu / elapsed,
                    pollsPerCard);
    } else {
        std::printf("| %d | %s | %.1f %% | %.2f | %d | %.1f | %.1f | %.1f |\n", round, phase,
                    100 * cpu / elapsed, pollsPerCard, int(latencies.size()), rank(latencies, 0.5),
                    rank(latencies, 0.99), rank(latencies, 1.0));
    }
    std::fflush(stdout);
}

int runShop(int count, int seconds, int rounds)
{
    QTemporaryDir dir;
    if (!dir.isValid() || !QDir::setCurrent(dir.path()))
        return 1;
    BenchClock::writeConfiguration(count, addressOf);
    Farm farm;
    if (!farm.start(QCoreApplication::applicationFilePath(), count)) {
        std::fprintf(stderr, "the simulated controllers did not start (run in a network namespace: "
                             "scripts/bench.sh window)\n");
        return 1;
    }
    ConfigStore *config = ConfigStore::instance();
    ModbusSettings settings = config->modbusSettings();
    settings.NetworkPort = Port;
    config->setModbusSettings(settings);

    MainWindow window;
    window.resize(1280, 800);
    window.show();
    const QList<deviceWidget *> cards = DeviceManager::instance()->cards();
    if (cards.size() != count)
        return 1;
    QElapsedTimer connecting;
    connecting.start();
    for (deviceWidget *card : cards)
        card->findChild<QCheckBox *>(QStringLiteral("checkBox_toConnect"))->setChecked(true);
    const bool connected = waitFor(
        [&] {
            return std::all_of(cards.begin(), cards.end(),
                               [](deviceWidget *c) { return c->device()->isReady(); });
        },
        300000);
    const double connectSeconds = connecting.elapsed() / 1000.0;
    if (!connected) {
        std::fprintf(stderr, "not every card connected\n");
        return 1;
    }
    emit cards.first()->signDoubleClicked();
    runFor(3000);

    auto *scroll = WindowDriver::named<QScrollArea>(&window, "scrollArea");
    auto *editor = WindowDriver::named<QPlainTextEdit>(&window, "textEdit_program");
    QFile sample(QStringLiteral(VEXA_SOURCE_DIR "/sim/samples/mill/O5000.txt"));
    if (!scroll || !editor || !sample.open(QIODevice::ReadOnly))
        return 1;
    const QString program = QString::fromLatin1(sample.readAll());

    std::printf("%d cards switched on, connected in %.1f s; time-out %d ms x %d attempts, %d s per phase\n\n",
                count, connectSeconds, settings.Timeout, settings.NumberOfRetries + 1, seconds);
    std::printf(
        "| round | phase | CPU (one core) | polls per card and second | inputs | latency median, ms | "
        "p99, ms | max, ms |\n|---|---|---|---|---|---|---|---|\n");
    std::mt19937 pick(7);
    const Shop shop{&farm, &window, count, seconds};
    for (int round = 1; round <= rounds; ++round) {
        WindowDriver::click(&window, "radioButton_POS");
        emit cards.first()->signDoubleClicked();
        runFor(1000);
        report(shop, round, "nothing done", [&] {
            runFor(seconds * 1000);
            return QVector<double>();
        });

        deviceWidget *target = nullptr;
        Inputs clicks(
            &window,
            [&] {
                QWidget *name = WindowDriver::named<QWidget>(target, "label_deviceName");
                WindowDriver::doubleClick(name, name->rect().center());
            },
            [&] {
                target = cards.at(int(pick() % uint(count)));
                scroll->ensureWidgetVisible(target);
            });
        report(shop, round, "double-click on a card", [&] { return clicks.run(seconds * 1000); });

        emit cards.first()->signDoubleClicked();
        WindowDriver::click(&window, "radioButton_PRG");
        runFor(1000);
        editor->setPlainText(program);
        editor->setFocus();
        QTextCursor cursor(editor->document()->findBlockByNumber(editor->document()->blockCount() / 2));
        cursor.movePosition(QTextCursor::EndOfBlock);
        editor->setTextCursor(cursor);
        runFor(500);
        bool typed = false;
        Inputs keys(
            &window,
            [&] {
                QTest::keyClick(editor, typed ? Qt::Key_Backspace : Qt::Key_5);
                typed = !typed;
            },
            [] {});
        report(shop, round, "key in the PRG editor", [&] { return keys.run(seconds * 1000); });
    }
    for (deviceWidget *card : cards)
        card->releaseConnection();
    runFor(500);
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc > 2 && QByteArray(argv[1]) == "--farm") {
        QCoreApplication app(argc, argv);
        return runFarm(QByteArray(argv[2]).toInt());
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    qInstallMessageHandler(BenchClock::quietDebug);
    QApplication app(argc, argv);
    const int count = argc > 1 ? qBound(1, QByteArray(argv[1]).toInt(), 60000) : 1000;
    const int seconds = argc > 2 ? qMax(2, QByteArray(argv[2]).toInt()) : 20;
    const int rounds = argc > 3 ? qMax(1, QByteArray(argv[3]).toInt()) : 2;
    return runShop(count, seconds, rounds);
}
